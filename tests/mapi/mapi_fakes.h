// Small hand-written MAPI objects for the runtime's tests, and a fixture that fails a test which
// leaves MAPI buffers alive or frees them wrongly.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"

namespace mapi::test {

// Every test of the suite starts from the buffers alive before it and must end with the same
// set, without bad frees.
class MapiBufferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        portable::ClearAllocationFailures();
        portable::ResetBufferCounters();
        before_ = portable::GetBufferStats();
    }
    void TearDown() override {
        portable::ClearAllocationFailures();
        const portable::BufferStats after = portable::GetBufferStats();
        EXPECT_EQ(after.liveBuffers, before_.liveBuffers) << "MAPI buffers leaked";
        EXPECT_EQ(after.liveLinkedBlocks, before_.liveLinkedBlocks);
        EXPECT_EQ(after.liveBytes, before_.liveBytes);
        EXPECT_EQ(after.badFrees, 0u) << "MAPIFreeBuffer on a pointer that is no live buffer";
    }

    // Buffers allocated since SetUp and not yet freed.
    std::size_t NewLiveBuffers() const {
        return portable::GetBufferStats().liveBuffers - before_.liveBuffers;
    }
    std::size_t NewLiveBytes() const {
        return portable::GetBufferStats().liveBytes - before_.liveBytes;
    }

  private:
    portable::BufferStats before_;
};

// Reference counting that never deletes (the fakes live on the test's stack) and records every
// AddRef, Release and QueryInterface.
template <class I>
class Counted : public I {
  public:
    HRESULT MAPI_CALL QueryInterface(REFIID iid, void** out) override {
        queried.push_back(iid);
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == InterfaceId<I>::value) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG MAPI_CALL AddRef() override {
        ++addRefs;
        return static_cast<ULONG>(++refs);
    }
    ULONG MAPI_CALL Release() override {
        ++releases;
        return static_cast<ULONG>(--refs);
    }

    int refs = 1;
    int addRefs = 0;
    int releases = 0;
    std::vector<IID> queried;
};

// An IMAPIProp whose GetProps and SetProps a test scripts; every other method is unsupported.
class FakeProp : public Counted<IMAPIProp> {
  public:
    std::function<HRESULT(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*)> onGetProps;
    std::function<HRESULT(ULONG, LPSPropValue, LPSPropProblemArray*)> onSetProps;

    HRESULT MAPI_CALL GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return kNo; }
    HRESULT MAPI_CALL SaveChanges(ULONG) override { return kNo; }
    HRESULT MAPI_CALL GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                               LPSPropValue* values) override {
        return onGetProps ? onGetProps(tags, flags, count, values) : kNo;
    }
    HRESULT MAPI_CALL GetPropList(ULONG, LPSPropTagArray*) override { return kNo; }
    HRESULT MAPI_CALL OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return kNo; }
    HRESULT MAPI_CALL SetProps(ULONG count, LPSPropValue values,
                               LPSPropProblemArray* problems) override {
        return onSetProps ? onSetProps(count, values, problems) : kNo;
    }
    HRESULT MAPI_CALL DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { return kNo; }
    HRESULT MAPI_CALL CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                             LPVOID, ULONG, LPSPropProblemArray*) override {
        return kNo;
    }
    HRESULT MAPI_CALL CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                LPSPropProblemArray*) override {
        return kNo;
    }
    HRESULT MAPI_CALL GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*,
                                      LPMAPINAMEID**) override {
        return kNo;
    }
    HRESULT MAPI_CALL GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override {
        return kNo;
    }

  private:
    static constexpr HRESULT kNo = MAPI_E_NO_SUPPORT;
};

// A contents table of `rows` rows. Row i has two columns: PR_ROWID = i and PR_DISPLAY_NAME_A
// "row <i>", the string allocated on the row's buffer with MAPIAllocateMore, as providers do.
// It records what the caller asked of it; a test can make one of the calls fail.
class FakeTable : public Counted<IMAPITable> {
  public:
    explicit FakeTable(ULONG rowCount) : rows(rowCount) {}

    ULONG rows;
    ULONG cursor = 0;
    std::vector<ULONG> columns;  // tags of the last SetColumns
    ULONG setColumnsFlags = ~0u;
    LPSRestriction restriction = nullptr;
    ULONG restrictFlags = ~0u;
    LPSSortOrderSet sortOrder = nullptr;
    ULONG sortFlags = ~0u;
    std::vector<LONG> batches;  // row counts asked of QueryRows, in order
    int seeksToBeginning = 0;
    HRESULT setColumnsResult = S_OK;
    int failQueryRowsAt = -1;  // index of the QueryRows call that fails, -1 for none
    HRESULT queryRowsFailure = MAPI_E_NETWORK_ERROR;

    HRESULT MAPI_CALL GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return kNo; }
    HRESULT MAPI_CALL Advise(ULONG, LPMAPIADVISESINK, ULONG*) override { return kNo; }
    HRESULT MAPI_CALL Unadvise(ULONG) override { return kNo; }
    HRESULT MAPI_CALL GetStatus(ULONG*, ULONG*) override { return kNo; }
    HRESULT MAPI_CALL SetColumns(LPSPropTagArray tags, ULONG flags) override {
        columns.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        setColumnsFlags = flags;
        return setColumnsResult;
    }
    HRESULT MAPI_CALL QueryColumns(ULONG, LPSPropTagArray*) override { return kNo; }
    HRESULT MAPI_CALL GetRowCount(ULONG, ULONG* count) override {
        *count = rows;
        return S_OK;
    }
    HRESULT MAPI_CALL SeekRow(BOOKMARK origin, LONG rowCount, LONG* sought) override {
        if (origin != BOOKMARK_BEGINNING || rowCount != 0) return kNo;
        cursor = 0;
        ++seeksToBeginning;
        if (sought) *sought = 0;
        return S_OK;
    }
    HRESULT MAPI_CALL SeekRowApprox(ULONG, ULONG) override { return kNo; }
    HRESULT MAPI_CALL QueryPosition(ULONG*, ULONG*, ULONG*) override { return kNo; }
    HRESULT MAPI_CALL FindRow(LPSRestriction, BOOKMARK, ULONG) override { return kNo; }
    HRESULT MAPI_CALL Restrict(LPSRestriction res, ULONG flags) override {
        restriction = res;
        restrictFlags = flags;
        return S_OK;
    }
    HRESULT MAPI_CALL CreateBookmark(BOOKMARK*) override { return kNo; }
    HRESULT MAPI_CALL FreeBookmark(BOOKMARK) override { return kNo; }
    HRESULT MAPI_CALL SortTable(LPSSortOrderSet order, ULONG flags) override {
        sortOrder = order;
        sortFlags = flags;
        return S_OK;
    }
    HRESULT MAPI_CALL QuerySortOrder(LPSSortOrderSet*) override { return kNo; }
    HRESULT MAPI_CALL QueryRows(LONG rowCount, ULONG, LPSRowSet* out) override;
    HRESULT MAPI_CALL Abort() override { return kNo; }
    HRESULT MAPI_CALL ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*) override {
        return kNo;
    }
    HRESULT MAPI_CALL CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) override { return kNo; }
    HRESULT MAPI_CALL WaitForCompletion(ULONG, ULONG, ULONG*) override { return kNo; }
    HRESULT MAPI_CALL GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) override {
        return kNo;
    }
    HRESULT MAPI_CALL SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK*) override { return kNo; }

    // The values of one row as a provider returns them: a buffer of its own.
    static LPSPropValue MakeRow(ULONG index);

  private:
    static constexpr HRESULT kNo = MAPI_E_NO_SUPPORT;
};

inline LPSPropValue FakeTable::MakeRow(ULONG index) {
    LPVOID block = nullptr;
    if (FAILED(MAPIAllocateBuffer(2 * sizeof(SPropValue), &block))) return nullptr;
    auto* props = static_cast<LPSPropValue>(block);
    props[0].ulPropTag = PR_ROWID;
    props[0].Value.l = static_cast<LONG>(index);
    const std::string text = "row " + std::to_string(index);
    LPVOID str = nullptr;
    if (FAILED(MAPIAllocateMore(static_cast<ULONG>(text.size() + 1), block, &str))) {
        MAPIFreeBuffer(block);
        return nullptr;
    }
    std::memcpy(str, text.c_str(), text.size() + 1);
    props[1].ulPropTag = PR_DISPLAY_NAME_A;
    props[1].Value.lpszA = static_cast<char*>(str);
    return props;
}

inline HRESULT MAPI_CALL FakeTable::QueryRows(LONG rowCount, ULONG, LPSRowSet* out) {
    *out = nullptr;
    const int call = static_cast<int>(batches.size());
    batches.push_back(rowCount);
    if (call == failQueryRowsAt) return queryRowsFailure;
    const ULONG n = std::min<ULONG>(static_cast<ULONG>(rowCount), rows - cursor);
    LPVOID block = nullptr;
    HRESULT hr = MAPIAllocateBuffer(CbNewSRowSet(std::max<ULONG>(n, 1)), &block);
    if (FAILED(hr)) return hr;
    auto* set = static_cast<LPSRowSet>(block);
    set->cRows = 0;
    for (ULONG i = 0; i < n; ++i) {
        SRow& row = set->aRow[i];
        row.ulAdrEntryPad = 0;
        row.cValues = 2;
        row.lpProps = MakeRow(cursor);
        if (!row.lpProps) {
            FreeProws(set);
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        ++set->cRows;
        ++cursor;
    }
    *out = set;
    return S_OK;
}

}  // namespace mapi::test

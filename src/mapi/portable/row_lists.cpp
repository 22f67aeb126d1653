// FreeProws, FreePadrlist and HrQueryAllRows.
#include <algorithm>
#include <vector>

#include "mapi/mapi_codes.h"
#include "mapi/mapi_flags.h"
#include "mapi/mapi_runtime.h"
#include "mapi/mapi_structs.h"

using namespace mapi;

extern "C" void MAPI_CALL FreeProws(LPSRowSet lpRows) {
    if (!lpRows) return;
    for (ULONG i = 0; i < lpRows->cRows; ++i) MAPIFreeBuffer(lpRows->aRow[i].lpProps);
    MAPIFreeBuffer(lpRows);
}

extern "C" void MAPI_CALL FreePadrlist(LPADRLIST lpAdrlist) {
    if (!lpAdrlist) return;
    for (ULONG i = 0; i < lpAdrlist->cEntries; ++i) {
        MAPIFreeBuffer(lpAdrlist->aEntries[i].rgPropVals);
    }
    MAPIFreeBuffer(lpAdrlist);
}

namespace {

// Rows are fetched in batches of this many, or of one more than the rows still allowed under
// crowsMax, so that a table over the limit is recognised without reading all of it.
constexpr LONG kBatchRows = 256;

// Rows collected from the batches; owns the rows' value buffers until they are handed out.
class CollectedRows {
  public:
    CollectedRows() = default;
    CollectedRows(const CollectedRows&) = delete;
    CollectedRows& operator=(const CollectedRows&) = delete;
    ~CollectedRows() {
        for (SRow& row : rows_) MAPIFreeBuffer(row.lpProps);
    }

    // Takes the rows of a batch and frees the batch's own buffer; false (the batch freed whole)
    // when there is no memory to hold its rows.
    bool Take(LPSRowSet batch) {
        try {
            rows_.insert(rows_.end(), batch->aRow, batch->aRow + batch->cRows);
        } catch (...) {
            FreeProws(batch);
            return false;
        }
        batch->cRows = 0;
        FreeProws(batch);
        return true;
    }

    ULONG count() const { return static_cast<ULONG>(rows_.size()); }

    // One row set holding all rows; the rows now belong to it.
    HRESULT Hand(LPSRowSet* out) {
        LPVOID block = nullptr;
        const HRESULT hr = MAPIAllocateBuffer(CbNewSRowSet(std::max<ULONG>(count(), 1)), &block);
        if (FAILED(hr)) return hr;
        auto* set = static_cast<LPSRowSet>(block);
        set->cRows = count();
        std::copy(rows_.begin(), rows_.end(), set->aRow);
        rows_.clear();
        *out = set;
        return S_OK;
    }

  private:
    std::vector<SRow> rows_;
};

}  // namespace

// The columns, restriction and sort order are applied in batch mode (TBL_BATCH), then the rows
// are read from the beginning of the table.
extern "C" HRESULT MAPI_CALL HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags,
                                            LPSRestriction lpRestriction,
                                            LPSSortOrderSet lpSortOrderSet, LONG crowsMax,
                                            LPSRowSet* lppRows) {
    if (!lppRows) return MAPI_E_INVALID_PARAMETER;
    *lppRows = nullptr;
    if (!lpTable || crowsMax < 0) return MAPI_E_INVALID_PARAMETER;

    HRESULT hr = S_OK;
    if (lpPropTags && FAILED(hr = lpTable->SetColumns(lpPropTags, TBL_BATCH))) return hr;
    if (lpRestriction && FAILED(hr = lpTable->Restrict(lpRestriction, TBL_BATCH))) return hr;
    if (lpSortOrderSet && FAILED(hr = lpTable->SortTable(lpSortOrderSet, TBL_BATCH))) return hr;
    if (FAILED(hr = lpTable->SeekRow(BOOKMARK_BEGINNING, 0, nullptr))) return hr;

    CollectedRows rows;
    for (;;) {
        LONG batchRows = kBatchRows;
        if (crowsMax > 0)
            batchRows = std::min<LONG>(kBatchRows, crowsMax - static_cast<LONG>(rows.count()) + 1);
        LPSRowSet batch = nullptr;
        hr = lpTable->QueryRows(batchRows, 0, &batch);
        if (FAILED(hr)) {
            FreeProws(batch);
            return hr;
        }
        const bool done = !batch || batch->cRows == 0;
        if (batch && !rows.Take(batch)) return MAPI_E_NOT_ENOUGH_MEMORY;
        if (crowsMax > 0 && rows.count() > static_cast<ULONG>(crowsMax)) {
            return MAPI_E_TABLE_TOO_BIG;
        }
        if (done) break;
    }
    return rows.Hand(lppRows);
}

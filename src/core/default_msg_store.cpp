#include "core/default_msg_store.h"

#include "core/diagnostic_log.h"
#include "mapi/mapi.h"

namespace tav {
namespace {

constexpr char16_t kOp[] = u"ExchangeAdaptorDLL::GetDefaultMsgStore";

// The first row marked as the default store that carries an entry identifier.
const mapi::SBinary* DefaultStoreEntryId(const mapi::RowSetPtr& rows) {
    for (mapi::ULONG i = 0; i < rows.Count(); ++i) {
        const mapi::SRow& row = rows[i];
        if (row.cValues < 2) continue;
        const mapi::SPropValue& isDefault = row.lpProps[0];
        const mapi::SPropValue& entryId = row.lpProps[1];
        if (isDefault.ulPropTag == mapi::PR_DEFAULT_STORE && isDefault.Value.b &&
            entryId.ulPropTag == mapi::PR_ENTRYID)
            return &entryId.Value.bin;
    }
    return nullptr;
}

}  // namespace

mapi::HRESULT GetDefaultMsgStore(mapi::IMAPISession* session, EntryIdRecord** record) {
    if (!session || !record) {
        WriteLog(kOp, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    *record = nullptr;
    mapi::ComPtr<mapi::IMAPITable> table;
    mapi::RowSetPtr rows;
    try {
        mapi::HRESULT hr = session->GetMsgStoresTable(0, table.Put());
        hr = mapi::Obtained(hr, table);
        if (mapi::FAILED(hr)) {
            WriteLog(kOp, kLogTrace, u"GetMsgStoresTable failed, result=0x%08x.", hr);
        } else {
            mapi::SizedSPropTagArray<2> columns{2, {mapi::PR_DEFAULT_STORE, mapi::PR_ENTRYID}};
            hr = mapi::HrQueryAllRows(table.Get(), columns.get(), nullptr, nullptr, 0,
                                      rows.Put());
            hr = mapi::Obtained(hr, rows);
            if (mapi::FAILED(hr)) {
                WriteLog(kOp, kLogTrace, u"HrQueryAllRows failed, result=0x%08x.", hr);
            } else if (rows.Count() == 0) {
                WriteLog(kOp, kLogTrace, u"HrQueryAllRows returned no rows.");
            } else if (const mapi::SBinary* entryId = DefaultStoreEntryId(rows)) {
                *record = MakeEntryIdRecord(*entryId);
            }
        }
    } catch (...) {
        WriteLog(kOp, kLogError, u"Exception caught.");
    }
    try {
        table.Reset();
        rows.Reset();
    } catch (...) {
        WriteLog(kOp, kLogError, u"Exception caught in cleanup.");
        return mapi::E_FAIL;
    }
    return *record ? mapi::S_OK : mapi::E_FAIL;
}

}  // namespace tav

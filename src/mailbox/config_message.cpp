#include "mailbox/config_message.h"

#include "core/diagnostic_log.h"
#include "core/text.h"
#include "mapi/mapi.h"

namespace tav {
namespace {

constexpr char16_t kOpConfig[] = u"ExchangeAdaptorDLL::GetHandheldConfigMessageEntryId";
constexpr char16_t kOpUser[] = u"ExchangeAdaptorDLL::GetUserMessageEntryId";
constexpr char16_t kOpOpen[] = u"ExchangeAdaptorDLL::OpenMessageByEntryId";
constexpr char16_t kOpDelete[] = u"ExchangeAdaptorDLL::DeleteMessageByEntryId";

constexpr mapi::ULONG kUserDnTag = 0x6002001F;
constexpr mapi::ULONG kAlternateUserDnTag = 0x600C001F;

// The contents scan both lookups share: the first message whose third column carries matchTag
// with a text equal to target.
mapi::HRESULT FindMessage(const char16_t* op, mapi::IMAPIFolder* folder, mapi::ULONG matchTag,
                          std::u16string_view target, EntryIdRecord** record) {
    if (!folder || !record) {
        WriteLog(op, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    *record = nullptr;
    mapi::ComPtr<mapi::IMAPITable> table;
    mapi::HRESULT hr = folder->GetContentsTable(mapi::MAPI_UNICODE, table.Put());
    hr = mapi::Obtained(hr, table);
    if (mapi::FAILED(hr)) {
        WriteLog(op, kLogTrace, u"GetContentsTable failed, result=0x%08x.", hr);
        return hr;
    }
    hr = table->SeekRow(mapi::BOOKMARK_BEGINNING, 0, nullptr);
    if (mapi::FAILED(hr)) {
        WriteLog(op, kLogTrace, u"SeekRow failed, result=0x%08x.", hr);
        return hr;
    }
    mapi::SizedSPropTagArray<3> columns{3, {mapi::PR_ENTRYID, mapi::PR_OBJECT_TYPE, matchTag}};
    hr = table->SetColumns(columns.get(), 0);
    if (mapi::FAILED(hr)) {
        WriteLog(op, kLogTrace, u"SetColumns failed, result=0x%08x.", hr);
        return hr;
    }
    mapi::RowSetPtr rows;
    while (true) {
        hr = table->QueryRows(1, 0, rows.Put());
        hr = mapi::Obtained(hr, rows);
        if (mapi::FAILED(hr)) {
            WriteLog(op, kLogTrace, u"QueryRows failed, result=0x%08x.", hr);
            return hr;
        }
        if (rows.Count() == 0) return hr;
        const mapi::SRow& row = rows[0];
        if (row.cValues < 3) continue;
        const mapi::SPropValue* values = row.lpProps;
        if (values[0].ulPropTag == mapi::PR_ENTRYID && values[1].ulPropTag == mapi::PR_OBJECT_TYPE &&
            static_cast<mapi::ULONG>(values[1].Value.l) == mapi::MAPI_MESSAGE &&
            values[2].ulPropTag == matchTag &&
            EqualsIgnoreAsciiCase(WideView(values[2].Value.lpszW), target)) {
            *record = MakeEntryIdRecord(values[0].Value.bin);
            return mapi::S_OK;
        }
    }
}

}  // namespace

mapi::HRESULT GetHandheldConfigMessageEntryId(mapi::IMAPIFolder* folder, EntryIdRecord** record) {
    return FindMessage(kOpConfig, folder, mapi::PR_MESSAGE_CLASS_W, kHandheldConfigClass, record);
}

mapi::HRESULT GetUserMessageEntryId(mapi::IMAPIFolder* folder, std::u16string_view value,
                                    bool alternate, EntryIdRecord** record) {
    return FindMessage(kOpUser, folder, alternate ? kAlternateUserDnTag : kUserDnTag, value,
                       record);
}

mapi::HRESULT OpenMessageByEntryId(mapi::IMAPIFolder* folder, const EntryIdRecord* record,
                                   mapi::IMessage** message) {
    if (!folder || !record || !message) {
        WriteLog(kOpOpen, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    *message = nullptr;
    mapi::ULONG type = 0;
    mapi::ComPtr<mapi::IMessage> opened;
    mapi::HRESULT hr =
        folder->OpenEntry(record->count, reinterpret_cast<mapi::LPENTRYID>(record->bytes), nullptr,
                          mapi::MAPI_MODIFY, &type, opened.PutUnknown());
    hr = mapi::Obtained(hr, opened);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpOpen, kLogError, u"OpenEntry failed, result=0x%08x.", hr);
        return hr;
    }
    *message = opened.Detach();
    return mapi::S_OK;
}

mapi::HRESULT DeleteMessageByEntryId(mapi::IMAPIFolder* folder, const EntryIdRecord* record) {
    if (!folder || !record) {
        WriteLog(kOpDelete, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    mapi::SBinary entry{record->count, record->bytes};
    mapi::ENTRYLIST list{1, &entry};
    mapi::HRESULT hr = folder->DeleteMessages(&list, 0, nullptr, 0);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpDelete, kLogTrace, u"DeleteMessages failed, result=0x%08x.", hr);
        return hr;
    }
    return mapi::S_OK;
}

}  // namespace tav

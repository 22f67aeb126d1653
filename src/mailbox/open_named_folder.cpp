#include "mailbox/open_named_folder.h"

#include "core/diagnostic_log.h"
#include "core/text.h"
#include "mapi/mapi.h"

#include <utility>

namespace tav {
namespace {

constexpr char16_t kOp[] = u"ExchangeAdaptorDLL::OpenNamedFolder";
constexpr mapi::ULONG kOpenFolderFlags = mapi::MAPI_MODIFY | mapi::MAPI_BEST_ACCESS;

bool IsNamedFolderRow(const mapi::SRow& row, std::u16string_view name) {
    if (row.cValues < 3) return false;
    const mapi::SPropValue& entryId = row.lpProps[0];
    const mapi::SPropValue& displayName = row.lpProps[1];
    const mapi::SPropValue& objectType = row.lpProps[2];
    return entryId.ulPropTag == mapi::PR_ENTRYID && objectType.ulPropTag == mapi::PR_OBJECT_TYPE &&
           static_cast<mapi::ULONG>(objectType.Value.l) == mapi::MAPI_FOLDER &&
           displayName.ulPropTag == mapi::PR_DISPLAY_NAME_W &&
           EqualsIgnoreAsciiCase(WideView(displayName.Value.lpszW), name);
}

}  // namespace

mapi::HRESULT OpenNamedFolder(mapi::IMAPIFolder* parent, std::u16string_view name,
                              mapi::IMAPIFolder** folder) {
    if (!folder || !parent) {
        WriteLog(kOp, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    WriteLog(kOp, kLogTrace, u"Called with name='%s'.", name);
    *folder = nullptr;

    mapi::ComPtr<mapi::IMAPITable> table;
    mapi::HRESULT hr = parent->GetHierarchyTable(mapi::MAPI_UNICODE, table.Put());
    hr = mapi::Obtained(hr, table);
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogTrace, u"GetHierarchyTable failed, result=0x%08x.", hr);
        return hr;
    }
    hr = table->SeekRow(mapi::BOOKMARK_BEGINNING, 0, nullptr);
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogTrace, u"SeekRow failed, result=0x%08x.", hr);
        return hr;
    }
    mapi::SizedSPropTagArray<3> columns{
        3, {mapi::PR_ENTRYID, mapi::PR_DISPLAY_NAME_W, mapi::PR_OBJECT_TYPE}};
    hr = table->SetColumns(columns.get(), 0);
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogTrace, u"SetColumns failed, result=0x%08x.", hr);
        return hr;
    }

    mapi::RowSetPtr rows;
    mapi::ComPtr<mapi::IMAPIFolder> found;
    mapi::ULONG fetched = 0;
    while (!found) {
        hr = table->QueryRows(1, 0, rows.Put());
        hr = mapi::Obtained(hr, rows);
        if (mapi::FAILED(hr)) {
            WriteLog(kOp, kLogTrace, u"QueryRows failed, result=0x%08x.", hr);
            return hr;
        }
        if (rows.Count() == 0) break;
        fetched += rows.Count();
        if (!IsNamedFolderRow(rows[0], name)) continue;

        const mapi::SBinary& entryId = rows[0].lpProps[0].Value.bin;
        mapi::ULONG type = 0;
        mapi::ComPtr<mapi::IUnknown> object;
        hr = parent->OpenEntry(entryId.cb, reinterpret_cast<mapi::LPENTRYID>(entryId.lpb), nullptr,
                               kOpenFolderFlags, &type, object.Put());
        hr = mapi::Obtained(hr, object);
        if (mapi::FAILED(hr)) {
            WriteLog(kOp, kLogTrace, u"OpenEntry failed, result=0x%08x.", hr);
            return hr;
        }
        if (type != mapi::MAPI_FOLDER) {
            object.Reset();
            WriteLog(kOp, kLogTrace, u"Object '%s' not MAPI_FOLDER type.", name);
            return hr;
        }
        found = mapi::StaticPointerCast<mapi::IMAPIFolder>(std::move(object));
    }
    if (fetched == 0) {
        WriteLog(kOp, kLogWarning,
                 u"Could not get parent folder contents or folder empty; likely no access.");
        return hr;
    }
    if (!found) {
        WriteLog(kOp, kLogTrace, u"Folder '%s' not found.", name);
        return mapi::MAPI_E_NOT_FOUND;
    }
    WriteLog(kOp, kLogTrace, u"Opened folder named '%s'.", name);
    *folder = found.Detach();
    return mapi::S_OK;
}

}  // namespace tav

#include "mailbox/open_msg_store.h"

#include <string>

#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"
#include "platform/code_page.h"

namespace tav {
namespace {

constexpr char16_t kOpStore[] = u"ExchangeAdaptorDLL::OpenMsgStore";
constexpr char16_t kOpRoot[] = u"ExchangeAdaptorDLL::OpenRootFolder";

// OPENSTORE_USE_ADMIN_PRIVILEGE | OPENSTORE_TAKE_OWNERSHIP
constexpr mapi::ULONG kCreateStoreEntryIdFlags = 0x00000009;
// MDB_NO_DIALOG | MDB_WRITE | MDB_TEMPORARY | MDB_NO_MAIL
constexpr mapi::ULONG kOpenStoreFlags = 0x000000A5;
constexpr mapi::ULONG kOpenFolderFlags = mapi::MAPI_MODIFY | mapi::MAPI_BEST_ACCESS;

}  // namespace

mapi::HRESULT OpenMsgStore(std::u16string_view mailboxDn, std::u16string_view serverDn,
                           mapi::IMsgStore** store) {
    AdaptorSession& s = Session();
    if (!s.session || !s.xms) return mapi::E_FAIL;
    if (!store) {
        WriteLog(kOpStore, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    *store = nullptr;
    // The store manager takes 8-bit DNs; a character the code page lacks becomes '?', so such a
    // DN names no mailbox rather than another one.
    std::string mailbox = platform::ToSystemCodePage(mailboxDn);
    std::string server = platform::ToSystemCodePage(serverDn);
    WriteLog(kOpStore, kLogTrace, u"Opening Mailbox; Mailbox=%s, Server=%s", mailboxDn, serverDn);

    mapi::ULONG size = 0;
    mapi::MapiBuffer<mapi::ENTRYID> entryId;
    mapi::HRESULT hr = s.xms->CreateStoreEntryID(server.data(), mailbox.data(),
                                                 kCreateStoreEntryIdFlags, &size, entryId.Put());
    hr = mapi::Obtained(hr, entryId);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpStore, kLogTrace, u"CreateStoreEntryID failed, result=0x%08x.", hr);
        return hr;
    }
    mapi::ComPtr<mapi::IMsgStore> opened;
    hr = s.session->OpenMsgStore(0, size, entryId.Get(), nullptr, kOpenStoreFlags, opened.Put());
    hr = mapi::Obtained(hr, opened);
    entryId.Reset();
    if (mapi::FAILED(hr)) {
        WriteLog(kOpStore, kLogTrace, u"OpenMsgStore failed, result=0x%08x.", hr);
        return hr;
    }
    *store = opened.Detach();
    WriteLog(kOpStore, kLogTrace, u"OpenMsgStore succeeded.");
    return mapi::S_OK;
}

mapi::HRESULT OpenRootFolder(mapi::IMsgStore* store, mapi::IMAPIFolder** root) {
    if (!store || !root) {
        WriteLog(kOpRoot, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    *root = nullptr;
    mapi::ULONG type = 0;
    mapi::ComPtr<mapi::IMAPIFolder> folder;
    mapi::HRESULT hr = store->OpenEntry(0, nullptr, nullptr, kOpenFolderFlags, &type,
                                        folder.PutUnknown());
    hr = mapi::Obtained(hr, folder);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpRoot, kLogTrace, u"OpenEntry failed, result=0x%08x.", hr);
        return hr;
    }
    *root = folder.Detach();
    return mapi::S_OK;
}

}  // namespace tav

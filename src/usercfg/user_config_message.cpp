#include "usercfg/user_config_message.h"

#include "mailbox/config_message.h"
#include "mailbox/open_msg_store.h"
#include "mailbox/open_named_folder.h"

namespace tav {

bool UserConfigMessage::Open(std::u16string_view userDn, std::u16string_view serverDn) {
    if (mapi::FAILED(OpenMsgStore(userDn, serverDn, store.Put())) || !store) return false;
    if (mapi::FAILED(OpenRootFolder(store.Get(), root.Put())) || !root) return false;
    if (mapi::FAILED(OpenNamedFolder(root.Get(), kHandheldInfoFolder, folder.Put())) || !folder)
        return false;
    EntryIdRecord* found = nullptr;
    mapi::HRESULT hr = GetHandheldConfigMessageEntryId(folder.Get(), &found);
    record.reset(found);
    if (mapi::FAILED(hr) || !record) return false;
    return mapi::SUCCEEDED(OpenMessageByEntryId(folder.Get(), record.get(), message.Put())) &&
           message;
}

}  // namespace tav

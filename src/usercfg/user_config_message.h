// The road every user-configuration operation takes to a user's configuration message: store,
// root folder, "TavrelHandheldInfo", the message's entry identifier, the message.
#pragma once

#include <string_view>

#include "core/entry_id_record.h"
#include "mapi/mapi.h"

namespace tav {

struct UserConfigMessage {
    // Declared in the order they are opened, so they are released in reverse.
    mapi::ComPtr<mapi::IMsgStore> store;
    mapi::ComPtr<mapi::IMAPIFolder> root;
    mapi::ComPtr<mapi::IMAPIFolder> folder;
    EntryIdRecordPtr record;
    mapi::ComPtr<mapi::IMessage> message;

    // Each step runs only when the one before succeeded with a result; false at the first that
    // did not (its own log lines tell which).
    bool Open(std::u16string_view userDn, std::u16string_view serverDn);
};

}  // namespace tav

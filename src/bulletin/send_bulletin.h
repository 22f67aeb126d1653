// A bulletin: one plain-text e-mail to a list of SMTP addresses as blind copies, sent from the
// profile's default store.
#pragma once

#include <string_view>

#include "mapi/mapi_interfaces.h"

namespace tav {

// Adds the address as one BCC recipient of type SMTP.
mapi::HRESULT SetBccData(mapi::IMessage* message, std::u16string_view address);
// Writes PR_BODY_W through a stream, in one write without terminator.
mapi::HRESULT SetBodyData(mapi::IMessage* message, std::u16string_view body);
mapi::HRESULT SetSubjectData(mapi::IMessage* message, std::u16string_view subject);

}  // namespace tav

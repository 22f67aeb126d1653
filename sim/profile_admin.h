// MAPI profile administration over the organisation's profiles: IProfAdmin (MAPIAdminProfiles)
// and IMsgServiceAdmin (IProfAdmin::AdminServices, IMAPISession::AdminServices), and the
// profiles' keys in the portable registry.
//
// Profiles are named by 8-bit strings in the system code page; a call with MAPI_UNICODE passes
// UTF-16 names, which are converted. Names compare without regard to the case of ASCII letters
// (Organisation::FindProfile).
//
// Registry. MAPI keeps each profile under
//   HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows Messaging Subsystem\Profiles\<key>
// where <key> is made from the first 64 bytes of the 8-bit name: a byte below 0x80 is copied, a
// byte from 0x80 upwards becomes "[", 0x70 + its low nibble, 0x70 + its high nibble.
// CreateProfile creates the key and DeleteProfile removes it (unless another profile has the same
// key, as two names that agree in their first 64 bytes do). Profiles that a setup puts into the
// model directly get their keys from SyncProfileKeys: the JSON loader calls it once the profiles
// are in place, and MAPIInitialize and MAPIAdminProfiles call it too, so that profiles made with
// the builder have their keys before the library looks. A profile with registryKey false is left
// without one (the way to set up a profile whose key is missing: deleting the key by hand does
// not last past the next of those calls).
//
// IProfAdmin:
//   CreateProfile   a new profile without services; MAPI_E_NO_ACCESS for a name already taken,
//                   MAPI_E_INVALID_PARAMETER for an empty name. Names longer than 64 bytes are
//                   accepted (their key is made from the first 64 bytes). The password is kept.
//   DeleteProfile   MAPI_E_NOT_FOUND for no such profile. The profile goes at once, also while a
//                   session is logged on to it (the session keeps what it read at logon).
//   AdminServices   IMsgServiceAdmin of the profile; MAPI_E_NOT_FOUND for no such profile.
//   GetProfileTable one row per profile: PR_DISPLAY_NAME (8-bit or as asked), PR_DEFAULT_PROFILE.
//   SetDefaultProfile is accepted for an existing profile and has no further effect; the other
//   methods answer MAPI_E_NO_SUPPORT.
//
// IMsgServiceAdmin (label "serviceadmin:<profile>"; its calls fail with MAPI_E_OBJECT_DELETED
// once the profile is deleted):
//   CreateMsgService   only "MSEMS" is known (case-insensitively): MAPI_E_NOT_FOUND when
//                      Organisation::exchangeServiceInstalled is false, or for any other service
//                      name. Adds an unconfigured service with a new PR_SERVICE_UID; the display
//                      name given (or "Microsoft Exchange"). It shows no dialog whatever its
//                      flags: configuration is ConfigureMsgService's.
//   GetMsgServiceTable a live table (label "services:<profile>") with PR_SERVICE_NAME (stored
//                      8-bit, either width on request), PR_SERVICE_UID, PR_DISPLAY_NAME_W,
//                      PR_SERVICE_DLL_NAME_A, PR_SERVICE_ENTRY_NAME_A, PR_INSTANCE_KEY.
//   ConfigureMsgService(uid, ui, flags, cValues, props): MAPI_E_NOT_FOUND for an unknown uid.
//                      The service's dialog shows with SERVICE_UI_ALWAYS, or with
//                      SERVICE_UI_ALLOWED when the service is not configured. It consumes the
//                      next Organisation::serviceDialogAnswers entry and records a
//                      ServiceDialogRecord: a cancel gives MAPI_E_USER_CANCEL and leaves the
//                      service as it was; an answer filled in configures the service with that
//                      server and mailbox DN (not checked against the organisation: a mailbox
//                      that does not exist shows at logon, as a store table without the default
//                      store). With no scripted answer left the user cancels. Without the dialog,
//                      a configured service gives S_OK and an unconfigured one
//                      MAPI_E_UNCONFIGURED; property values passed in are not interpreted.
//   DeleteMsgService   removes the service; MAPI_E_NOT_FOUND for an unknown uid.
//   the other methods answer MAPI_E_NO_SUPPORT.
#pragma once

#include <string>
#include <string_view>

#include "mapi/mapi.h"
#include "sim/model.h"

namespace sim {

// The profiles key, and the key of one profile as MAPI names it (see above).
inline constexpr std::u16string_view kProfilesKey =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
std::string EscapedProfileKeyName(std::string_view profileName);
std::u16string ProfileKeyPath(std::string_view profileName);

// Creates the registry key of every profile of the organisation whose registryKey is true.
// Keys of profiles that are not in the model are left alone.
void SyncProfileKeys();

// A profile name as a call passes it: UTF-16 with MAPI_UNICODE, else 8-bit.
std::string ProfileNameArg(mapi::LPTSTR name, bool unicode);

// The configuration dialog of a profile's service, as ConfigureMsgService and MAPILogonEx show
// it: consumes the next scripted answer, records the dialog and configures the service unless the
// user cancelled. Returns S_OK or MAPI_E_USER_CANCEL.
mapi::HRESULT ShowServiceDialog(Profile& profile, MsgService& service, std::string method,
                                mapi::ULONG flags);

// The profile's Exchange service ("MSEMS"), or null.
MsgService* ExchangeService(Profile& profile);

mapi::ComPtr<mapi::IProfAdmin> MakeProfAdmin();
mapi::ComPtr<mapi::IMsgServiceAdmin> MakeMsgServiceAdmin(std::string_view profileName);

}  // namespace sim

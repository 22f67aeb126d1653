// The MAPI profile the library logs on with: its name from the adaptor's registry setting, and the
// profile itself, created with the Exchange service and configured by the administrator when it
// does not exist yet.
#pragma once

#include <string>
#include <string_view>

#include "mapi/mapi_types.h"

namespace tav {

inline constexpr char kAdaptorSettingsKey[] =
    "Software\\Morvane\\Tavrel Enterprise Server\\Manager\\ExchangeAdaptor";
inline constexpr char kProfileValueName[] = "MAPIProfile";
inline constexpr char kDefaultProfileName[] = "TavrelManager";
inline constexpr char kProfilesKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles\\";

// Fills name (unchanged unless the result is not negative and the name not empty).
mapi::HRESULT GetProfileName(std::u16string& name);

// The registry key under which MAPI keeps the profile: the first 64 bytes of the name, bytes from
// 0x80 up escaped as "[" and 0x70 plus the low and the high four bits.
std::string ProfileKeyPath(std::string_view profileName);

}  // namespace tav

// A user's five folder-redirection settings, stored as properties of the user's configuration
// message.
#pragma once

#include <cstdint>
#include <string_view>

#include "mapi/mapi_types.h"

namespace tav {

struct FolderRedirectionSettings {
    bool RedirSelected = false;           // the selected folders are redirected, not the Inbox only
    std::int32_t NumSelectedFolders = 0;  // when the selection was last confirmed
    std::int32_t Time = 0;                // seconds since 1970, when it was confirmed
    std::int32_t SentActivationTime = 0;  // seconds since 1970, sent items last switched on
    bool RedirSentItems = false;
};

inline constexpr mapi::ULONG kRedirSelectedTag = 0x60220003;
inline constexpr mapi::ULONG kNumSelectedFoldersTag = 0x60240003;
inline constexpr mapi::ULONG kRedirTimeTag = 0x60250040;
inline constexpr mapi::ULONG kRedirSentItemsTag = 0x60700003;
inline constexpr mapi::ULONG kSentActivationTimeTag = 0x60710040;

mapi::FILETIME UnixTimeToFileTime(std::int32_t seconds);
// Stores the seconds since 1970 into target; false (target unchanged) when they do not fit into
// 32 bits.
bool FileTimeToUnixTime(const mapi::FILETIME& fileTime, std::int32_t& target);

// Fields whose property is missing keep the caller's values; a missing RedirSentItems is true.
bool GetFolderRedirectionProperties(std::u16string_view userDn, std::u16string_view serverDn,
                                    FolderRedirectionSettings& settings);
// Writes all five properties and saves once.
bool UpdateFolderRedirectionProperties(std::u16string_view userDn, std::u16string_view serverDn,
                                       const FolderRedirectionSettings& settings);

}  // namespace tav

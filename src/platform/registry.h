// Registry seam: the handful of registry calls the library makes, in the shape of the Win32 API.
// Results are Win32 error codes (0 = ERROR_SUCCESS). Key paths are UTF-16, value names and
// string data 8-bit, as the library's callers use them.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

using RegistryHandle = void*;

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorInvalidParameter = 87;
inline constexpr std::int32_t kErrorMoreData = 234;

inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// RegOpenKeyExW.
std::int32_t OpenRegistryKey(RegistryRoot root, std::u16string_view subKey, std::uint32_t access,
                        RegistryHandle* key);
// RegCreateKeyExW, non-volatile, no class; opens the key when it exists.
std::int32_t CreateRegistryKey(RegistryRoot root, std::u16string_view subKey, std::uint32_t access,
                          RegistryHandle* key);
// RegQueryValueExA: on entry *size is the capacity of data; on return the value's size in bytes.
// A value larger than the capacity gives kErrorMoreData. data may be null to ask for the size.
std::int32_t ReadRegistryValue(RegistryHandle key, const char* name, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* size);
// RegSetValueExA.
std::int32_t WriteRegistryValue(RegistryHandle key, const char* name, std::uint32_t type,
                         const std::uint8_t* data, std::uint32_t size);
std::int32_t CloseRegistryKey(RegistryHandle key);

// ExpandEnvironmentStringsA: returns the characters needed including the terminator (the text
// is written only when that fits into size), 0 on failure.
std::uint32_t ExpandEnvironment(const char* source, char* destination, std::uint32_t size);

}  // namespace platform

#include "platform/registry.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::wstring Wide(std::u16string_view text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

}  // namespace

std::int32_t OpenRegistryKey(RegistryRoot root, std::u16string_view subKey, std::uint32_t access,
                        RegistryHandle* key) {
    HKEY opened = nullptr;
    LONG result = ::RegOpenKeyExW(RootKey(root), Wide(subKey).c_str(), 0, access, &opened);
    *key = result == ERROR_SUCCESS ? opened : nullptr;
    return result;
}

std::int32_t CreateRegistryKey(RegistryRoot root, std::u16string_view subKey, std::uint32_t access,
                          RegistryHandle* key) {
    HKEY created = nullptr;
    LONG result = ::RegCreateKeyExW(RootKey(root), Wide(subKey).c_str(), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, access, nullptr, &created, nullptr);
    *key = result == ERROR_SUCCESS ? created : nullptr;
    return result;
}

std::int32_t ReadRegistryValue(RegistryHandle key, const char* name, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = size ? *size : 0;
    LONG result = ::RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, &valueType, data,
                                     size ? &valueSize : nullptr);
    if (type) *type = valueType;
    if (size) *size = valueSize;
    return result;
}

std::int32_t WriteRegistryValue(RegistryHandle key, const char* name, std::uint32_t type,
                         const std::uint8_t* data, std::uint32_t size) {
    return ::RegSetValueExA(static_cast<HKEY>(key), name, 0, type, data, size);
}

std::int32_t CloseRegistryKey(RegistryHandle key) { return ::RegCloseKey(static_cast<HKEY>(key)); }

std::uint32_t ExpandEnvironment(const char* source, char* destination, std::uint32_t size) {
    return ::ExpandEnvironmentStringsA(source, destination, size);
}

}  // namespace platform

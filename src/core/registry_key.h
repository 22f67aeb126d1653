// The object through which the library touches the registry: one key, opened or created on
// demand, with 8-bit string values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace tav {

class RegistryKey {
public:
    // The 8-bit path is converted with the system code page.
    RegistryKey(platform::RegistryRoot root, std::string_view path);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool Open(bool writable);
    // Opens the key, creating it when it does not exist.
    bool Create();
    // Reads a REG_SZ or REG_EXPAND_SZ value (expanded) into buffer, at most size bytes with the
    // last byte of the buffer zero. False for another type, a missing value or one that does not
    // fit.
    bool ReadString(const char* name, char* buffer, std::uint32_t size);
    // As ReadString; on false, copies the default (the rest of the buffer zero-filled).
    bool ReadString(const char* name, char* buffer, std::uint32_t size, const char* fallback);
    bool WriteString(const char* name, const char* text);
    void Close();

private:
    std::u16string path_;
    platform::RegistryRoot root_;
    platform::RegistryHandle handle_ = nullptr;
};

}  // namespace tav

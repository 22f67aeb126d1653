#include "core/registry_key.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/code_page.h"

namespace tav {
namespace {

constexpr std::uint32_t kScratchSize = 256;

// Copies at most size bytes of the text and ends the buffer with a zero byte.
void CopyText(const char* text, char* buffer, std::uint32_t size) {
    std::strncpy(buffer, text, size);
    buffer[size - 1] = 0;
}

}  // namespace

RegistryKey::RegistryKey(platform::RegistryRoot root, std::string_view path)
    : path_(platform::FromSystemCodePage(path)), root_(root) {}

RegistryKey::~RegistryKey() { Close(); }

bool RegistryKey::Open(bool writable) {
    if (handle_) return true;
    std::uint32_t access = writable ? platform::kKeyRead | platform::kKeyWrite : platform::kKeyRead;
    return platform::OpenRegistryKey(root_, path_, access, &handle_) == platform::kErrorSuccess;
}

bool RegistryKey::Create() {
    if (handle_) return true;
    return platform::CreateRegistryKey(root_, path_, platform::kKeyAllAccess, &handle_) ==
           platform::kErrorSuccess;
}

bool RegistryKey::ReadString(const char* name, char* buffer, std::uint32_t size) {
    if (!handle_ || !buffer || size == 0) return false;
    // One spare zero byte, so a value that fills the scratch buffer is still terminated.
    std::uint32_t scratchSize = std::max(kScratchSize, size);
    std::vector<char> scratch(scratchSize + 1, 0);
    std::uint32_t type = 0;
    std::uint32_t length = scratchSize;
    if (platform::ReadRegistryValue(handle_, name, &type,
                                    reinterpret_cast<std::uint8_t*>(scratch.data()),
                                    &length) != platform::kErrorSuccess)
        return false;
    if (type == platform::kRegExpandSz) {
        std::uint32_t needed = platform::ExpandEnvironment(scratch.data(), buffer, size);
        if (needed == 0 || needed > size) CopyText(scratch.data(), buffer, size);
        buffer[size - 1] = 0;
        return true;
    }
    if (type != platform::kRegSz) return false;
    CopyText(scratch.data(), buffer, size);
    return true;
}

bool RegistryKey::ReadString(const char* name, char* buffer, std::uint32_t size,
                             const char* fallback) {
    if (ReadString(name, buffer, size)) return true;
    if (buffer && size) {
        std::memset(buffer, 0, size);
        CopyText(fallback ? fallback : "", buffer, size);
    }
    return false;
}

bool RegistryKey::WriteString(const char* name, const char* text) {
    if (!handle_) return false;
    auto length = static_cast<std::uint32_t>(std::strlen(text));
    return platform::WriteRegistryValue(handle_, name, platform::kRegSz,
                                        reinterpret_cast<const std::uint8_t*>(text),
                                        length + 1) == platform::kErrorSuccess;
}

void RegistryKey::Close() {
    if (handle_) platform::CloseRegistryKey(handle_);
    handle_ = nullptr;
}

}  // namespace tav

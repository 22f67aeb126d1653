#include "platform/string_resources.h"

#include <windows.h>

namespace platform {

int LoadStringResource(ModuleHandle module, std::uint32_t id, char16_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    return ::LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<wchar_t*>(buffer),
                         capacity);
}

void RegisterStringTable(ModuleHandle, std::span<const StringResource>) {}

}  // namespace platform

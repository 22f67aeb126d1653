// The system's ANSI code page through the Win32 conversion functions.

#include "platform/code_page.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace platform {
namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("text too long to convert");
    }
    return static_cast<int>(size);
}

}  // namespace

std::string ToSystemCodePage(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* source = reinterpret_cast<const wchar_t*>(text.data());
    const int sourceLength = CheckedLength(text.size());
    // No best-fit mapping: a name that is not in the code page must not silently turn into a
    // different name. Unmappable characters become the code page's default character. A system
    // whose ANSI code page is UTF-8 accepts no flags here, and needs none.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int needed =
        WideCharToMultiByte(CP_ACP, flags, source, sourceLength, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string(text.size(), '?');
    std::string result(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_ACP, flags, source, sourceLength, result.data(),
                                            needed, nullptr, nullptr);
    result.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return result;
}

std::u16string FromSystemCodePage(std::string_view text) {
    if (text.empty()) return {};
    const int sourceLength = CheckedLength(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), sourceLength, nullptr, 0);
    if (needed <= 0) return std::u16string(text.size(), u'?');
    std::u16string result(static_cast<std::size_t>(needed), u'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, text.data(), sourceLength,
                                            reinterpret_cast<wchar_t*>(result.data()), needed);
    result.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return result;
}

}  // namespace platform

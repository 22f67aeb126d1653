#include "platform/message_box.h"

#include <windows.h>

#include <string>

namespace platform {

int ShowMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                   std::uint32_t flags) {
    std::wstring wideText(reinterpret_cast<const wchar_t*>(text.data()), text.size());
    std::wstring wideCaption(reinterpret_cast<const wchar_t*>(caption.data()), caption.size());
    return ::MessageBoxW(static_cast<HWND>(owner), wideText.c_str(), wideCaption.c_str(), flags);
}

}  // namespace platform

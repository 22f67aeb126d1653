// Message-box seam: a modal MessageBoxW that returns the button pressed.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

using WindowHandle = void*;

inline constexpr std::uint32_t kMbOk = 0x00000000;
inline constexpr std::uint32_t kMbOkCancel = 0x00000001;
inline constexpr std::uint32_t kMbYesNo = 0x00000004;
inline constexpr std::uint32_t kMbIconWarning = 0x00000030;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

int ShowMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                   std::uint32_t flags);

}  // namespace platform

// The library's own texts (string table 50000-50014, five languages), loaded from its module,
// and the message boxes built from them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/wide_format.h"
#include "platform/message_box.h"
#include "platform/module.h"

namespace tav {

inline constexpr std::uint32_t kTextAdaptorName = 50000;
inline constexpr std::uint32_t kTextManagerName = 50001;
inline constexpr std::uint32_t kTextWarningCaption = 50002;
inline constexpr std::uint32_t kTextNoFoldersSelected = 50003;
inline constexpr std::uint32_t kTextMailboxOfUser = 50004;
inline constexpr std::uint32_t kTextMailbox = 50005;
inline constexpr std::uint32_t kTextProfileMissing = 50006;
inline constexpr std::uint32_t kTextRedirectionReadFailed = 50007;
inline constexpr std::uint32_t kTextRedirectionUpdateFailed = 50008;
inline constexpr std::uint32_t kTextInitializeFailed = 50009;
inline constexpr std::uint32_t kTextDefaultStoreFailed = 50010;
inline constexpr std::uint32_t kTextNoDefaultStoreToSend = 50011;
inline constexpr std::uint32_t kTextSendFailed = 50012;
inline constexpr std::uint32_t kTextAddressBookFailed = 50013;
inline constexpr std::uint32_t kTextSentItemsNote = 50014;

class ResourceText {
public:
    // Most characters wvsprintfW writes, terminator included.
    static constexpr std::size_t kFormatLimit = 1024;
    static constexpr int kCacheBufferSize = 4096;

    // The module instance that every text is loaded from, recorded when the library loads.
    static void SetModule(platform::ModuleHandle module);
    static platform::ModuleHandle Module();

    // Loads the text into buffer (capacity in characters); 0 and an empty buffer on failure.
    static int LoadText(std::uint32_t id, char16_t* buffer, int capacity);
    // The whole text, however long.
    static std::u16string LoadString(std::uint32_t id);
    // The text used as a format and expanded with the arguments.
    static std::u16string FormatTextArgs(std::uint32_t id, std::span<const FormatArg> args);
    template <class... A>
    static std::u16string FormatText(std::uint32_t id, const A&... args) {
        const FormatArg packed[] = {FormatArg(args)..., FormatArg(std::int32_t{0})};
        return FormatTextArgs(id, std::span<const FormatArg>(packed, sizeof...(A)));
    }
    // The text, loaded once and kept for the life of the library; null when it has no text.
    static const char16_t* CachedText(platform::ModuleHandle module, std::uint32_t id);
};

// A modal box with the warning caption (text 50002) and no owner: OK and a warning icon.
void ShowWarningBox(std::u16string_view text);
// The same caption, other buttons and owner; returns the button pressed.
int ShowCaptionedBox(platform::WindowHandle owner, std::u16string_view text, std::uint32_t flags);

}  // namespace tav

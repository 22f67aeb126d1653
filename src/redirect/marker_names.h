// The names of the marker messages' named properties as the store has them registered: the
// ASCII text was handed to GetIDsFromNames as if it were UTF-16, so each unit holds two
// characters, the first in the low byte, and a zero unit ends the name.
#pragma once

#include <cstddef>
#include <string_view>

namespace tav {

// Packs text two characters to a unit, the first in the low byte; an odd last character gets a
// zero high byte. units has room for (text.size() + 1) / 2 units.
constexpr void PackAsciiUnits(std::string_view text, char16_t* units) {
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto low = static_cast<unsigned char>(text[i]);
        const auto high = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        units[i / 2] = static_cast<char16_t>(low | high << 8);
    }
}

template <std::size_t N>
struct PackedName {
    static_assert(N % 2 == 1, "an even number of characters, so none is split");
    char16_t units[(N - 1) / 2 + 1] = {};

    constexpr explicit PackedName(const char (&text)[N]) {
        PackAsciiUnits(std::string_view(text, N - 1), units);
    }
};

inline constexpr PackedName kSynchStateName("PR_KVO_SYNCH_STATE");
inline constexpr PackedName kSynchEntryIdName("PR_KVO_SYNCH_ENTRYID");
inline constexpr PackedName kSelectTimeName("PR_KVO_SELECT_TIME");

}  // namespace tav

#pragma once
// UTF-16 helpers shared by the whole library: lengths of zero-terminated strings, conversions
// between UTF-16 and UTF-8 (console, tests, JSON organisations) and the one case-insensitive
// comparison the library uses for names and message classes.

#include <cstddef>
#include <string>
#include <string_view>

namespace tav {

// Units before the terminating zero; 0 for a null pointer.
std::size_t WideLength(const char16_t* text) noexcept;

// A view of a zero-terminated string; the empty view for a null pointer.
std::u16string_view WideView(const char16_t* text) noexcept;

// Widens 7-bit ASCII unit by unit. A byte from 0x80 upwards is not ASCII and becomes U+FFFD;
// 8-bit text in the system code page goes through platform::FromSystemCodePage instead.
std::u16string WideFromAscii(std::string_view ascii);

// UTF-8 to UTF-16. Each maximal ill-formed subsequence (stray continuation bytes, truncated
// sequences, overlong forms, encoded surrogates, values above U+10FFFF) becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Folds the ASCII capitals A-Z to a-z; every other unit is returned unchanged.
constexpr char16_t FoldAscii(char16_t unit) noexcept {
    return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

// Equality after folding only A-Z: "IPM.Note" equals "ipm.NOTE", but "é" does not equal "É".
// The 8-bit overload compares bytes the same way; bytes from 0x80 upwards compare exactly.
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) noexcept;
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) noexcept;

}  // namespace tav

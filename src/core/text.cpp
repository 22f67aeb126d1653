#include "core/text.h"

#include <cstdint>
#include <type_traits>

namespace tav {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The shape of a well-formed UTF-8 sequence by its lead byte: total length, the value bits of
// the lead byte and the allowed range of the second byte (which excludes overlong forms,
// surrogates and values above U+10FFFF). Length 0 marks a byte that cannot start a sequence.
struct Utf8Lead {
    int length;
    std::uint32_t bits;
    unsigned char secondMin;
    unsigned char secondMax;
};

Utf8Lead ClassifyLead(unsigned char b) {
    if (b < 0x80) return {1, b, 0, 0};
    if (b >= 0xC2 && b <= 0xDF) return {2, b & 0x1Fu, 0x80, 0xBF};
    if (b == 0xE0) return {3, 0, 0xA0, 0xBF};
    if (b == 0xED) return {3, 0x0D, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {3, b & 0x0Fu, 0x80, 0xBF};
    if (b == 0xF0) return {4, 0, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {4, b & 0x07u, 0x80, 0xBF};
    if (b == 0xF4) return {4, 4, 0x80, 0x8F};
    return {0, 0, 0, 0};
}

template <class Char>
bool EqualsFolded(std::basic_string_view<Char> a, std::basic_string_view<Char> b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        // Through the unsigned type of the same width, so 8-bit bytes above 0x7F stay intact.
        using Unit = std::make_unsigned_t<Char>;
        const auto x = static_cast<char16_t>(static_cast<Unit>(a[i]));
        const auto y = static_cast<char16_t>(static_cast<Unit>(b[i]));
        if (FoldAscii(x) != FoldAscii(y)) return false;
    }
    return true;
}

}  // namespace

std::size_t WideLength(const char16_t* text) noexcept {
    return text == nullptr ? 0 : std::char_traits<char16_t>::length(text);
}

std::u16string_view WideView(const char16_t* text) noexcept {
    return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

std::u16string WideFromAscii(std::string_view ascii) {
    std::u16string result;
    result.reserve(ascii.size());
    for (const char c : ascii) {
        const auto byte = static_cast<unsigned char>(c);
        result.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : kReplacement);
    }
    return result;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string result;
    result.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const Utf8Lead lead = ClassifyLead(static_cast<unsigned char>(utf8[i]));
        if (lead.length == 0) {
            result.push_back(kReplacement);
            ++i;
            continue;
        }
        std::uint32_t cp = lead.bits;
        int taken = 1;
        for (; taken < lead.length && i + taken < utf8.size(); ++taken) {
            const auto b = static_cast<unsigned char>(utf8[i + taken]);
            const unsigned char lo = taken == 1 ? lead.secondMin : 0x80;
            const unsigned char hi = taken == 1 ? lead.secondMax : 0xBF;
            if (b < lo || b > hi) break;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (taken == lead.length) {
            AppendCodePoint(result, cp);
        } else {
            result.push_back(kReplacement);  // the bytes that began the broken sequence
        }
        i += static_cast<std::size_t>(taken);
    }
    return result;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string result;
    result.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (IsHighSurrogate(unit) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
            const std::uint32_t cp = 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) +
                                     (static_cast<std::uint32_t>(utf16[i + 1]) - 0xDC00);
            AppendUtf8(result, cp);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(result, kReplacement);
        } else {
            AppendUtf8(result, unit);
        }
    }
    return result;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) noexcept {
    return EqualsFolded(a, b);
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) noexcept {
    return EqualsFolded(a, b);
}

}  // namespace tav

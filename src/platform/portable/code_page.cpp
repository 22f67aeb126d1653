// Windows-1252 as the portable build's system code page.

#include "platform/code_page.h"

#include <array>
#include <cstdint>

namespace platform {
namespace {

// Bytes 0x80..0x9F. The rest of the code page is Latin-1: the byte value is the code point.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char kDefaultChar = '?';

char16_t ByteToUnit(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

char UnitToByte(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == unit) return static_cast<char>(0x80 + i);
    }
    return kDefaultChar;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string ToSystemCodePage(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            ++i;  // the pair is one character outside the code page
            result.push_back(kDefaultChar);
            continue;
        }
        result.push_back(UnitToByte(unit));
    }
    return result;
}

std::u16string FromSystemCodePage(std::string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (const char byte : text) result.push_back(ByteToUnit(static_cast<unsigned char>(byte)));
    return result;
}

}  // namespace platform

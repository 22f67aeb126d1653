#include "sim/sim_text.h"

#include <cstdint>
#include <cstdio>

#include "platform/code_page.h"

namespace sim {

std::u16string FromUtf8(std::string_view utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        std::uint32_t code = 0xFFFD;
        std::size_t length = 1;
        if (byte < 0x80) {
            code = byte;
        } else if ((byte >> 5) == 0x6 || (byte >> 4) == 0xE || (byte >> 3) == 0x1E) {
            length = (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : 4;
            code = byte & (0x7F >> length);
            bool valid = i + length <= utf8.size();
            for (std::size_t k = 1; valid && k < length; ++k) {
                auto next = static_cast<unsigned char>(utf8[i + k]);
                valid = (next >> 6) == 0x2;
                code = (code << 6) | (next & 0x3F);
            }
            if (!valid) {
                code = 0xFFFD;
                length = 1;
            }
        }
        i += length;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(char16_t(0xD800 + (code >> 10)));
            out.push_back(char16_t(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(char16_t(code));
        }
    }
    return out;
}

std::string ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    AppendUtf8(out, utf16);
    return out;
}

void AppendUtf8(std::string& out, std::u16string_view utf16) {
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        std::uint32_t code = utf16[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out.push_back(char(code));
        } else if (code < 0x800) {
            out.push_back(char(0xC0 | (code >> 6)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(char(0xE0 | (code >> 12)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (code >> 18)));
            out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        }
    }
}

namespace {
template <class C>
C Fold(C c) {
    return (c >= C('A') && c <= C('Z')) ? C(c - C('A') + C('a')) : c;
}
template <class View>
bool Equal(View a, View b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}
}  // namespace

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) { return Equal(a, b); }
bool EqualsAsciiNoCase(std::string_view a, std::string_view b) { return Equal(a, b); }

std::u16string FoldAscii(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded) c = Fold(c);
    return folded;
}

std::string From8Bit(std::string_view text) {
    return ToUtf8(platform::FromSystemCodePage(text));
}

std::string To8Bit(std::string_view utf8) {
    return platform::ToSystemCodePage(FromUtf8(utf8));
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}


std::string IidText(const void* guid) {
    auto bytes = static_cast<const std::uint8_t*>(guid);
    auto word = [&](int at, int size) {
        unsigned value = 0;
        for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
        return value;
    };
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  word(0, 4), word(4, 2), word(6, 2), bytes[8], bytes[9], bytes[10], bytes[11],
                  bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::string HexBytes(const void* data, std::size_t size) {
    std::string text;
    AppendHexBytes(text, data, size);
    return text;
}

void AppendHexBytes(std::string& out, const void* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    if (!data) {
        if (size) out += "null";
        return;
    }
    auto bytes = static_cast<const std::uint8_t*>(data);
    out.reserve(out.size() + size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0xF]);
    }
}

}  // namespace sim

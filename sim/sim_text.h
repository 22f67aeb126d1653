// Text conversions the simulator and the console emulator need: UTF-8 for JSON and transcripts,
// the 8-bit system code page for the strings MAPI takes without MAPI_UNICODE.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

std::u16string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);
void AppendUtf8(std::string& out, std::u16string_view utf16);
// Only A-Z fold, as the library's comparisons do.
bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);
// A-Z to a-z, the rest as it is: a key under which EqualsAsciiNoCase's equals meet.
std::u16string FoldAscii(std::u16string_view text);
// 8-bit text in the system code page from and to UTF-8.
std::string From8Bit(std::string_view text);
std::string To8Bit(std::string_view utf8);
// A 32-bit value as "0x%08x", the way flags, tags and result codes are written.
std::string Hex32(std::uint32_t value);
// The 16 bytes of a GUID as it lies in memory (Data1 to Data3 little-endian), as
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string IidText(const void* guid);
// Bytes as lower-case hex; "null" for a null pointer with a nonzero size, "" for none.
std::string HexBytes(const void* data, std::size_t size);
// The same appended to out.
void AppendHexBytes(std::string& out, const void* data, std::size_t size);

}  // namespace sim

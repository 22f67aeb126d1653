#pragma once
// The 8-bit system code page: profile names, registry values and the other 8-bit texts of the
// library are converted to and from UTF-16 here.
//
// The Windows build uses the system's ANSI code page. The portable build uses Windows-1252,
// including its five undefined bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which map to the C1
// controls U+0081, U+008D, U+008F, U+0090 and U+009D and back, as Windows maps them.

#include <string>
#include <string_view>

namespace platform {

// UTF-16 to the system code page. A character the code page cannot represent becomes '?', one
// '?' for a whole surrogate pair; no best-fit substitution is made. Embedded zeros are kept.
std::string ToSystemCodePage(std::u16string_view text);

// The system code page to UTF-16. Every byte sequence has a result; embedded zeros are kept.
std::u16string FromSystemCodePage(std::string_view text);

}  // namespace platform

#include "core/wide_format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace tav {
namespace {

using namespace std::string_view_literals;

// Only the types the format subset knows make arguments.
static_assert(std::is_convertible_v<char16_t*, FormatArg> &&
              std::is_convertible_v<const char16_t (&)[4], FormatArg> &&
              std::is_convertible_v<std::u16string, FormatArg> &&
              std::is_convertible_v<std::string, FormatArg> &&
              std::is_convertible_v<std::int16_t, FormatArg>);
static_assert(!std::is_constructible_v<FormatArg, bool> &&
              !std::is_constructible_v<FormatArg, std::int64_t> &&
              !std::is_constructible_v<FormatArg, std::uint64_t> &&
              !std::is_constructible_v<FormatArg, double> &&
              !std::is_constructible_v<FormatArg, const void*> &&
              !std::is_constructible_v<FormatArg, std::nullptr_t>);

const std::int32_t kFail = static_cast<std::int32_t>(0x80004005);
const char16_t* const kNullWide = nullptr;
const char* const kNullNarrow = nullptr;

struct Case {
    std::u16string_view format;
    std::vector<FormatArg> args;
    std::u16string_view expected;
};

void ExpectExpansions(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.format));
        EXPECT_EQ(FormatToString(4096, c.format, c.args), c.expected);
        std::array<char16_t, 256> buffer;
        const std::size_t written = FormatInto(buffer.data(), buffer.size(), c.format, c.args);
        EXPECT_EQ(std::u16string_view(buffer.data(), written), c.expected);
        EXPECT_EQ(buffer[written], u'\0');
    }
}

TEST(WideFormat, Strings) {
    ExpectExpansions({
        {u"UserDN=%s, ServerDN=%s", {u"jdoe", std::u16string(u"srv")},
         u"UserDN=jdoe, ServerDN=srv"},
        {u"[%s][%S][%.3s]", {kNullWide, kNullNarrow, kNullWide}, u"[(null)][(null)][(nu]"},
        {u"[%s]", {u"Inbox, Outbox"sv.substr(0, 5)}, u"[Inbox]"},  // a view, not terminated
        {u"%S|%S|%S", {"\xE9t\xE9", "\x80", std::string("\x81")}, u"\u00E9t\u00E9|\u20AC|\u0081"},
        {u"%hs|%lS|%ws", {"a\xE9", u"b", u"c"}, u"a\u00E9|b|c"},
        {u"[%8s][%-8s][%08s]", {u"abc", u"abc", u"abc"}, u"[     abc][abc     ][     abc]"},
        {u"[%2s][%.5s][%.5s]", {u"abcdef", u"abcdefgh", u"abc"}, u"[abcdef][abcde][abc]"},
        {u"[%8.2s][%.s][%.2S]", {u"abcdef", u"abc", "\xE9\xE8\xEA"}, u"[      ab][][\u00E9\u00E8]"},
    });
}

TEST(WideFormat, Integers) {
    ExpectExpansions({
        {u"%d|%i|%d", {-42, INT32_MAX, INT32_MIN}, u"-42|2147483647|-2147483648"},
        {u"%d", {0x80004005u}, u"-2147467259"},  // %d reads any 32 bits as signed
        {u"%u|%x|%X", {-1, -1, 0xDEADBEEFu}, u"4294967295|ffffffff|DEADBEEF"},
        {u"result=0x%08x.", {kFail}, u"result=0x80004005."},
        {u"0x%08X|0x%08x", {static_cast<std::int32_t>(0x80070005), 5}, u"0x80070005|0x00000005"},
        {u"[%5d][%-5d][%05d][%05d]", {42, 42, 42, -42}, u"[   42][42   ][00042][-0042]"},
        {u"[%-05d][%0-5d][%2d]", {42, 42, 12345}, u"[42   ][42   ][12345]"},
        {u"[%.3d][%.3d][%.0d][%6.3d]", {7, -7, 0, 7}, u"[007][-007][0][   007]"},
        {u"[%#x][%#X][%#06x][%#6x]", {255, 255, 255, 255}, u"[0xff][0XFF][0x00ff][  0xff]"},
        {u"%ld|%lu|%hd|%hd|%hu", {-5, 5u, 0xFFFF, 70000, -1}, u"-5|5|-1|4464|65535"},
        {u"%c%c|%c|[%3c][%c]", {u'O', u'K', 0x20AC, u'a', char16_t{0}}, u"OK|\u20AC|[  a][]"},
        {u"%C|%hc", {static_cast<char>('\xE9'), 0x80}, u"\u00E9|\u20AC"},
        // A zero 8-bit character writes nothing, but its field is still padded.
        {u"[%C][%3C][%-2C]", {char{0}, char{0}, char{0}}, u"[][   ][  ]"},
    });
}

TEST(WideFormat, PercentAndUnknownConversions) {
    ExpectExpansions({
        {u"100%%|%%d|[%5%]", {7}, u"100%|%d|[%]"},
        {u"%q|%-08.3q|%p%d", {7}, u"q|q|p7"},  // a non-type character uses no argument
        {u"abc%", {}, u"abc"},                 // a '%' at the end is dropped...
        {u"abc%-08.3", {}, u"abc"},            // ...with whatever followed it
        {u"ab\0%d"sv, {7}, u"ab"},             // the format ends at a zero unit
    });
}

TEST(WideFormat, MissingAndMismatchedArguments) {
    ExpectExpansions({
        {u"[%d][%5s][%-5c]", {}, u"[][][]"},  // missing: nothing, not even padding
        {u"%d, %d, %d", {1, 2}, u"1, 2, "},
        {u"%d", {1, u"surplus"}, u"1"},
        // a string given to a number or character prints as a string
        {u"[%d][%5x][%c][%.2u]", {u"abc", "\xE9", u"xyz", u"abc"}, u"[abc][    \u00E9][xyz][ab]"},
        // an integer given to a string prints as its own kind of number
        {u"[%s][%S][%s][%5s]", {-1, UINT32_MAX, u'A', 42}, u"[-1][4294967295][65][   42]"},
        {u"[%s][%S]", {"\xE9", u"\u00E9"}, u"[\u00E9][\u00E9]"},
        {u"%d %s %d", {u"a", 1, 2}, u"a 1 2"},  // the next conversion takes the next argument
    });
}

TEST(WideFormat, OutputIsCutAtTheLimit) {
    struct Case {
        std::size_t capacity;
        std::u16string_view format;
        std::vector<FormatArg> args;
        std::u16string_view expected;
    };
    const Case cases[] = {
        {1, u"hello", {}, u""},
        {5, u"hello", {}, u"hell"},
        {6, u"hello", {}, u"hello"},
        {5, u"%S", {"\xE9\xE9\xE9\xE9\xE9"}, u"\u00E9\u00E9\u00E9\u00E9"},
        {5, u"0x%08x", {kFail}, u"0x80"},
        {5, u"%8d", {42}, u"    "},     // inside the left padding
        {6, u"%-8d|", {42}, u"42   "},  // inside the right padding
        {4, u"%05d", {7}, u"000"},      // inside the zeros
        {16, u"%99999d", {1}, u"               "},
        {8, u"ab%99999999999999999999dcd", {1}, u"ab     "},  // the width saturates
        {4, u"a%%b%%c", {}, u"a%b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.format) + " into " + std::to_string(c.capacity));
        std::vector<char16_t> buffer(c.capacity + 4, u'#');
        const std::size_t written = FormatInto(buffer.data(), c.capacity, c.format, c.args);
        EXPECT_EQ(std::u16string_view(buffer.data(), written), c.expected);
        EXPECT_EQ(buffer[written], u'\0');
        EXPECT_EQ(std::u16string_view(buffer.data() + c.capacity, 4), u"####");

        const std::u16string limited = FormatToString(c.capacity - 1, c.format, c.args);
        EXPECT_EQ(limited, c.expected);
        EXPECT_LT(limited.capacity(), 1024u) << "the width was allocated, not the output";
    }
    char16_t untouched = u'#';
    EXPECT_EQ(FormatInto(&untouched, 0, u"hello", {}), 0u);
    EXPECT_EQ(untouched, u'#');
}

TEST(WideFormat, FrontEnds) {
    char16_t buffer[32];
    EXPECT_EQ(FormatWide(buffer, 32, u"%s=%d (0x%08x)", u"hr", kFail, kFail), 27u);
    EXPECT_EQ(std::u16string_view(buffer), u"hr=-2147467259 (0x80004005)");
    EXPECT_EQ(FormatWide(buffer, 4, u"no arguments"), 3u);
    EXPECT_EQ(FormatWideString(100, u"'%s' '%S' %u", std::u16string(u"a"), std::string("\xF6"), 7u),
              u"'a' '\u00F6' 7");
    EXPECT_EQ(FormatWideString(5, u"%s", u"Outlook"), u"Outlo");
}

// The log first puts the level and operation name in front of the caller's format, then
// expands the result with the caller's arguments; "%%" and conversions survive the first pass.
TEST(WideFormat, TwoPassExpansion) {
    const Case cases[] = {
        {u"100%% done", {}, u"4:[Op] 100% done"},
        {u"UserDN=%s, ServerDN=%s", {u"jdoe", u"srv"}, u"4:[Op] UserDN=jdoe, ServerDN=srv"},
        {u"Using MAPI profile '%S', result=0x%08x.", {"Outlook", kFail},
         u"4:[Op] Using MAPI profile 'Outlook', result=0x80004005."},
    };
    for (const Case& c : cases) {
        char16_t lineFormat[4096];
        const std::size_t length =
            FormatWide(lineFormat, 4096, u"%d:[%s] %s", 4, u"Op", c.format);
        const std::u16string_view expanded(lineFormat, length);
        EXPECT_EQ(FormatToString(8191, expanded, c.args), c.expected);
    }
}

}  // namespace
}  // namespace tav

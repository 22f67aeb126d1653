#include "core/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace tav {
namespace {

using namespace std::string_view_literals;

TEST(Text, WideLengthAndViewAcceptNull) {
    EXPECT_EQ(WideLength(nullptr), 0u);
    EXPECT_EQ(WideLength(u"Inbox"), 5u);
    EXPECT_TRUE(WideView(nullptr).empty());
}

TEST(Text, AsciiFoldingTouchesOnlyAToZ) {
    const char16_t unchanged[] = {u'a', u'z', u'@', u'[', u'`', u'{', u'\u00C9', u'\u0130'};
    for (const char16_t unit : unchanged) EXPECT_EQ(FoldAscii(unit), unit) << int(unit);
    EXPECT_EQ(FoldAscii(u'A'), u'a');
    EXPECT_EQ(FoldAscii(u'Z'), u'z');

    struct Case {
        std::u16string_view a, b;
        bool equal;
    };
    const Case cases[] = {
        {u"", u"", true},
        {u"KVO.Tavrel.Handheld.Config", u"kvo.TAVREL.handheld.config", true},
        {u"Inbox", u"Inbo", false},
        {u"\u00E9", u"\u00C9", false},  // é and É differ
        {u"@[", u"`{", false},          // differ only in the bit that separates cases
        {u"a\0b"sv, u"A\0B"sv, true},   // lengths, not terminators, decide
        {u"a\0b"sv, u"a"sv, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsIgnoreAsciiCase(c.a, c.b), c.equal) << Utf16ToUtf8(c.a);
        EXPECT_EQ(EqualsIgnoreAsciiCase(Utf16ToUtf8(c.a), Utf16ToUtf8(c.b)), c.equal);
    }
    EXPECT_FALSE(EqualsIgnoreAsciiCase("\xE9"sv, "\xC9"sv));  // é / É in Windows-1252
    EXPECT_TRUE(EqualsIgnoreAsciiCase("Profile \xE9"sv, "PROFILE \xE9"sv));
}

TEST(Text, Utf8ToUtf16ReplacesEachIllFormedSubsequence) {
    struct Case {
        std::string_view utf8;
        std::u16string_view utf16;
    };
    const Case cases[] = {
        {"Inbox", u"Inbox"},
        {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"\x80\xBF", u"\uFFFD\uFFFD"},              // stray continuation bytes
        {"\xE2\x82!", u"\uFFFD!"},                  // truncated, then ASCII
        {"\xF0\x9F\x98", u"\uFFFD"},                // truncated at the end
        {"\xC0\xAF", u"\uFFFD\uFFFD"},              // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},    // overlong, three bytes
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},    // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xFF!", u"\uFFFD!"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8.size();

    EXPECT_EQ(WideFromAscii("MAPIProfile"), u"MAPIProfile");
    EXPECT_EQ(WideFromAscii("a\xE9z"), u"a\uFFFDz");
}

TEST(Text, Utf16ToUtf8ReplacesUnpairedSurrogates) {
    struct Case {
        std::u16string_view utf16;
        std::string_view utf8;
    };
    const Case cases[] = {
        {u"\u00E9\u07FF\u0800\uFFFF", "\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {u"\xD800!", "\xEF\xBF\xBD!"},                    // lone high surrogate
        {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},    // a pair in the wrong order
        {u"!\xD83D", "!\xEF\xBF\xBD"},                    // high surrogate at the end
    };
    for (const Case& c : cases) EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
}

TEST(CodePage, Windows1252Mapping) {
    struct Case {
        std::string_view bytes;
        std::u16string_view text;
    };
    const Case cases[] = {
        {"Outlook", u"Outlook"},
        {"\xC9t\xE9\xA0\xFF", u"\u00C9t\u00E9\u00A0\u00FF"},
        {"\x80\x8A\x99\x9F", u"\u20AC\u0160\u2122\u0178"},
        {"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},  // undefined in 1252
        {"a\0b"sv, u"a\0b"sv},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::FromSystemCodePage(c.bytes), c.text);
        EXPECT_EQ(platform::ToSystemCodePage(c.text), c.bytes);
    }

    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(platform::ToSystemCodePage(platform::FromSystemCodePage(all)), all);
}

TEST(CodePage, UnmappableBecomesQuestionMark) {
    struct Case {
        std::u16string_view text;
        std::string_view bytes;
    };
    const Case cases[] = {
        {u"\u0080", "?"},          // a C1 control that 1252 has no byte for
        {u"\u0100", "?"},          // no best fit to 'A'
        {u"\u4E2D\u6587", "??"},
        {u"a\U0001F600b", "a?b"},  // one '?' for the pair
        {u"\xD800!\xDC00", "?!?"},  // lone surrogates
    };
    for (const Case& c : cases) EXPECT_EQ(platform::ToSystemCodePage(c.text), c.bytes);
}

}  // namespace
}  // namespace tav

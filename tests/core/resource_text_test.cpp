#include "core/resource_text.h"

#include <gtest/gtest.h>


#include "core/text.h"
#include "platform/portable/portable_platform.h"
#include "platform/string_resources.h"
#include "res/string_table.h"

namespace tav {
namespace {

std::string Utf8(std::u16string_view text) { return Utf16ToUtf8(text); }

// The conversions of a text, in order, e.g. "%s%d".
std::string Placeholders(std::u16string_view text) {
    std::string found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == u'%') {
            if (text[i + 1] != u'%') found += {'%', char(text[i + 1])};
            ++i;
        }
    return found;
}

TEST(StringTable, EveryLanguageHasEveryTextWithTheEnglishPlaceholders) {
    const std::uint16_t languages[] = {1033, 1031, 1036, 1040, 3082};
    for (std::uint16_t language : languages) {
        platform::portable::SetUiLanguage(language);
        for (std::uint32_t id = 50000; id <= 50014; ++id) {
            SCOPED_TRACE(testing::Message() << "language " << language << " id " << id);
            std::u16string text = ResourceText::LoadString(id);
            ASSERT_FALSE(text.empty());
            platform::portable::SetUiLanguage(1033);
            EXPECT_EQ(Placeholders(text), Placeholders(ResourceText::LoadString(id)));
            platform::portable::SetUiLanguage(language);
        }
    }
    platform::portable::SetUiLanguage(1033);
}

TEST(StringTable, CaptionsAndQuotedTexts) {
    struct Case {
        std::uint16_t language;
        std::uint32_t id;
        std::u16string expected;
    };
    const Case cases[] = {
        {1033, kTextWarningCaption, u"Warning"},
        {1031, kTextWarningCaption, u"Warnhinweis"},
        {1036, kTextWarningCaption, u"Avertissement"},
        {1040, kTextWarningCaption, u"Avviso"},
        {3082, kTextWarningCaption, u"Advertencia"},
        {1036, kTextAdaptorName, u"TavMgrAdaptateurExchange"},
        {1033, kTextAdaptorName, u"TavMgrExchangeAdaptor"},
        {1033, kTextSendFailed,
         u"An error occured trying to send the message by email. Please review the log for "
         u"details."},
        {1049, kTextWarningCaption, u"Warning"},  // a language without table falls back to English
    };
    for (const Case& c : cases) {
        platform::portable::SetUiLanguage(c.language);
        EXPECT_EQ(Utf8(ResourceText::LoadString(c.id)), Utf8(c.expected)) << c.language;
    }
    platform::portable::SetUiLanguage(1031);
    EXPECT_NE(ResourceText::LoadString(kTextProfileMissing).find(u"\"%S\""), std::u16string::npos);
    platform::portable::SetUiLanguage(1033);
    EXPECT_EQ(Utf8(ResourceText::LoadString(kTextProfileMissing).substr(0, 39)),
              "The MAPI Profile '%S' does not exist.\n\n");
}

// Texts of a module made up for the test, to reach the loader's size boundaries.
class CustomModuleText : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = ResourceText::Module();
        for (std::size_t length : {254, 255, 300, 511, 600, 5000})
            texts_.push_back(std::u16string(length, u'a' + char16_t(texts_.size())));
        std::vector<platform::StringResource> table;
        for (std::size_t i = 0; i < texts_.size(); ++i)
            table.push_back({1033, std::uint32_t(100 + i), texts_[i].c_str()});
        table.push_back({1033, 200, u"Profile '%s' / %S / %d"});
        table.push_back({1033, 201, u"%s"});
        platform::RegisterStringTable(&module_, table);
        ResourceText::SetModule(&module_);
    }
    void TearDown() override { ResourceText::SetModule(saved_); }

    platform::ModuleHandle saved_ = nullptr;
    char module_ = 0;
    std::vector<std::u16string> texts_;
};

TEST_F(CustomModuleText, GrowableLoadReturnsWholeTexts) {
    for (std::size_t i = 0; i < texts_.size(); ++i)
        EXPECT_EQ(ResourceText::LoadString(std::uint32_t(100 + i)), texts_[i]) << texts_[i].size();
    EXPECT_EQ(ResourceText::LoadString(999), u"");

    char16_t buffer[8] = {u'x', u'x'};
    EXPECT_EQ(ResourceText::LoadText(999, buffer, 8), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(ResourceText::LoadText(100, buffer, 8), 7);
    EXPECT_EQ(std::u16string(buffer), u"aaaaaaa");
}

TEST_F(CustomModuleText, FormatTextExpandsWithinTheLimit) {
    EXPECT_EQ(ResourceText::FormatText(200, u"", "narrow", -5), u"Profile '' / narrow / -5");
    std::u16string huge(3000, u'z');
    EXPECT_EQ(ResourceText::FormatText(201, huge), huge.substr(0, 1023));
    ResourceText::SetModule(saved_);
    EXPECT_EQ(Utf8(ResourceText::FormatText(kTextInitializeFailed, u"")),
              "An error occurred while initializing a MAPI session using the profile ''. Please "
              "review the log for details.");
}

TEST_F(CustomModuleText, CachedTextIsLoadedOnceAndKept) {
    const char16_t* first = ResourceText::CachedText(&module_, 102);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::u16string(first), texts_[2]);
    EXPECT_EQ(ResourceText::CachedText(&module_, 102), first);

    const char16_t* cut = ResourceText::CachedText(&module_, 105);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(std::u16string(cut), texts_[5].substr(0, 4094));

    // A missing text is not cached: once the module has it, it is found.
    const std::u16string late = u"late text";
    EXPECT_EQ(ResourceText::CachedText(&module_, 300), nullptr);
    EXPECT_EQ(ResourceText::CachedText(&module_, 300), nullptr);
    platform::RegisterStringTable(&module_, std::vector<platform::StringResource>{
                                                {1033, 300, late.c_str()}});
    const char16_t* found = ResourceText::CachedText(&module_, 300);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::u16string(found), late);
}

TEST(MessageBoxes, WarningAndCaptionedBoxes) {
    platform::portable::ResetMessageBoxes();
    ShowWarningBox(u"Something failed.");
    platform::portable::QueueMessageBoxAnswer(platform::kIdCancel);
    int owner = 0;
    EXPECT_EQ(ShowCaptionedBox(nullptr, u"Create it?", platform::kMbOkCancel), platform::kIdCancel);
    EXPECT_EQ(ShowCaptionedBox(&owner, u"No folders?", platform::kMbYesNo), platform::kIdYes);
    const auto& boxes = platform::portable::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, u"Warning");
    EXPECT_EQ(boxes[0].text, u"Something failed.");
    EXPECT_EQ(boxes[0].flags, 0x30u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[1].flags, 0x01u);
    EXPECT_EQ(boxes[2].owner, &owner);
    platform::portable::ResetMessageBoxes();
}

}  // namespace
}  // namespace tav

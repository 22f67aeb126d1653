#include "core/diagnostic_log.h"

#include <gtest/gtest.h>

#include "core/exports.h"

namespace tav {
namespace {

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override { ClearLog(); }
    void TearDown() override { ClearLog(); }
    static std::vector<std::u16string> Lines() { return DiagnosticLog::Instance().Lines(); }
};

TEST_F(DiagnosticLogTest, LineForms) {
    const std::u16string op = u"ExchangeAdaptorDLL::Uninitialize";
    WriteLog(op.c_str(), 4, u"Uninitializing MAPI connection.");
    WriteLog(u"", 3, u"No recipients, aborting send message.");
    WriteLog(nullptr, 2, u"SubmitMessage failed, result=0x%08x.", std::int32_t(0x80040115));
    WriteLog(u"ExchangeAdaptorDLL::GetProfileName", 4, u"Using MAPI profile '%S'.", "Tavrel");
    WriteLog(u"Op", 1, u"100%% of %s", u"50%d");  // %% once, arguments never re-expanded
    WriteLog(u"Op", -7, u"x");
    EXPECT_EQ(Lines(), (std::vector<std::u16string>{
                           u"4:[ExchangeAdaptorDLL::Uninitialize] Uninitializing MAPI connection.",
                           u"3:No recipients, aborting send message.",
                           u"2:SubmitMessage failed, result=0x80040115.",
                           u"4:[ExchangeAdaptorDLL::GetProfileName] Using MAPI profile 'Tavrel'.",
                           u"1:[Op] 100% of 50%d",
                           u"-7:[Op] x",
                       }));
}

TEST_F(DiagnosticLogTest, LongMessagesAreCut) {
    const std::u16string longArgument(9000, u'a');
    WriteLog(u"Op", 4, u"%s", longArgument);
    // The caller's format itself goes through the 4096-character line-format buffer.
    const std::u16string longFormat(5000, u'b');
    WriteLog(u"Op", 4, longFormat);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 8191u);
    EXPECT_EQ(lines[0].substr(0, 8), u"4:[Op] a");
    EXPECT_EQ(lines[1].size(), 4095u);
    EXPECT_EQ(lines[1].substr(0, 8), u"4:[Op] b");
}

TEST_F(DiagnosticLogTest, ContainerAsTheConsoleSeesIt) {
    WideStringList* first = nullptr;
    WideStringList* second = nullptr;
    ASSERT_TRUE(GetDebugLogInfo(&first));
    WriteLog(u"Op", 4, u"short");
    WriteLog(u"Op", 4, u"a longer line");
    ASSERT_TRUE(GetDebugLogInfo(&second));
    EXPECT_EQ(first, second);
    EXPECT_FALSE(GetDebugLogInfo(nullptr));

    // Reading the ring the way the console does: from the sentinel's next pointer, oldest first.
    ASSERT_EQ(second->count, 2u);
    const WideStringNode* node = second->sentinel->next;
    EXPECT_EQ(SlotText(node->text), u"4:[Op] short");
    EXPECT_EQ(node->next->prev, node);
    EXPECT_EQ(node->next->next, second->sentinel);
    EXPECT_EQ(second->sentinel->prev, node->next);

    ClearLog();
    EXPECT_EQ(second->count, 0u);
    EXPECT_EQ(second->sentinel->next, second->sentinel);
    EXPECT_EQ(second->sentinel->prev, second->sentinel);
    WriteLog(u"Op", 4, u"after");
    EXPECT_EQ(Lines(), std::vector<std::u16string>{u"4:[Op] after"});
}

}  // namespace
}  // namespace tav

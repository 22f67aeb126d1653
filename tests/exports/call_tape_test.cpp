// The call tape: an export's calls into the simulator, taped and played again against an
// organisation built by the same steps, without the library, make the same calls with the same
// results and leave the organisation in the same state as the export did.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <variant>

#include "core/exports.h"
#include "platform/portable/portable_dialog.h"
#include "sim/call_tape.h"
#include "sim/org_generator.h"
#include "sim/props.h"
#include "sim/state_diff.h"
#include "support/library_fixture.h"

namespace tav::testing {
namespace {

namespace portable = platform::portable;

constexpr char16_t kUserDn[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";
constexpr char16_t kStoreName[] = u"Mailbox - John Doe";

class CallTapeTest : public LibraryTest {
  protected:
    // A fresh world made by `build`, the library initialised, its calls counted from here.
    void World(const std::function<void(sim::OrgBuilder&)>& build) {
        Uninitialize();
        ResetSimulatedWorld();
        sim::OrgBuilder builder;
        AdminOrganisation(builder);
        build(builder);
        ASSERT_TRUE(Initialize());
        sim::Simulator::Instance().ClearRecords();
    }

    // Tapes `run` on one world made by `build`, plays the tape on a second one, and expects the
    // same calls, results and final state.
    void ExpectSamePlayed(const std::function<void(sim::OrgBuilder&)>& build,
                          const std::function<bool()>& run) {
        World(build);
        sim::StartTape();
        ASSERT_TRUE(run());
        sim::CallTape tape = sim::StopTape();
        const std::uint64_t calls = sim::Simulator::Instance().CallCount();
        const sim::OrderedJson exported = sim::TakeSnapshot();
        ASSERT_EQ(tape.Incomplete(), "");

        World(build);
        const sim::OrderedJson before = sim::TakeSnapshot();
        const sim::TapePlay play = sim::PlayTape(tape);
        EXPECT_EQ(play.diverged, 0u) << play.firstDivergence;
        EXPECT_EQ(play.calls, tape.Entries().size());
        // Every call entered is on the tape; AddRef and Release are on it besides.
        EXPECT_EQ(sim::Simulator::Instance().CallCount(), calls);
        EXPECT_GT(play.calls, calls);
        const sim::OrderedJson played = sim::TakeSnapshot();
        EXPECT_NE(sim::DiffSnapshots(before, played).size(), 0u) << "the export changed nothing";
        EXPECT_EQ(sim::DiffSnapshots(exported, played).dump(), "[]");
    }
};

TEST_F(CallTapeTest, AnEditThatAddsAndRemovesMarkersPlaysToTheSameMailbox) {
    std::vector<std::u16string> clicks;
    auto build = [&](sim::OrgBuilder& builder) {
        sim::MailboxBuilder& user = builder.Mailbox(kUserDn, kServerDn)
                                        .StandardFolders()
                                        .OwnerDisplayName(u"John Doe")
                                        .StoreDisplayName(kStoreName);
        const sim::GeneratedFolders made = sim::GenerateFolders(
            user, {.count = 60, .shape = sim::FolderShape::Wide, .marked = sim::MarkedShare::Tenth});
        // One marked folder and one unmarked one of the top level clicked: a marker removed
        // (DeleteMessages) and one made (CreateMessage, SetProps, SaveChanges).
        const std::set<std::uint64_t> marked(made.marked.begin(), made.marked.end());
        const sim::Mailbox& mailbox = user.Model();
        bool markedClicked = false, unmarkedClicked = false;
        clicks.clear();
        for (const auto& folder : mailbox.FindFolder(mailbox.special.ipmSubtree)->children) {
            const bool isMarked = marked.count(folder->id) != 0;
            if ((isMarked && markedClicked) || (!isMarked && unmarkedClicked)) continue;
            const sim::PropValue* text = sim::FindProp(folder->props, mapi::PR_DISPLAY_NAME_W);
            if (!text || !std::holds_alternative<std::u16string>(*text)) continue;
            clicks.push_back(std::u16string(kStoreName) + u"/" + std::get<std::u16string>(*text));
            (isMarked ? markedClicked : unmarkedClicked) = true;
        }
        ASSERT_TRUE(markedClicked && unmarkedClicked);
    };
    ExpectSamePlayed(build, [&] {
        portable::ResetDialogs();
        for (const std::u16string& path : clicks)
            portable::QueueDialogAction(portable::ClickItemImage(path, false));
        portable::QueueDialogAction(portable::PressOk());
        WideArg name(u"John Doe"), userDn(kUserDn), server(kServerDn);
        bool selected = false, sentItems = false;
        std::int32_t folders = 0, time = 0, activation = 0;
        return EditFolderRedirectionSettings(name.get(), userDn.get(), server.get(), &selected,
                                             &folders, &time, &activation, &sentItems) &&
               portable::QueuedDialogActions() == 0;
    });
}

TEST_F(CallTapeTest, PicksAndABulletinPlayToTheSameOrganisation) {
    std::vector<std::uint32_t> picked;
    auto build = [&](sim::OrgBuilder& builder) {
        picked.clear();
        for (int i = 0; i < 3; ++i) {
            const std::u16string n = u"user" + std::u16string(1, char16_t(u'0' + i));
            picked.push_back(builder
                                 .User(u"User " + n,
                                       u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=" + n)
                                 .HomeMdb(sim::OrgBuilder::HomeMdbOf(kServerDn))
                                 .Smtp(n + u"@example.com")
                                 .Index());
        }
        sim::Simulator::Instance().Org().addressDialogAnswers = {
            {sim::AddressDialogAnswer::Action::Pick, picked, 0}};
    };
    ExpectSamePlayed(build, [&] {
        ABItemList* list = nullptr;
        const bool picks = GetABItemList(&list, 1) && list && list->last - list->first == 3;
        FreeABItemList(&list);
        WideStringList recipients;
        InitList(recipients);
        AppendToList(recipients, u"user0@example.com");
        AppendToList(recipients, u"user2@example.com");
        WideArg subject(u"Bulletin"), body(u"Notes for Monday.");
        const bool sent = SendBulletinByEmail(subject.get(), body.get(), &recipients);
        DestroyList(recipients);
        return picks && sent;
    });
}

TEST_F(CallTapeTest, AnInitializeOnAFreshWorldPlaysItsEntryPoints) {
    Uninitialize();
    ResetSimulatedWorld();
    AdminOrganisation();
    sim::StartTape();
    ASSERT_TRUE(Initialize());
    Uninitialize();
    sim::CallTape tape = sim::StopTape();
    ASSERT_EQ(tape.Incomplete(), "");
    const std::uint64_t calls = sim::Simulator::Instance().CallCount();

    ResetSimulatedWorld();
    sim::OrgBuilder builder;
    AdminOrganisation(builder);
    const sim::TapePlay play = sim::PlayTape(tape);
    EXPECT_EQ(play.diverged, 0u) << play.firstDivergence;
    EXPECT_EQ(sim::Simulator::Instance().CallCount(), calls);
    // The session and everything opened on it were released again.
    EXPECT_EQ(sim::Simulator::Instance().LiveObjects(), 0);
    EXPECT_EQ(sim::Simulator::Instance().MapiInitializeBalance(), 0);
}

TEST_F(CallTapeTest, ACallTheTapeCannotMakeAgainLeavesItIncompleteAndUnplayable) {
    AdminOrganisation();
    ASSERT_TRUE(Initialize());
    mapi::LPMAPISESSION session = nullptr;
    sim::StartTape();
    ASSERT_EQ(mapi::MAPIInitialize(nullptr), mapi::S_OK);
    ASSERT_EQ(mapi::MAPILogonEx(0, "TavrelManager", nullptr, 0, &session), mapi::S_OK);
    // Session::OpenEntry is one of the methods the simulation does not offer.
    mapi::LPUNKNOWN entry = nullptr;
    EXPECT_EQ(session->OpenEntry(0, nullptr, nullptr, 0, nullptr, &entry), mapi::MAPI_E_NO_SUPPORT);
    session->Release();
    mapi::MAPIUninitialize();
    const sim::CallTape tape = sim::StopTape();
    EXPECT_EQ(tape.Incomplete(), "IMAPISession::OpenEntry is not taped");
    const std::uint64_t before = sim::Simulator::Instance().CallCount();
    const sim::TapePlay play = sim::PlayTape(tape);
    EXPECT_EQ(play.calls, 0u);
    EXPECT_EQ(play.diverged, 1u);
    EXPECT_EQ(sim::Simulator::Instance().CallCount(), before);
}

TEST_F(CallTapeTest, AWorldBuiltOtherwiseShowsWhereThePlayDiverges) {
    AdminOrganisation();
    const std::uint32_t user = builder_.User(u"User 1", kUserDn)
                                   .HomeMdb(sim::OrgBuilder::HomeMdbOf(kServerDn))
                                   .Smtp(u"jdoe@example.com")
                                   .Index();
    ASSERT_TRUE(Initialize());
    sim::StartTape();
    ABItemList* list = nullptr;
    sim::Simulator::Instance().Org().addressDialogAnswers = {
        {sim::AddressDialogAnswer::Action::Pick, {user}, 0}};
    ASSERT_TRUE(GetABItemList(&list, 1));
    FreeABItemList(&list);
    const sim::CallTape tape = sim::StopTape();
    ASSERT_EQ(tape.Incomplete(), "");

    // The same organisation, but nobody is left to answer the address book's dialog.
    Uninitialize();
    ResetSimulatedWorld();
    sim::OrgBuilder builder;
    AdminOrganisation(builder);
    ASSERT_TRUE(Initialize());
    const sim::TapePlay play = sim::PlayTape(tape);
    EXPECT_GE(play.diverged, 1u);
    EXPECT_NE(play.firstDivergence.find("(IAddrBook::Address): "), std::string::npos)
        << play.firstDivergence;
}

}  // namespace
}  // namespace tav::testing

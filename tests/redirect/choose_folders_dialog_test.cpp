// The "Choose Folders" dialog driven by a scripted user: what it shows, what the clicks and keys
// toggle, the no-folders question, the settings it hands back and the markers it saves.
#include "redirect/choose_folders_dialog.h"

#include <algorithm>

#include "core/resource_text.h"
#include "redirect_fixture.h"

namespace tav::testing {
namespace {

namespace portable = platform::portable;
using Lines = std::vector<std::string>;
using Values = std::vector<std::int32_t>;

constexpr char16_t kRoot[] = u"Mailbox - John Doe";
const std::u16string kProjects = std::u16string(kRoot) + u"/Projects";
const std::u16string kSentItems = std::u16string(kRoot) + u"/Sent Items";
const std::u16string kInbox = std::u16string(kRoot) + u"/Inbox";

// RedirSelected, NumSelectedFolders, Time, SentActivationTime, RedirSentItems.
FolderRedirectionSettings Settings(const Values& v) {
    return {v[0] != 0, v[1], v[2], v[3], v[4] != 0};
}
Values ValuesOf(const FolderRedirectionSettings& s) {
    return {s.RedirSelected, s.NumSelectedFolders, s.Time, s.SentActivationTime, s.RedirSentItems};
}

int ImageOf(const portable::DialogView& view, std::u16string_view path) {
    const portable::TreeItemView* item = portable::FindTreeItem(view, path);
    return item ? item->image : -1;
}

class ChooseFolders : public RedirectTest {
  protected:
    void SetUp() override {
        RedirectTest::SetUp();
        RegisterMarkerNames();
        SynchFolder();
        User().Ipm().Folder(u"Projects");
        sim::FolderBuilder& customers = User().Inbox().Folder(u"Customers");
        customers.Folder(u"Small");
        customers.Folder(u"Big");
        User().Inbox().Folder(u"Archive");
    }

    struct Shown {
        bool ok = false;
        Values values;
        MarkerOutcome markers = MarkerOutcome::kUntouched;
        portable::DialogRecord record;
    };
    Shown Show(const Values& seed, const std::vector<portable::DialogAction>& actions) {
        for (const auto& action : actions) portable::QueueDialogAction(action);
        ChooseFoldersDialog dialog(kUserName, kUserDn, kServerDn);
        dialog.Seed(Settings(seed));
        Shown shown;
        shown.ok = dialog.ShowModal();
        shown.values = ValuesOf(dialog.Settings());
        shown.markers = dialog.Markers();
        EXPECT_FALSE(portable::ShownDialogs().empty());
        if (!portable::ShownDialogs().empty()) shown.record = portable::ShownDialogs().back();
        return shown;
    }
    static std::vector<bool> Enabled(const portable::DialogView& view) {
        std::vector<bool> enabled;
        for (int id : {1000, 1001, 1002, 1003, 1004, 1, 2}) {
            enabled.push_back(portable::FindControl(view, id)->enabled);
        }
        return enabled;
    }
    static std::vector<bool> Radios(const portable::DialogView& view) {
        return {portable::FindControl(view, 1001)->checked,
                portable::FindControl(view, 1002)->checked};
    }
    std::size_t MarkerWrites() {
        auto& simulator = sim::Simulator::Instance();
        return simulator.CallsTo("IMAPIFolder::CreateMessage").size() +
               simulator.CallsTo("IMAPIFolder::DeleteMessages").size();
    }
};

// A scripted action the dialog has no control for is recorded as refused, and a dialog whose
// script ran out is closed, which cancels it: nothing is written.
TEST_F(ChooseFolders, ActionsTheDialogCannotTakeAreRecordedAndAnEndedScriptCloses) {
    ASSERT_TRUE(Initialize());
    Shown shown = Show({1, 1, 1000, 500, 1}, {portable::ClickRadio(4242)});
    ASSERT_EQ(shown.record.steps.size(), 2u);
    EXPECT_EQ(shown.record.steps[0].outcome, "no such radio button");
    EXPECT_EQ(shown.record.steps[1].outcome, "no action left: closed");
    EXPECT_FALSE(shown.ok);
    EXPECT_EQ(shown.values, (Values{1, 1, 1000, 500, 1}));
    EXPECT_EQ(MarkerWrites(), 0u);
}

TEST_F(ChooseFolders, InboxOnlyShowsTheTreeDisabledWithTheInboxTicked) {
    ASSERT_TRUE(Initialize());
    Shown shown =
        Show({0, 4, 1000, 500, 1}, {portable::ClickItemImage(kProjects), portable::PressOk()});
    const portable::DialogView& view = shown.record.initial;
    EXPECT_FALSE(shown.record.initResult);
    EXPECT_EQ(DescribeTree(view),
              (Lines{"Mailbox - John Doe 0 + *", "  Inbox 2", "    Archive 1", "    Customers 1",
                     "      Big 1", "      Small 1", "  Projects 1", "  Sent Items 2"}));
    EXPECT_EQ(Radios(view), (std::vector<bool>{true, false}));
    EXPECT_EQ(Enabled(view), (std::vector<bool>{false, true, true, false, false, true, true}));
    EXPECT_EQ(portable::FindControl(view, 1006)->text,
              ResourceText::LoadString(kTextSentItemsNote));
    EXPECT_TRUE(view.imageList);
    EXPECT_EQ(view.window, (platform::Rect{443, 251, 837, 734}));  // centred in the work area
    ASSERT_EQ(shown.record.steps.size(), 2u);
    EXPECT_EQ(shown.record.steps[0].outcome, "the tree is disabled");

    EXPECT_TRUE(shown.ok);
    EXPECT_EQ(shown.values, (Values{0, 4, 1000, 500, 1}));
    EXPECT_EQ(MarkerWrites(), 0u);
}

TEST_F(ChooseFolders, SentItemsAloneNeedsNoQuestionAndActivatesNow) {
    ASSERT_TRUE(Initialize());
    Shown shown =
        Show({1, 3, 1000, 500, 0}, {portable::ClickItemImage(kSentItems), portable::PressOk()});
    EXPECT_EQ(Radios(shown.record.initial), (std::vector<bool>{false, true}));
    EXPECT_EQ(ImageOf(shown.record.initial, kSentItems), 1);
    EXPECT_EQ(ImageOf(shown.record.initial, kInbox), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(shown.ok);
    EXPECT_EQ(shown.values, (Values{1, 1, kClockSeconds, kClockSeconds, 1}));
    EXPECT_TRUE(Markers().empty());
}

TEST_F(ChooseFolders, NoKeepsTheDialogOpenAndYesSavesNoFolders) {
    AddMarker(User().Ipm().Folder(u"Projects"));
    ASSERT_TRUE(Initialize());
    portable::QueueMessageBoxAnswer(platform::kIdNo);
    portable::QueueMessageBoxAnswer(platform::kIdYes);
    Shown shown = Show({1, 1, 1000, 500, 0}, {portable::ClickItemImage(kProjects),
                                              portable::PressOk(), portable::PressOk()});
    ASSERT_EQ(shown.record.steps.size(), 3u);
    const portable::DialogStep& refused = shown.record.steps[1];
    ASSERT_EQ(refused.boxes.size(), 1u);
    EXPECT_EQ(refused.boxes[0].text, ResourceText::LoadString(kTextNoFoldersSelected));
    EXPECT_EQ(refused.boxes[0].caption, u"Warning");
    EXPECT_EQ(refused.boxes[0].flags, platform::kMbYesNo);
    EXPECT_EQ(refused.boxes[0].owner, shown.record.window);
    EXPECT_EQ(DescribeTree(refused.after), DescribeTree(shown.record.steps[0].after));
    EXPECT_EQ(ImageOf(refused.after, kProjects), 1);

    EXPECT_TRUE(shown.ok);
    EXPECT_EQ(shown.values, (Values{1, 0, kClockSeconds, 500, 0}));
    EXPECT_TRUE(Markers().empty());
}

TEST_F(ChooseFolders, ShiftAppliesTheNewStateToTheWholeSubtree) {
    const std::u16string customers = kInbox + u"/Customers";
    struct Case {
        bool shift;
        std::vector<int> images;  // Inbox, Archive, Customers, Big, Small
        std::int32_t selected;
    } cases[] = {
        {true, {2, 2, 2, 2, 2}, 5},
        {false, {2, 1, 1, 2, 1}, 2},
    };
    ASSERT_TRUE(Initialize());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shift ? "with SHIFT" : "without SHIFT");
        SynchFolder().Model().messages.clear();
        AddMarker(User().Inbox().Folder(u"Customers").Folder(u"Big"));
        Shown shown = Show({1, 1, 1000, 500, 0},
                           {portable::ClickItemImage(kInbox, c.shift), portable::PressOk()});
        const portable::DialogView& after = shown.record.steps[0].after;
        std::vector<int> images;
        for (const std::u16string& path : {kInbox, kInbox + u"/Archive", customers,
                                           customers + u"/Big", customers + u"/Small"}) {
            images.push_back(ImageOf(after, path));
        }
        EXPECT_EQ(images, c.images);
        EXPECT_EQ(shown.values[1], c.selected);
        EXPECT_EQ(Markers().size(), static_cast<std::size_t>(c.selected));
    }
}

TEST_F(ChooseFolders, ViewsLeftUnrecordedChangeNothingTheDialogDoes) {
    ASSERT_TRUE(Initialize());
    AddMarker(User().Inbox().Folder(u"Customers").Folder(u"Big"));
    portable::RecordDialogViews(false);
    Shown shown =
        Show({1, 1, 1000, 500, 0}, {portable::ClickItemImage(kInbox, true), portable::PressOk()});
    EXPECT_EQ(shown.values[1], 5);
    EXPECT_EQ(Markers().size(), 5u);
    ASSERT_EQ(shown.record.steps.size(), 2u);
    EXPECT_EQ(shown.record.steps[0].outcome, "done");
    EXPECT_TRUE(shown.record.initial.tree.empty());
    EXPECT_TRUE(shown.record.steps[0].after.tree.empty());

    portable::ResetDialogs();  // records views again
    shown = Show({1, 1, 1000, 500, 0}, {portable::PressOk()});
    EXPECT_FALSE(shown.record.initial.tree.empty());
}

TEST_F(ChooseFolders, LabelsSelectSpaceTogglesAndTheEnvelopeNeverToggles) {
    struct Case {
        portable::DialogAction action;
        int projects, root;
        std::u16string caret;
    } cases[] = {
        {portable::ClickItemLabel(kProjects), 1, 0, kProjects},
        {portable::PressSpace(), 2, 0, kProjects},
        {portable::PressSpace(), 1, 0, kProjects},
        {portable::ClickItemLabel(kRoot), 1, 0, kRoot},
        {portable::PressSpace(), 1, 0, kRoot},
        {portable::ClickItemImage(kRoot), 1, 0, kRoot},
        {portable::ClickItemImage(kProjects), 2, 0, kProjects},
    };
    ASSERT_TRUE(Initialize());
    std::vector<portable::DialogAction> actions;
    for (const Case& c : cases) actions.push_back(c.action);
    actions.push_back(portable::PressCancel());
    Shown shown = Show({1, 0, 1000, 500, 0}, actions);
    EXPECT_FALSE(shown.ok);
    ASSERT_EQ(shown.record.steps.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const portable::DialogView& after = shown.record.steps[i].after;
        EXPECT_EQ(ImageOf(after, kProjects), cases[i].projects);
        EXPECT_EQ(ImageOf(after, kRoot), cases[i].root);
        EXPECT_TRUE(portable::FindTreeItem(after, cases[i].caret)->caret);
    }
    EXPECT_EQ(MarkerWrites(), 0u);
}

// The scripted user finds the clicked row again after folders were expanded and collapsed: a
// click lands on the item named, also on one that became visible since the last click.
TEST_F(ChooseFolders, ClicksFollowTheRowsAfterAnExpandAndACollapse) {
    const std::u16string customers = kInbox + u"/Customers";
    ASSERT_TRUE(Initialize());
    Shown shown = Show({1, 0, 1000, 500, 0},
                       {portable::ClickItemImage(kInbox + u"/Archive"),
                        portable::ClickItemButton(customers),
                        portable::ClickItemImage(customers + u"/Big"),
                        portable::ClickItemButton(customers),
                        portable::ClickItemImage(customers + u"/Small"), portable::PressCancel()});
    ASSERT_EQ(shown.record.steps.size(), 6u);
    EXPECT_FALSE(portable::FindTreeItem(shown.record.steps[0].after, customers)->expanded);
    EXPECT_TRUE(portable::FindTreeItem(shown.record.steps[1].after, customers)->expanded);
    EXPECT_FALSE(portable::FindTreeItem(shown.record.steps[3].after, customers)->expanded);
    const portable::DialogView& last = shown.record.steps[4].after;
    std::vector<int> images;
    for (const std::u16string& path :
         {kInbox, kInbox + u"/Archive", customers, customers + u"/Big", customers + u"/Small"})
        images.push_back(ImageOf(last, path));
    EXPECT_EQ(images, (std::vector<int>{1, 2, 1, 2, 2}));
    EXPECT_TRUE(portable::FindTreeItem(last, customers)->expanded);
    EXPECT_TRUE(portable::FindTreeItem(last, customers + u"/Small")->caret);
}

TEST_F(ChooseFolders, SentActivationTimeIsSetWhenSentItemsBecomesRedirected) {
    struct Case {
        const char* name;
        Values seed;
        std::vector<portable::DialogAction> actions;
        Values result;
    } cases[] = {
        // The Inbox shows ticked while the Inbox alone is redirected, so it gets a marker.
        {"inbox only to selected folders",
         {0, 2, 1000, 500, 1},
         {portable::ClickRadio(1002)},
         {1, 2, kClockSeconds, kClockSeconds, 1}},
        {"sent items kept", {1, 1, 1000, 500, 1}, {}, {1, 1, kClockSeconds, 500, 1}},
        {"sent items ticked",
         {1, 0, 1000, 500, 0},
         {portable::ClickItemImage(kSentItems)},
         {1, 1, kClockSeconds, kClockSeconds, 1}},
        {"sent items unticked",
         {1, 1, 1000, 500, 1},
         {portable::ClickItemImage(kSentItems)},
         {1, 0, kClockSeconds, 500, 0}},
        {"back to inbox only",
         {1, 1, 1000, 500, 1},
         {portable::ClickRadio(1001)},
         {0, 1, 1000, 500, 1}},
        // Clicking the button that is checked already changes no mode.
        {"selected folders clicked again",
         {1, 1, 1000, 500, 1},
         {portable::ClickRadio(1002)},
         {1, 1, kClockSeconds, 500, 1}},
    };
    ASSERT_TRUE(Initialize());
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        SynchFolder().Model().messages.clear();
        c.actions.push_back(portable::PressOk());
        Shown shown = Show(c.seed, c.actions);
        EXPECT_TRUE(shown.ok);
        EXPECT_EQ(shown.values, c.result);
    }
}

TEST_F(ChooseFolders, WithoutTheMailboxTheDialogIsEmptyAndSavesNoMarkers) {
    User().AdminAccess(false);
    ASSERT_TRUE(Initialize());
    Shown inboxOnly = Show({0, 2, 1000, 500, 0}, {portable::PressOk()});
    const portable::DialogView& view = inboxOnly.record.initial;
    EXPECT_TRUE(inboxOnly.record.initResult);
    EXPECT_TRUE(view.tree.empty());
    EXPECT_EQ(Radios(view), (std::vector<bool>{false, false}));
    EXPECT_EQ(Enabled(view), std::vector<bool>(7, true));
    EXPECT_EQ(view.window, (platform::Rect{0, 0, 394, 483}));
    EXPECT_EQ(inboxOnly.values, (Values{0, 2, 1000, 500, 1}));

    EXPECT_EQ(inboxOnly.markers, MarkerOutcome::kUntouched);

    // The selected folders cannot be saved: the settings stay as they were given.
    Shown selected = Show({0, 2, 1000, 500, 1}, {portable::ClickRadio(1002), portable::PressOk()});
    ASSERT_EQ(selected.record.steps.size(), 2u);
    EXPECT_EQ(selected.record.steps[1].boxes.size(), 1u);  // nothing is ticked
    EXPECT_TRUE(selected.ok);
    EXPECT_EQ(selected.markers, MarkerOutcome::kNoFolderTree);
    EXPECT_EQ(selected.values, (Values{0, 2, 1000, 500, 1}));
    EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IMAPIFolder::CreateFolder").empty());
}

TEST_F(ChooseFolders, WithoutTheMailboxNodeTheMarkersStay) {
    AddMarker(User().Ipm().Folder(u"Projects"));
    ASSERT_TRUE(Initialize());
    sim::Fault fault;  // the fourth GetProps of the build reads the store's display name
    fault.method = "IMsgStore::GetProps";
    fault.result = mapi::MAPI_E_NO_ACCESS;
    fault.nth = 4;
    fault.object = "store:" + sim::ToUtf8(kUserDn);
    sim::Simulator::Instance().AddFault(fault);
    Shown shown = Show({1, 1, 1000, 500, 1}, {portable::PressOk()});
    EXPECT_TRUE(shown.record.initial.tree.empty());
    EXPECT_EQ(Radios(shown.record.initial), (std::vector<bool>{false, true}));
    EXPECT_EQ(shown.markers, MarkerOutcome::kNoFolderTree);
    EXPECT_EQ(shown.values, (Values{1, 1, 1000, 500, 1}));
    EXPECT_EQ(Markers().size(), 1u);
}

// The Inbox has no source key, so it cannot be selected and its subfolders stand beside the
// mailbox item: their ticks are saved like any other.
TEST_F(ChooseFolders, TopLevelItemsAfterTheMailboxAreSavedToo) {
    User().Inbox().NoSourceKey();
    AddMarker(User().Inbox().Folder(u"Archive"));
    ASSERT_TRUE(Initialize());
    Shown shown =
        Show({1, 1, 1000, 500, 0}, {portable::ClickItemImage(u"Customers"),
                                    portable::ClickItemImage(u"Archive"), portable::PressOk()});
    EXPECT_EQ(DescribeTree(shown.record.initial),
              (Lines{"Mailbox - John Doe 0 + *", "  Projects 1", "  Sent Items 1", "Customers 1",
                     "  Big 1", "  Small 1", "Archive 2"}));
    EXPECT_EQ(shown.markers, MarkerOutcome::kSaved);
    EXPECT_EQ(shown.values, (Values{1, 1, kClockSeconds, 500, 0}));
    std::vector<Marker> markers = Markers();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].key, User().Inbox().Folder(u"Customers").SourceKey());
}

// Two thousand folders under one parent, a tenth of them marked: the tree shows them sorted
// with the marked ones ticked, and OK keeps exactly those markers.
TEST_F(ChooseFolders, ThousandsOfSiblingsKeepTheirMarkers) {
    constexpr int kFolders = 2000;
    sim::FolderBuilder& many = User().Ipm().Folder(u"Many");
    for (int i = kFolders; i > 0; --i) {
        sim::FolderBuilder& folder = many.Folder(sim::FromUtf8("F" + std::to_string(100000 + i)));
        if (i % 10 == 0) AddMarker(folder);
    }
    ASSERT_TRUE(Initialize());
    Shown shown =
        Show({1, 0, 1000, 500, 0},
             {portable::ClickItemImage(kRoot + std::u16string(u"/Many")), portable::PressOk()});
    const portable::DialogView& view = shown.record.initial;
    std::vector<std::string> names;
    int ticked = 0;
    for (const auto& item : view.tree) {
        if (item.depth != 2) continue;
        if (item.text.rfind(u"F1", 0) != 0) continue;
        names.push_back(sim::ToUtf8(item.text));
        if (item.image == kImageChecked) ++ticked;
    }
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kFolders));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(ticked, kFolders / 10);
    EXPECT_EQ(shown.markers, MarkerOutcome::kSaved);
    EXPECT_EQ(shown.values[1], kFolders / 10 + 1);  // and Many itself
    EXPECT_EQ(Markers().size(), static_cast<std::size_t>(kFolders / 10 + 1));
    EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IMAPIFolder::DeleteMessages").empty());
}

TEST_F(ChooseFolders, TheDialogIsCentredOverAVisibleOwnerInsideTheWorkArea) {
    const platform::Rect work{0, 0, 1280, 984};
    struct Case {
        platform::Rect centre, placed;
    } placements[] = {
        {{100, 100, 500, 400}, {103, 9, 497, 492}},
        {{0, 0, 200, 200}, {0, 0, 394, 483}},
        {{1100, 800, 1280, 984}, {886, 501, 1280, 984}},
    };
    for (const Case& c : placements) {
        EXPECT_EQ(platform::CentreInWorkArea({0, 0, 394, 483}, c.centre, work), c.placed);
    }

    ASSERT_TRUE(Initialize());
    auto* owner = reinterpret_cast<platform::WindowHandle>(0x1234);
    for (bool minimised : {false, true}) {
        SCOPED_TRACE(minimised ? "minimised owner" : "visible owner");
        portable::SetActiveWindow(
            portable::WindowSetup{owner, {100, 100, 500, 400}, true, minimised});
        Shown shown = Show({0, 0, 0, 0, 1}, {portable::PressCancel()});
        EXPECT_EQ(shown.record.owner, owner);
        platform::Rect expected =
            minimised ? platform::Rect{443, 251, 837, 734} : platform::Rect{103, 9, 497, 492};
        EXPECT_EQ(shown.record.initial.window, expected);
    }
}

}  // namespace
}  // namespace tav::testing

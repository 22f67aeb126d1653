// EditFolderRedirectionSettings end to end: settings read, the dialog scripted, settings and
// markers written, and the boxes and caller's values on each way out.
#include <algorithm>

#include "core/exports.h"
#include "core/resource_text.h"
#include "redirect_fixture.h"
#include "sim/org_json.h"
#include "usercfg/folder_redirection_properties.h"

namespace tav::testing {
namespace {

namespace portable = platform::portable;
using Values = std::vector<std::int32_t>;

constexpr mapi::ULONG kTags[] = {kRedirSelectedTag, kNumSelectedFoldersTag, kRedirTimeTag,
                                 kSentActivationTimeTag, kRedirSentItemsTag};
const std::u16string kRoot = u"Mailbox - John Doe";

sim::FileTime AsFileTime(std::int32_t seconds) {
    mapi::FILETIME ft = UnixTimeToFileTime(seconds);
    return {(std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime};
}

class EditFolderRedirection : public RedirectTest {
  protected:
    void SetUp() override {
        RedirectTest::SetUp();
        RegisterMarkerNames();
        User().Ipm().Folder(u"Projects");
        config_ = &User().Folder(u"TavrelHandheldInfo").Message(u"KVO.Tavrel.Handheld.Config");
        SynchFolder();
    }
    // RedirSelected, NumSelectedFolders, Time, SentActivationTime, RedirSentItems.
    void Store(const Values& v) {
        for (int i = 0; i < 5; ++i) {
            if (mapi::PROP_TYPE(kTags[i]) == mapi::PT_SYSTIME) {
                config_->Prop(kTags[i], AsFileTime(v[i]));
            } else {
                config_->Prop(kTags[i], v[i]);
            }
        }
    }
    Values Stored() {
        Values v;
        for (mapi::ULONG tag : kTags) {
            const sim::PropValue* value = sim::FindProp(config_->Model().props, tag);
            if (!value) {
                v.push_back(-1);
            } else if (const auto* ft = std::get_if<sim::FileTime>(value)) {
                v.push_back(
                    static_cast<std::int32_t>((ft->value - 116444736000000000ULL) / 10000000));
            } else {
                v.push_back(std::get<std::int32_t>(*value));
            }
        }
        return v;
    }
    struct Result {
        bool done;
        Values values;
    };
    Result Edit(const Values& in, const std::vector<portable::DialogAction>& actions) {
        for (const auto& action : actions) portable::QueueDialogAction(action);
        WideArg name(kUserName), user(kUserDn), server(kServerDn);
        bool selected = in[0], sentItems = in[4];
        std::int32_t count = in[1], time = in[2], activation = in[3];
        bool done = EditFolderRedirectionSettings(name, user, server, &selected, &count, &time,
                                                  &activation, &sentItems);
        return {done, {selected, count, time, activation, sentItems}};
    }
    std::string ConfigLabel() const { return "message:" + std::to_string(config_->Id()); }

    sim::MessageBuilder* config_ = nullptr;
};

TEST_F(EditFolderRedirection, AUserWithoutConfigurationIsToldAndNoDialogShows) {
    FindChild(UserModel().root.get(), u"TavrelHandheldInfo")->messages.clear();
    ASSERT_TRUE(Initialize());
    Result result = Edit({1, 2, 3, 4, 0}, {});
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.values, (Values{1, 2, 3, 4, 0}));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, ResourceText::LoadString(kTextRedirectionReadFailed));
    EXPECT_EQ(Boxes()[0].caption, u"Warning");
    EXPECT_EQ(Boxes()[0].flags, 0x30u);
    EXPECT_EQ(Boxes()[0].owner, nullptr);
    EXPECT_TRUE(portable::ShownDialogs().empty());
}

TEST_F(EditFolderRedirection, CancelLeavesMailboxAndSettingsAsTheyWere) {
    Store({1, 1, 1000, 500, 0});
    AddMarker(User().Ipm().Folder(u"Projects"), 77);
    ASSERT_TRUE(Initialize());
    std::string before = sim::DumpMailbox(UserModel()).dump();
    Result result = Edit({0, 9, 9, 9, 1}, {portable::ClickItemImage(kRoot + u"/Projects"),
                                           portable::ClickItemImage(kRoot + u"/Inbox", true),
                                           portable::ClickRadio(1001), portable::ClickRadio(1002),
                                           portable::PressCancel()});
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.values, (Values{1, 1, 1000, 500, 0}));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(sim::DumpMailbox(UserModel()).dump(), before);
}

// A dialog whose window cannot be made is a dialog that failed: false, nothing shown, the values
// as read from the message, and the mailbox unchanged.
TEST_F(EditFolderRedirection, ADialogThatCannotOpenChangesNothing) {
    Store({1, 1, 1000, 500, 0});
    AddMarker(User().Ipm().Folder(u"Projects"), 77);
    ASSERT_TRUE(Initialize());
    std::string before = sim::DumpMailbox(UserModel()).dump();
    portable::SetDialogCreationFails(true);
    Result result = Edit({0, 9, 9, 9, 1}, {portable::PressOk()});
    portable::SetDialogCreationFails(false);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.values, (Values{1, 1, 1000, 500, 0}));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(CallsOn("IMessage::SetProps", ConfigLabel()).empty());
    EXPECT_EQ(sim::DumpMailbox(UserModel()).dump(), before);
}

TEST_F(EditFolderRedirection, OkWithUnchangedSettingsWritesAndSavesThemAgain) {
    Store({0, 3, 1000, 500, 1});
    ASSERT_TRUE(Initialize());
    Result result = Edit({0, 0, 0, 0, 0}, {portable::PressOk()});
    EXPECT_TRUE(result.done);
    EXPECT_EQ(result.values, (Values{0, 3, 1000, 500, 1}));
    EXPECT_EQ(Stored(), (Values{0, 3, 1000, 500, 1}));
    EXPECT_EQ(CallsOn("IMessage::SetProps", ConfigLabel()).size(), 1u);
    EXPECT_EQ(CallsOn("IMessage::SaveChanges", ConfigLabel()).size(), 1u);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(EditFolderRedirection, MissingPropertiesShowTheCallersValuesButSentItemsRedirected) {
    ASSERT_TRUE(Initialize());
    Result result = Edit({1, 3, 100, 50, 0}, {portable::PressCancel()});
    ASSERT_EQ(portable::ShownDialogs().size(), 1u);
    const portable::DialogView& view = portable::ShownDialogs()[0].initial;
    EXPECT_TRUE(portable::FindControl(view, 1002)->checked);
    EXPECT_EQ(portable::FindTreeItem(view, kRoot + u"/Sent Items")->image, 2);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.values, (Values{1, 3, 100, 50, 1}));
}

TEST_F(EditFolderRedirection, AFailedWriteIsToldAndLeavesTheMarkersChanged) {
    Store({1, 1, 1000, 500, 0});
    AddMarker(User().Ipm().Folder(u"Projects"));
    ASSERT_TRUE(Initialize());
    sim::Fault fault;
    fault.method = "IMessage::SaveChanges";
    fault.result = mapi::MAPI_E_NO_ACCESS;
    fault.object = ConfigLabel();
    sim::Simulator::Instance().AddFault(fault);
    Result result =
        Edit({0, 0, 0, 0, 0}, {portable::ClickItemImage(kRoot + u"/Inbox"), portable::PressOk()});
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.values, (Values{1, 2, kClockSeconds, 500, 0}));
    EXPECT_EQ(Stored(), (Values{1, 1, 1000, 500, 0}));
    EXPECT_EQ(Markers().size(), 2u);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, ResourceText::LoadString(kTextRedirectionUpdateFailed));
    EXPECT_EQ(Boxes()[0].flags, 0x30u);
}

// OK in the selected-folders mode whose markers cannot be saved is a failed update: the box, a
// line saying why, and stored settings that describe the markers the mailbox really holds.
TEST_F(EditFolderRedirection, MarkersThatCannotBeSavedAreAFailedUpdate) {
    struct Case {
        const char* name;
        const char* method;
        std::string line;
        Values stored;  // and handed back
        std::size_t markers;
    } cases[] = {
        // The prune stops at once: Projects' marker stays and Inbox gets none.
        {"delete refused",
         "IMAPIFolder::DeleteMessages",
         "3:[ExchangeAdaptorDLL::EditFolderRedirectionSettings] Failed to save the folder markers "
         "for user=" +
             sim::ToUtf8(kUserDn) + ": DeleteMessages failed, result=0x80070005.",
         {1, 1, kClockSeconds, 500, 0},
         1},
        // Nothing is saved and the settings are not rewritten.
        {"names not resolved",
         "IMAPIFolder::GetIDsFromNames",
         "3:[ExchangeAdaptorDLL::EditFolderRedirectionSettings] Failed to resolve the folder "
         "marker properties for user=" +
             sim::ToUtf8(kUserDn) + ", result=0x80070005; no folder marker was saved.",
         {1, 1, 1000, 500, 0},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store({1, 1, 1000, 500, 0});
        SynchFolder().Model().messages.clear();
        AddMarker(User().Ipm().Folder(u"Projects"));
        ASSERT_TRUE(Initialize());
        portable::ResetMessageBoxes();
        Fail(c.method, mapi::MAPI_E_NO_ACCESS);
        Result result = Edit({0, 0, 0, 0, 0},
                             {portable::ClickItemImage(kRoot + u"/Projects"),
                              portable::ClickItemImage(kRoot + u"/Inbox"), portable::PressOk()});
        sim::Simulator::Instance().ClearFaults();
        EXPECT_FALSE(result.done);
        EXPECT_EQ(result.values, c.stored);
        EXPECT_EQ(Stored(), c.stored);
        EXPECT_EQ(Markers().size(), c.markers);
        std::vector<std::string> log = LogUtf8();
        EXPECT_EQ(std::count(log.begin(), log.end(), c.line), 1);
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].text, ResourceText::LoadString(kTextRedirectionUpdateFailed));
        Uninitialize();
    }
}

// The root folder cannot be opened, neither to read the markers while the tree is built (the
// tree is then the mailbox alone) nor again to save them: nothing is saved or rewritten, and the
// failing call is named.
TEST_F(EditFolderRedirection, AMarkerFolderThatCannotBeOpenedIsAFailedUpdate) {
    Store({1, 1, 1000, 500, 0});
    AddMarker(User().Ipm().Folder(u"Projects"));
    ASSERT_TRUE(Initialize());
    // The store's fifth and sixth OpenEntry calls of the edit: the root folder of the marker
    // folders, for the tree and then for the save.
    Fail("IMsgStore::OpenEntry", mapi::MAPI_E_NO_ACCESS, 5);
    Fail("IMsgStore::OpenEntry", mapi::MAPI_E_NO_ACCESS, 6);
    Result result = Edit({0, 0, 0, 0, 0}, {portable::PressOk()});
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.values, (Values{1, 1, 1000, 500, 0}));
    EXPECT_EQ(Stored(), (Values{1, 1, 1000, 500, 0}));
    EXPECT_EQ(Markers().size(), 1u);
    std::vector<std::string> log = LogUtf8();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "3:[ExchangeAdaptorDLL::EditFolderRedirectionSettings] Failed to save the "
                         "folder markers for user=" + sim::ToUtf8(kUserDn) +
                             ": OpenEntry failed, result=0x80070005."),
              1);
    // The tree shows no folder ticked: "No folders are selected" (answered Yes), then the failure.
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].text, ResourceText::LoadString(kTextRedirectionUpdateFailed));
}

// The dialog cannot open the mailbox the settings were read from: choosing selected folders
// there saves nothing and is told.
TEST_F(EditFolderRedirection, SelectedFoldersWithoutTheMailboxAreAFailedUpdate) {
    Store({0, 2, 1000, 500, 1});
    AddMarker(User().Ipm().Folder(u"Projects"));
    ASSERT_TRUE(Initialize());
    Fail("IMAPISession::OpenMsgStore", mapi::MAPI_E_NO_ACCESS, 2);  // the dialog's open
    portable::QueueMessageBoxAnswer(platform::kIdYes);               // "No folders are selected"
    Result result = Edit({0, 0, 0, 0, 0}, {portable::ClickRadio(1002), portable::PressOk()});
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.values, (Values{0, 2, 1000, 500, 1}));
    EXPECT_EQ(Stored(), (Values{0, 2, 1000, 500, 1}));
    EXPECT_EQ(Markers().size(), 1u);
    std::vector<std::string> log = LogUtf8();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "3:[ExchangeAdaptorDLL::EditFolderRedirectionSettings] Failed to read the "
                         "folders of user=" + sim::ToUtf8(kUserDn) +
                             "; no folder marker was saved."),
              1);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].text, ResourceText::LoadString(kTextRedirectionUpdateFailed));
}

TEST_F(EditFolderRedirection, SwitchingToSelectedFoldersStoresMarkersAndSettings) {
    Store({0, 0, 1000, 500, 1});
    ASSERT_TRUE(Initialize());
    Result result = Edit({0, 0, 0, 0, 0},
                         {portable::ClickRadio(1002), portable::ClickItemImage(kRoot + u"/Inbox"),
                          portable::ClickItemImage(kRoot + u"/Projects"), portable::PressOk()});
    EXPECT_TRUE(result.done);
    const Values expected{1, 2, kClockSeconds, kClockSeconds, 1};
    EXPECT_EQ(result.values, expected);
    EXPECT_EQ(Stored(), expected);
    std::vector<Marker> markers = Markers();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].key, User().Ipm().Folder(u"Projects").SourceKey());
    std::vector<std::string> log = LogUtf8();
    const std::string update =
        "4:[ExchangeAdaptorDLL::UpdateFolderRedirectionProperties] UserDN=" + sim::ToUtf8(kUserDn) +
        ", ServerDN=" + sim::ToUtf8(kServerDn) +
        ", NumSelectedFolders=2, Time=1655526400, SentActivationTime=1655526400, RedirSentItems=1";
    EXPECT_EQ(std::count(log.begin(), log.end(), update), 1);
}

}  // namespace
}  // namespace tav::testing

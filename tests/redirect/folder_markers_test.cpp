// The marker messages in "TavrelHandheldInfo/TavrelSynch": the folders made on first use, which
// messages count as markers, and what a save keeps, deletes and writes.
#include <ostream>

#include "redirect_fixture.h"

namespace tav::testing {
namespace {

class FolderMarkers : public RedirectTest {
  protected:
    void SetUp() override {
        RedirectTest::SetUp();
        User().Ipm().Folder(u"Projects");
        User().Ipm().Folder(u"Customers");
    }
    sim::Bytes Key(std::u16string_view name) {
        return User().Ipm().Folder(std::u16string(name)).SourceKey();
    }
    static void Check(FolderNode* root, std::u16string_view name, bool checked) {
        FolderNode* node = FindNode(root, name);
        ASSERT_NE(node, nullptr);
        node->checked = checked ? kFolderChecked : 0;
    }
    // Ticks Sent Items and Projects and saves: one marker, for Projects; Sent Items selected.
    void SaveSentItemsAndProjects() {
        BuiltModel built;
        Check(built.root, u"Sent Items", true);
        Check(built.root, u"Projects", true);
        std::int32_t count = 0;
        EXPECT_TRUE(built.model->SaveMarkers(count));
        EXPECT_EQ(count, 2);
        EXPECT_TRUE(built.model->SentItemsSelected());
        std::vector<Marker> markers = Markers();
        ASSERT_EQ(markers.size(), 1u);
        EXPECT_EQ(markers[0].key, Key(u"Projects"));
    }
};

TEST_F(FolderMarkers, MissingMarkerFoldersAreCreatedAndEmpty) {
    ASSERT_TRUE(Initialize());
    {
        BuiltModel built;
        for (const auto& line : Describe(built.root)) EXPECT_EQ(line.find(" x"), std::string::npos);
    }
    sim::Folder* info = FindChild(UserModel().root.get(), u"TavrelHandheldInfo");
    ASSERT_NE(info, nullptr);
    sim::Folder* synch = FindChild(info, u"TavrelSynch");
    ASSERT_NE(synch, nullptr);
    EXPECT_TRUE(synch->messages.empty());
    EXPECT_TRUE(info->messages.empty());
    auto created = sim::Simulator::Instance().CallsTo("IMAPIFolder::CreateFolder");
    ASSERT_EQ(created.size(), 2u);
    for (const auto& call : created) EXPECT_EQ(call.args.at("flags"), "0x80000001");
}

TEST_F(FolderMarkers, OnlyMarkersAreReadButEveryOtherMessageGoesOnSave) {
    RegisterMarkerNames();
    AddMarker(User().Ipm().Folder(u"Projects"), 111, u"kvo.tavrel.SYNCH");
    AddMarker(User().Ipm().Folder(u"Projects"), 222);  // a duplicate
    AddMarker(User().Ipm().Folder(u"Customers"), 333, u"IPM.Note");
    SynchFolder().Message(u"KVO.Tavrel.Synch");  // no folder named
    ASSERT_TRUE(Initialize());
    BuiltModel built;
    sim::Bytes projects = Key(u"Projects");
    EntryBlob projectsKey(projects.data(), static_cast<mapi::ULONG>(projects.size()));
    EXPECT_EQ(built.model->MarkerKeys(), std::vector<EntryBlob>(2, projectsKey));
    EXPECT_EQ(FindNode(built.root, u"Projects")->checked, kFolderChecked);
    EXPECT_EQ(FindNode(built.root, u"Customers")->checked, 0u);

    std::int32_t count = -1;
    EXPECT_TRUE(built.model->SaveMarkers(count));
    EXPECT_EQ(count, 1);
    std::vector<Marker> left = Markers();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].time, 111u);  // the first one stays
}

// Sent Items and Projects ticked: Sent Items counts but never has a marker.
TEST_F(FolderMarkers, SentItemsIsCountedButNeverGetsAMarker) {
    RegisterMarkerNames();
    ASSERT_TRUE(Initialize());
    SaveSentItemsAndProjects();
}

// A marker some other writer left for Sent Items goes, and the ticked Sent Items still reaches
// RedirSentItems instead of being lost behind the kept marker.
TEST_F(FolderMarkers, AStrayMarkerForSentItemsIsRemoved) {
    RegisterMarkerNames();
    AddMarker(User().SentItems());
    ASSERT_TRUE(Initialize());
    SaveSentItemsAndProjects();
}

TEST_F(FolderMarkers, KeptMarkersKeepTheirTimeAndNewOnesGetTheClock) {
    RegisterMarkerNames();
    AddMarker(User().Ipm().Folder(u"Projects"), 5);
    ASSERT_TRUE(Initialize());
    std::int32_t count = 0;
    {
        BuiltModel built;
        Check(built.root, u"Projects", false);
        Check(built.root, u"Customers", true);
        EXPECT_TRUE(built.model->SaveMarkers(count));
    }
    EXPECT_EQ(count, 1);
    std::vector<Marker> markers = Markers();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].messageClass, u"KVO.Tavrel.Synch");
    EXPECT_EQ(markers[0].key, Key(u"Customers"));
    EXPECT_EQ(markers[0].time, kClockTime);

    platform::portable::FixSystemTime(kClockTime + 600'000'000);  // a minute later
    {
        BuiltModel built;
        Check(built.root, u"Projects", true);
        EXPECT_TRUE(built.model->SaveMarkers(count));
    }
    EXPECT_EQ(count, 2);
    markers = Markers();
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].key, Key(u"Customers"));
    EXPECT_EQ(markers[0].time, kClockTime);
    EXPECT_EQ(markers[1].key, Key(u"Projects"));
    EXPECT_EQ(markers[1].time, kClockTime + 600'000'000);
}

TEST_F(FolderMarkers, NothingSelectedEmptiesTheMarkerFolder) {
    RegisterMarkerNames();
    AddMarker(User().Ipm().Folder(u"Projects"));
    AddMarker(User().Inbox());
    SynchFolder().Message(u"IPM.Note");
    ASSERT_TRUE(Initialize());
    BuiltModel built(/*inboxDefaultChecked=*/false, /*sentItemsSelected=*/true);
    for (const char16_t* name : {u"Projects", u"Inbox", u"Sent Items"})
        Check(built.root, name, false);
    std::int32_t count = -1;
    EXPECT_TRUE(built.model->SaveMarkers(count));
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(built.model->SentItemsSelected());
    EXPECT_TRUE(Markers().empty());
}

// A save that fails part way says which call failed, and its count still tells what the folder
// holds: Projects' marker is to go, Customers' to come, Sent Items is ticked.
struct SaveFailure {
    const char* method;
    const char16_t* call;
    std::vector<const char16_t*> left;  // the folders whose markers remain
    bool counted;
};

void PrintTo(const SaveFailure& c, std::ostream* os) {
    *os << c.method;
}

class FolderMarkerSaveFailure : public FolderMarkers,
                                public ::testing::WithParamInterface<SaveFailure> {};

TEST_P(FolderMarkerSaveFailure, NamesTheCallAndCountsWhatIsStored) {
    const SaveFailure& c = GetParam();
    RegisterMarkerNames();
    AddMarker(User().Ipm().Folder(u"Projects"));
    ASSERT_TRUE(Initialize());
    BuiltModel built;
    Check(built.root, u"Projects", false);
    Check(built.root, u"Customers", true);
    Check(built.root, u"Sent Items", true);
    Fail(c.method, mapi::MAPI_E_NO_ACCESS);  // after the build's own calls
    std::int32_t count = -1;
    EXPECT_FALSE(built.model->SaveMarkers(count));
    const MarkerSaveReport& report = built.model->LastSave();
    EXPECT_FALSE(report.saved);
    EXPECT_EQ(report.counted, c.counted);
    ASSERT_NE(report.failedCall, nullptr);
    EXPECT_EQ(std::u16string_view(report.failedCall), c.call);
    EXPECT_EQ(report.result, mapi::MAPI_E_NO_ACCESS);
    EXPECT_TRUE(built.model->SentItemsSelected());
    std::vector<Marker> markers = Markers();
    ASSERT_EQ(markers.size(), c.left.size());
    for (std::size_t i = 0; i < markers.size(); ++i) EXPECT_EQ(markers[i].key, Key(c.left[i]));
    EXPECT_EQ(count, c.counted ? static_cast<std::int32_t>(c.left.size()) + 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FolderMarkerSaveFailure,
    ::testing::Values(
        SaveFailure{"IMAPIFolder::DeleteMessages", u"DeleteMessages", {u"Projects"}, true},
        SaveFailure{"IMAPITable::QueryRows", u"QueryRows", {u"Projects"}, true},
        SaveFailure{"IMAPIFolder::CreateMessage", u"CreateMessage", {}, true},
        SaveFailure{"IMessage::SetProps", u"SetProps", {}, true},
        SaveFailure{"IMessage::SaveChanges", u"SaveChanges", {}, true},
        SaveFailure{"IMAPITable::GetRowCount", u"GetRowCount", {u"Customers"}, false}),
    [](const auto& info) { return std::to_string(info.index); });

// A build that stopped part way (Alpha cannot be opened) shows the folders read before the stop.
// Only their markers may go: those of the folders never read stay, and so does a message that
// names no folder; Sent Items, never reached, keeps the selection it was given.
TEST_F(FolderMarkers, AfterAPartialBuildOnlyMarkersOfFoldersInTheTreeGo) {
    RegisterMarkerNames();
    sim::FolderBuilder& projects = User().Inbox().Folder(u"Reports");
    sim::FolderBuilder& aardvark = projects.Folder(u"Aardvark");
    sim::FolderBuilder& alpha = projects.Folder(u"Alpha");
    sim::FolderBuilder& hidden = alpha.NoAccess().Folder(u"Hidden");
    sim::FolderBuilder& beta = projects.Folder(u"Beta");
    AddMarker(aardvark);
    AddMarker(hidden);
    AddMarker(beta);
    AddMarker(User().Ipm().Folder(u"Projects"));
    SynchFolder().Message(u"IPM.Note");
    ASSERT_TRUE(Initialize());
    BuiltModel built(/*inboxDefaultChecked=*/false, /*sentItemsSelected=*/true);
    EXPECT_FALSE(built.model->TreeComplete());
    EXPECT_FALSE(built.model->SentItemsInTree());
    ASSERT_EQ(FindNode(built.root, u"Beta"), nullptr);
    Check(built.root, u"Aardvark", false);
    Check(built.root, u"Alpha", true);
    std::int32_t count = -1;
    EXPECT_TRUE(built.model->SaveMarkers(count));
    EXPECT_TRUE(built.model->SentItemsSelected());
    std::vector<sim::Bytes> keys;
    for (const Marker& marker : Markers()) keys.push_back(marker.key);
    EXPECT_EQ(keys,
              (std::vector<sim::Bytes>{
                  hidden.SourceKey(), beta.SourceKey(), Key(u"Projects"), {}, alpha.SourceKey()}));
    EXPECT_EQ(count, 6);
}

// Without the marker tags no marker is recognised or written: the tree shows none ticked and
// a save touches nothing.
class FolderMarkersUnresolved : public FolderMarkers {
  protected:
    void BuildAndSave(mapi::HRESULT tagsResult) {
        std::size_t before = Markers().size();
        BuiltModel built;
        EXPECT_FALSE(built.model->MarkerTagsResolved());
        EXPECT_EQ(built.model->MarkerTagsResult(), tagsResult);
        ASSERT_NE(FindNode(built.root, u"Projects"), nullptr);
        for (const auto& line : Describe(built.root)) EXPECT_EQ(line.find(" x"), std::string::npos);
        Check(built.root, u"Customers", true);
        std::int32_t count = -1;
        EXPECT_FALSE(built.model->SaveMarkers(count));
        EXPECT_EQ(count, 0);
        EXPECT_FALSE(built.model->LastSave().counted);
        EXPECT_EQ(Markers().size(), before);
        EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IMAPIFolder::DeleteMessages").empty());
        EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IMAPIFolder::CreateMessage").empty());
    }
};

TEST_F(FolderMarkersUnresolved, WhenGetIDsFromNamesFails) {
    RegisterMarkerNames();
    AddMarker(User().Ipm().Folder(u"Projects"));
    ASSERT_TRUE(Initialize());
    Fail("IMAPIFolder::GetIDsFromNames", mapi::MAPI_E_NO_ACCESS);
    BuildAndSave(mapi::MAPI_E_NO_ACCESS);
}

// The store cannot give the names ids: its name map has no id left.
TEST_F(FolderMarkersUnresolved, WhenTheNameMapIsFull) {
    sim::NamedProperty last;
    last.guid = GuidBytes(mapi::PS_PUBLIC_STRINGS);
    last.name = u"Last";
    last.propertyId = 0xFFFE;
    UserModel().namedProperties.push_back(last);
    SynchFolder().Message(u"KVO.Tavrel.Synch");
    ASSERT_TRUE(Initialize());
    BuildAndSave(mapi::MAPI_W_ERRORS_RETURNED);
}

}  // namespace
}  // namespace tav::testing

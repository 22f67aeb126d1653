// The folder tree of a mailbox: which folders appear, their flags and selection, which are not
// descended, the batched hierarchy walk, its failures, the root label and the records' lifetime.
#include <algorithm>

#include "redirect_fixture.h"

namespace tav::testing {
namespace {

using Lines = std::vector<std::string>;

class FolderTree : public RedirectTest {};

TEST_F(FolderTree, TopLevelExampleKeepsMailFoldersAndStopsBelowSentAndDeletedItems) {
    User().Ipm().Folder(u"Projects", u"IPF.Note");
    User().Inbox().Folder(u"Customers", u"IPF.Note");
    User().SentItems().Folder(u"Sent Archive", u"IPF.Note");
    User().DeletedItems().Folder(u"Old", u"IPF.Note");
    ASSERT_TRUE(Initialize());
    {
        BuiltModel built;
        EXPECT_EQ(Describe(built.root),
                  (Lines{"Mailbox - John Doe 80", "  Deleted Items 80", "  Inbox 01",
                         "    Customers 00", "  Sent Items 04", "  Projects 00"}));
        EXPECT_TRUE(built.root->key.Empty());
        EXPECT_FALSE(FindNode(built.root, u"Inbox")->key.Empty());
    }
    // One table per folder read, restricted to depth 1, in batch mode, 1024 rows at a time.
    std::vector<std::string> read;
    for (const auto& call : sim::Simulator::Instance().CallsTo("IMAPIFolder::GetHierarchyTable")) {
        read.push_back(call.object);
        EXPECT_EQ(call.args.at("flags"), "0x00000000");
    }
    EXPECT_EQ(read, (Lines{"folder:Top of Information Store", "folder:Inbox"}));
    auto restricts = CallsOn("IMAPITable::Restrict", "hierarchy:Inbox");
    ASSERT_EQ(restricts.size(), 1u);
    EXPECT_EQ(restricts[0].args.at("restriction"), "PROPERTY(EQ,0x30050003,1)");
    EXPECT_EQ(restricts[0].args.at("flags"), "0x00000002");
    auto columns = CallsOn("IMAPITable::SetColumns", "hierarchy:Inbox");
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(columns[0].args.at("flags"), "0x00000002");
    auto queries = CallsOn("IMAPITable::QueryRows", "hierarchy:Inbox");
    ASSERT_EQ(queries.size(), 2u);  // one batch, then the empty one
    EXPECT_EQ(queries[0].args.at("rows"), "1024");
}

TEST_F(FolderTree, OnlyMailFoldersAndFoldersWithoutClassAreListed) {
    User().Inbox().Folder(u"People", u"IPF.Contact").Folder(u"Friends", u"IPF.Note");
    User().Inbox().Folder(u"Plain");
    User().Inbox().Folder(u"Longer", u"IPF.Note.Archive");
    User().Inbox().Folder(u"Shouting", u"ipf.NOTE");
    ASSERT_TRUE(Initialize());
    BuiltModel built;
    FolderNode* inbox = FindNode(built.root, u"Inbox");
    ASSERT_NE(inbox, nullptr);
    EXPECT_EQ(Describe(inbox), (Lines{"Inbox 01", "  Plain 00", "  Shouting 00"}));
    EXPECT_TRUE(CallsOn("IMAPIFolder::GetHierarchyTable", "folder:People").empty());
}

TEST_F(FolderTree, OnlyTheFirstFourNonEmptyAdditionalSpecialFoldersAreLeftOut) {
    std::uint64_t ids[5];
    const char16_t* names[] = {u"Conflicts", u"Local Failures", u"Server Failures", u"Junk",
                               u"Fifth"};
    for (int i = 0; i < 5; ++i) ids[i] = User().Ipm().Folder(names[i], u"IPF.Note").Id();
    // Values 0-3 are Conflicts, an empty one, Local Failures and Server Failures.
    User().AdditionalSpecial(ids[0]).AdditionalSpecial(0).AdditionalSpecial(ids[1]);
    User().AdditionalSpecial(ids[2]).AdditionalSpecial(ids[3]).AdditionalSpecial(ids[4]);
    ASSERT_TRUE(Initialize());
    BuiltModel built;
    for (const char16_t* name : {u"Conflicts", u"Local Failures", u"Server Failures"}) {
        EXPECT_EQ(FindNode(built.root, name), nullptr) << sim::ToUtf8(name);
    }
    ASSERT_NE(FindNode(built.root, u"Junk"), nullptr);
    EXPECT_EQ(FindNode(built.root, u"Junk")->flags, 0u);
    EXPECT_EQ(FindNode(built.root, u"Fifth")->flags, 0u);
}

TEST_F(FolderTree, FoldersWithoutSourceKeyAreNeverSelectedButStillDescended) {
    RegisterMarkerNames();
    User().Inbox().NoSourceKey().Folder(u"Customers", u"IPF.Note");
    User().Ipm().Folder(u"Loose", u"IPF.Note").NoSourceKey().Folder(u"Inside", u"IPF.Note");
    AddMarker(User().Inbox().Folder(u"Customers"));
    ASSERT_TRUE(Initialize());
    BuiltModel built(/*inboxDefaultChecked=*/true);
    EXPECT_EQ(Describe(built.root),
              (Lines{"Mailbox - John Doe 80", "  Deleted Items 80", "  Inbox 80",
                     "    Customers 00 x", "  Sent Items 04", "  Loose 80", "    Inside 00"}));
}

TEST_F(FolderTree, InboxAndSentItemsFollowTheSettingsAsWellAsTheMarkers) {
    RegisterMarkerNames();
    struct Case {
        const char* name;
        bool inboxDefault, sentSelected, inboxMarker, sentMarker;
        bool inboxChecked, sentChecked;
    } cases[] = {
        {"nothing", false, false, false, false, false, false},
        {"inbox by default", true, false, false, false, true, false},
        {"inbox by marker", false, false, true, false, true, false},
        {"sent items selected", false, true, false, false, false, true},
        {"a sent items marker counts for nothing", false, false, false, true, false, false},
    };
    SynchFolder();
    ASSERT_TRUE(Initialize());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<sim::Message>& markers = SynchFolder().Model().messages;
        markers.clear();
        if (c.inboxMarker) AddMarker(User().Inbox());
        if (c.sentMarker) AddMarker(User().SentItems());
        BuiltModel built(c.inboxDefault, c.sentSelected);
        EXPECT_EQ(FindNode(built.root, u"Inbox")->checked, c.inboxChecked ? 1u : 0u);
        EXPECT_EQ(FindNode(built.root, u"Sent Items")->checked, c.sentChecked ? 1u : 0u);
    }
}

TEST_F(FolderTree, MoreThan1024SubfoldersAreReadInBatchesInTableOrder) {
    std::vector<std::u16string> names;
    for (int i = 1030; i > 0; --i) {
        names.push_back(sim::FromUtf8("F" + std::to_string(i)));
        User().Inbox().Folder(names.back());
    }
    ASSERT_TRUE(Initialize());
    BuiltModel built;
    FolderNode* inbox = FindNode(built.root, u"Inbox");
    ASSERT_EQ(inbox->children.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(inbox->children[i]->name, names[i]);
    EXPECT_EQ(CallsOn("IMAPITable::QueryRows", "hierarchy:Inbox").size(), 3u);
}

TEST_F(FolderTree, AFailureThreeLevelsDownKeepsWhatWasReadBeforeIt) {
    sim::FolderBuilder& projects = User().Inbox().Folder(u"Projects");
    projects.Folder(u"Aardvark");
    projects.Folder(u"Alpha").NoAccess().Folder(u"Hidden");
    projects.Folder(u"Beta");
    User().Inbox().Folder(u"Zulu");
    ASSERT_TRUE(Initialize());
    BuiltModel built;
    EXPECT_EQ(Describe(built.root),
              (Lines{"Mailbox - John Doe 80", "  Deleted Items 80", "  Inbox 01", "    Projects 00",
                     "      Aardvark 00", "      Alpha 00"}));
}

TEST_F(FolderTree, TheMailboxNodeIsNamedByTheStoreOrElseByTheUser) {
    const std::u16string longName(300, u'x');
    // A surrogate pair that the cut at 255 units would split.
    const std::u16string splitPair = std::u16string(244, u'y') + u"\U0001F600";
    struct Case {
        const char* name;
        std::u16string store, user;
        std::uint16_t language;
        std::u16string label;
    } cases[] = {
        {"store name", u"Postfach Johann", u"John Doe", 1033, u"Postfach Johann"},
        {"user name", u"", u"John Doe", 1033, u"Mailbox - John Doe"},
        {"neither", u"", u"", 1033, u"Mailbox"},
        {"long user name", u"", longName, 1033, u"Mailbox - " + longName.substr(0, 245)},
        {"no half pair", u"", splitPair, 1033, u"Mailbox - " + splitPair.substr(0, 244)},
    };
    ASSERT_TRUE(Initialize());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UserModel().storeDisplayName = c.store;
        BuiltModel built(false, false, c.user);
        ASSERT_NE(built.root, nullptr);
        EXPECT_EQ(built.root->name, c.label);
        EXPECT_EQ(built.root->flags, kFolderNotSelectable);
    }
}

TEST_F(FolderTree, NoMailboxNodeWhenTheStoreRefusesItsName) {
    ASSERT_TRUE(Initialize());
    // The fourth GetProps of the build is the display name's.
    sim::Fault fault;
    fault.method = "IMsgStore::GetProps";
    fault.result = mapi::MAPI_E_NO_ACCESS;
    fault.nth = 4;
    fault.object = "store:" + sim::ToUtf8(kUserDn);
    sim::Simulator::Instance().AddFault(fault);
    BuiltModel built;
    EXPECT_EQ(built.root, nullptr);
    EXPECT_EQ(built.model->Root(), nullptr);
}

TEST_F(FolderTree, MarkerNamesAreRegisteredAsTheirAsciiBytesReadAsUtf16) {
    ASSERT_TRUE(Initialize());
    BuiltModel built;
    const auto& names = UserModel().namedProperties;
    ASSERT_EQ(names.size(), 3u);
    const std::u16string* expected[] = {&kSynchStateUnits, &kSynchEntryIdUnits, &kSelectTimeUnits};
    const mapi::ULONG types[] = {mapi::PT_BINARY, mapi::PT_BINARY, mapi::PT_SYSTIME};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(names[i].guid, GuidBytes(mapi::PS_PUBLIC_STRINGS));
        EXPECT_TRUE(names[i].isString);
        EXPECT_EQ(names[i].name, *expected[i]);
        EXPECT_EQ(built.model->MarkerTags()[i], mapi::PROP_TAG(types[i], names[i].propertyId));
    }
    EXPECT_EQ(names[0].name.size(), 9u);
    EXPECT_EQ(names[0].name[0], 0x5250);
    auto resolved = sim::Simulator::Instance().CallsTo("IMAPIFolder::GetIDsFromNames");
    ASSERT_EQ(resolved.size(), 1u);
    EXPECT_EQ(resolved[0].args.at("flags"), "0x00000002");
}

TEST_F(FolderTree, AFailedFirstLevelLeavesTheMailboxNodeAlone) {
    ASSERT_TRUE(Initialize());
    Fail("IMAPIFolder::GetContentsTable", mapi::MAPI_E_CALL_FAILED);  // reading the markers
    BuiltModel built(true, true);
    EXPECT_EQ(Describe(built.root), (Lines{"Mailbox - John Doe 80"}));
}

// Without its IPM subtree's id the store gives no top folder: the store's root (with the
// configuration folders and the subtree itself) is not offered in its place.
TEST_F(FolderTree, WithoutTheIpmSubtreeIdTheMailboxNodeStandsAlone) {
    struct Case {
        const char* name;
        bool idMissing;  // else the store refuses its first GetProps
    } cases[] = {{"id missing", true}, {"GetProps refused", false}};
    ASSERT_TRUE(Initialize());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint64_t subtree = UserModel().special.ipmSubtree;
        if (c.idMissing) {
            UserModel().special.ipmSubtree = 0;
        } else {
            Fail("IMsgStore::GetProps", mapi::MAPI_E_NO_ACCESS, 1);
        }
        BuiltModel built;
        EXPECT_EQ(Describe(built.root), (Lines{"Mailbox - John Doe 80"}));
        EXPECT_FALSE(built.model->TreeComplete());
        EXPECT_FALSE(built.model->SentItemsInTree());
        EXPECT_TRUE(CallsOn("IMAPIFolder::GetHierarchyTable", "folder:").empty());
        UserModel().special.ipmSubtree = subtree;
        sim::Simulator::Instance().ClearFaults();
    }
}

TEST_F(FolderTree, TheModelReleasesEachFolderItOpenedOnceWhenDestroyed) {
    ASSERT_TRUE(Initialize());
    auto& simulator = sim::Simulator::Instance();
    int before = simulator.LiveObjects();
    std::size_t calls = simulator.Calls().size();
    {
        FolderTreeModel unbuilt(kUserName);
        EXPECT_EQ(unbuilt.Root(), nullptr);
    }
    EXPECT_EQ(simulator.Calls().size(), calls);
    {
        BuiltModel built;
        std::vector<std::string> alive = simulator.LiveObjectLabels();
        for (const char* held : {"folder:", "folder:TavrelHandheldInfo", "folder:TavrelSynch",
                                 "folder:Top of Information Store"}) {
            EXPECT_EQ(std::count(alive.begin(), alive.end(), held), 1) << held;
        }
    }
    EXPECT_EQ(simulator.LiveObjects(), before);
    EXPECT_EQ(simulator.DoubleReleases(), 0);
}

}  // namespace
}  // namespace tav::testing

// GetABItem, FreeABItem, GetABItemList and FreeABItemList against the simulated address book: the
// dialog as MAPI receives it, what the picked entries turn into, distribution lists, entries that
// cannot be read, appending, and the refusals with their log lines and warning boxes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "addrbook/ab_item.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using sim::AddressDialogAnswer;
using testing::LibraryTest;

constexpr char16_t kOtherServerDn[] =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EXCH02";
const std::u16string kRecipients = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=";
const std::string kAddressBookBox =
    "Unable to display the MAPI Address Book dialog. Please review the log for details.";

AddressDialogAnswer Pick(std::vector<std::uint32_t> picks) {
    return {AddressDialogAnswer::Action::Pick, std::move(picks), 0};
}
AddressDialogAnswer Cancel() {
    return {AddressDialogAnswer::Action::Cancel, {}, 0};
}
AddressDialogAnswer Failure(std::int32_t result) {
    return {AddressDialogAnswer::Action::Fail, {}, result};
}

std::string Line(const std::string& operation, const std::string& message) {
    return "4:[ExchangeAdaptorDLL::" + operation + "] " + message;
}

// The six strings of a record: Name, Reserved, DisplayName, HomeMDB, MailboxDN, SMTPAddress.
std::vector<std::string> Members(const ABItem& item) {
    std::vector<std::string> members;
    for (const WideStringSlot* slot : {&item.Name, &item.Reserved, &item.DisplayName, &item.HomeMDB,
                                       &item.MailboxDN, &item.SMTPAddress})
        members.push_back(sim::ToUtf8(SlotText(*slot)));
    return members;
}

std::vector<std::vector<std::string>> Records(const ABItemList& list) {
    std::vector<std::vector<std::string>> records;
    for (const ABItem* item = list.first; item != list.last; ++item)
        records.push_back(Members(*item));
    return records;
}

const std::vector<std::string> kEmptyRecord(6, "");

class Selection : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        AdminOrganisation();
        builder_.Server(kOtherServerDn, u"EXCH02");
        auto& jdoeBox = builder_.Mailbox(kRecipients + u"jdoe", testing::kServerDn);
        jdoe_ = builder_.User(u"John Doe", jdoeBox)
                    .Proxies({u"X400:c=US;a= ;p=Example;o=Exchange;s=Doe;g=John;",
                              u"smtp:john.doe@example.org", u"SMTP:jdoe@example.com"})
                    .Index();
        auto& annBox = builder_.Mailbox(kRecipients + u"alee", kOtherServerDn);
        ann_ = builder_.User(u"Ann Lee", annBox).Smtp(u"ann@example.com").Index();
        // Neither home database nor proxy addresses.
        nohome_ = builder_.User(u"No Home", kRecipients + u"nohome").Index();
        staff_ = builder_.DistList(u"All Staff", kRecipients + u"allstaff")
                     .Members({jdoe_, ann_})
                     .Index();
        ASSERT_TRUE(Initialize());
        sim::Simulator::Instance().ClearRecords();
    }

    static void Script(std::vector<AddressDialogAnswer> answers) {
        sim::Simulator::Instance().Org().addressDialogAnswers = std::move(answers);
    }

    const std::string jdoeDn = sim::ToUtf8(kRecipients + u"jdoe");
    const std::string annDn = sim::ToUtf8(kRecipients + u"alee");
    const std::string nohomeDn = sim::ToUtf8(kRecipients + u"nohome");
    const std::string staffDn = sim::ToUtf8(kRecipients + u"allstaff");
    const std::string homeMdb = sim::ToUtf8(sim::OrgBuilder::HomeMdbOf(testing::kServerDn));
    const std::string otherHomeMdb = sim::ToUtf8(sim::OrgBuilder::HomeMdbOf(kOtherServerDn));
    const std::vector<std::string> jdoeRecord{"",      "",     "John Doe",
                                              homeMdb, jdoeDn, "john.doe@example.org"};
    const std::vector<std::string> annRecord{"",           "",    "Ann Lee",
                                             otherHomeMdb, annDn, "ann@example.com"};
    std::uint32_t jdoe_ = 0, ann_ = 0, nohome_ = 0, staff_ = 0;
};

// Both selections show the same dialog, single selection without wells and list selection with
// one; no parent window, 8-bit texts, nothing else set.
TEST_F(Selection, DialogParametersAsTheAddressBookReceivesThem) {
    struct Case {
        const char* name;
        std::function<void()> call;
        std::uint32_t flags;
        std::uint32_t destFields;
    };
    ABItem* item = nullptr;
    ABItemList* list = nullptr;
    const std::vector<Case> cases{
        {"GetABItem", [&] { EXPECT_TRUE(GetABItem(&item)); }, 0x39, 0},
        {"GetABItemList", [&] { EXPECT_TRUE(GetABItemList(&list, 1)); }, 0x31, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Simulator::Instance().ClearRecords();
        Script({Pick({jdoe_})});
        c.call();
        const auto& dialogs = sim::Simulator::Instance().AddressDialogs();
        ASSERT_EQ(dialogs.size(), 1u);
        const sim::AddressDialogRecord& d = dialogs[0];
        EXPECT_EQ(d.flags, c.flags);
        EXPECT_EQ(d.caption, "Select Mailbox");
        EXPECT_EQ(d.destTitles, std::vector<std::string>{"Select"});
        EXPECT_EQ(d.destFields, c.destFields);
        EXPECT_EQ(d.destFieldFocus, 0u);
        EXPECT_FALSE(d.hasContainer || d.hasHelpFile || d.hasDismiss || d.hasDestComps ||
                     d.hasRestrictions || d.hasNewEntryTitle || d.hasDestWellsTitle);
        EXPECT_EQ(d.windowValue, 0u);
        auto calls = sim::Simulator::Instance().CallsTo("IAddrBook::Address");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].args["uiParam"], "0x00000000");  // a parameter that holds 0, not null

        // The picked entry is opened as IMAPIProp and read with the three tags in order; its
        // SMTP address comes from PrepareRecips with the four tags in order.
        auto opens = sim::Simulator::Instance().CallsTo("IAddrBook::OpenEntry");
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].args["iid"], "{00020303-0000-0000-C000-000000000046}");
        EXPECT_EQ(opens[0].args["flags"], "0x00000000");
        auto prepares = sim::Simulator::Instance().CallsTo("IAddrBook::PrepareRecips");
        ASSERT_EQ(prepares.size(), 1u);
        EXPECT_EQ(prepares[0].args["flags"], "0x00000000");
        EXPECT_EQ(prepares[0].args["tags"], "0x3002001f,0x3003001f,0x3a40000b,0x800f101f");
        auto reads = sim::Simulator::Instance().CallsTo("IMailUser::GetProps");
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].args["tags"], "0x3001001f,0x8006001f,0x3003001f");
        EXPECT_EQ(reads[0].args["flags"], "0x00000000");
        EXPECT_EQ(LogUtf8(), std::vector<std::string>{
                                 Line(c.name, "Recipient selected MailboxDN=" + jdoeDn + ".")});
        EXPECT_TRUE(Boxes().empty());
    }
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(Members(*item), jdoeRecord);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Records(*list),
              (std::vector<std::vector<std::string>>{
                  {"John Doe", "", "John Doe", homeMdb, jdoeDn, "john.doe@example.org"}}));
    EXPECT_TRUE(FreeABItem(&item));
    EXPECT_EQ(item, nullptr);
    EXPECT_TRUE(FreeABItemList(&list));
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(Log().empty());
}

// The rows of the failure tables that hand nothing over, for both selections alike.
TEST_F(Selection, RefusedSelectionsHandNothingOver) {
    struct Situation {
        const char* name;
        std::vector<AddressDialogAnswer> script;
        bool nullArgument;
        std::string message;
        bool box;
    };
    const std::vector<Situation> situations{
        {"null argument", {}, true, "Bad parameters.", false},
        {"dialog fails",
         {Failure(mapi::MAPI_E_NOT_FOUND)},
         false,
         "Failed to display Address Book dialog, result=0x8004010f.",
         true},
        {"cancel", {Cancel()}, false, "No recipients selected.", false},
        {"nobody answers the dialog", {}, false, "No recipients selected.", false},
        {"OK with nothing picked", {Pick({})}, false, "No recipients selected.", false},
    };
    for (const char* operation : {"GetABItem", "GetABItemList"}) {
        for (const Situation& s : situations) {
            SCOPED_TRACE(std::string(operation) + ": " + s.name);
            platform::portable::ResetMessageBoxes();
            Script(s.script);
            bool result = true;
            ABItem* item = nullptr;
            ABItemList* list = nullptr;
            if (std::string(operation) == "GetABItem")
                result = GetABItem(s.nullArgument ? nullptr : &item);
            else
                result = GetABItemList(s.nullArgument ? nullptr : &list, 1);
            EXPECT_FALSE(result);
            EXPECT_EQ(item, nullptr);
            EXPECT_EQ(list, nullptr);
            EXPECT_EQ(LogUtf8(), std::vector<std::string>{Line(operation, s.message)});
            EXPECT_EQ(BoxTexts(), s.box ? std::vector<std::string>{kAddressBookBox}
                                        : std::vector<std::string>{});
            if (s.box) {
                EXPECT_EQ(Boxes()[0].caption, u"Warning");
                EXPECT_EQ(Boxes()[0].flags, 0x30u);
                EXPECT_EQ(Boxes()[0].owner, nullptr);
            }
        }
    }
}

TEST_F(Selection, WithoutAddressBookNoDialogIsShown) {
    Uninitialize();
    sim::Simulator::Instance().ClearRecords();
    Script({Pick({jdoe_})});
    ABItem* item = nullptr;
    ABItemList* list = nullptr;
    EXPECT_FALSE(GetABItem(&item));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{Line(
                             "GetABItem",
                             "Cannot display Address Book dialog, no valid AB object available.")});
    EXPECT_FALSE(GetABItemList(&list, 0));
    EXPECT_EQ(LogUtf8(),
              std::vector<std::string>{Line("GetABItemList",
                                            "Cannot display Address Book dialog, no valid "
                                            "AB object available.")});
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kAddressBookBox, kAddressBookBox}));
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(sim::Simulator::Instance().AddressDialogs().empty());
}

TEST_F(Selection, GetABItemRefusesDistributionLists) {
    Script({Pick({staff_, staff_})});
    ABItem* item = nullptr;
    EXPECT_FALSE(GetABItem(&item));
    EXPECT_EQ(item, nullptr);
    const std::string line = Line("GetABItem", "Cannot select Distribution List.");
    EXPECT_EQ(LogUtf8(), (std::vector<std::string>{line, line}));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IAddrBook::OpenEntry").empty());
}

// Every selectable entry is read into the one record; a member whose property the later entry
// lacks keeps the earlier entry's value, the SMTP address is always the later entry's.
TEST_F(Selection, GetABItemLastEntryWinsMemberByMember) {
    Script({Pick({jdoe_, staff_, nohome_})});
    ABItem* item = nullptr;
    ASSERT_TRUE(GetABItem(&item));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(Members(*item), (std::vector<std::string>{"", "", "No Home", homeMdb, nohomeDn, ""}));
    EXPECT_EQ(LogUtf8(),
              (std::vector<std::string>{
                  Line("GetABItem", "Recipient selected MailboxDN=" + jdoeDn + "."),
                  Line("GetABItem", "Cannot select Distribution List."),
                  Line("GetABItem", "HrGWResolveProxy failed; no SMTP address available."),
                  Line("GetABItem", "Recipient selected MailboxDN=" + nohomeDn + "."),
              }));
    EXPECT_TRUE(FreeABItem(&item));
}

// A record that exists already is filled in place; the call did not create it, so it answers
// false.
TEST_F(Selection, GetABItemFillsAnExistingRecordWithoutClaimingIt) {
    Script({Pick({jdoe_}), Pick({ann_}), Cancel()});
    ABItem* item = nullptr;
    ASSERT_TRUE(GetABItem(&item));
    ABItem* first = item;
    EXPECT_FALSE(GetABItem(&item));
    EXPECT_EQ(item, first);
    EXPECT_EQ(Members(*item), annRecord);
    EXPECT_FALSE(GetABItem(&item));
    EXPECT_EQ(item, first);
    EXPECT_EQ(Members(*item), annRecord);
    EXPECT_TRUE(FreeABItem(&item));
}

// Entries that cannot be opened or read: single selection keeps what it had (the empty record it
// made when it had nothing), list selection puts an all-empty record in the entry's place. A
// failed SMTP lookup loses only the address.
TEST_F(Selection, EntriesThatCannotBeRead) {
    struct Case {
        const char* method;
        std::int32_t result;
        std::vector<std::string> lines;  // of Ann Lee's entry, after the operation name
        bool smtpOnly;
    };
    const std::vector<Case> cases{
        {"IAddrBook::OpenEntry",
         mapi::MAPI_E_NO_ACCESS,
         {"OpenEntry failed, result=0x80070005."},
         false},
        {"IMailUser::GetProps",
         mapi::MAPI_E_CALL_FAILED,
         {"GetProps failed, result=0x80004005."},
         false},
        {"IAddrBook::PrepareRecips",
         mapi::MAPI_E_NOT_ENOUGH_MEMORY,
         {"HrGWResolveProxy failed; no SMTP address available.",
          "Recipient selected MailboxDN=" + annDn + "."},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        auto failForAnn = [&] {
            sim::Simulator::Instance().ClearFaults();
            sim::Fault fault;
            fault.method = c.method;
            fault.result = c.result;
            // GetProps by the object's label; the address book's methods by call order.
            if (std::string(c.method) == "IMailUser::GetProps")
                fault.object = "mailuser:Ann Lee";
            else
                fault.nth = 2;
            sim::Simulator::Instance().AddFault(fault);
        };
        std::vector<std::string> annAlone = kEmptyRecord;
        if (c.smtpOnly) {
            annAlone = annRecord;
            annAlone[5] = "";
        }
        auto linesOf = [&](const std::string& operation, std::vector<std::string> before,
                           std::vector<std::string> after) {
            std::vector<std::string> lines;
            for (const auto& line : before) lines.push_back(Line(operation, line));
            for (const auto& line : c.lines) lines.push_back(Line(operation, line));
            for (const auto& line : after) lines.push_back(Line(operation, line));
            return lines;
        };

        // Single selection of John Doe, then Ann Lee.
        failForAnn();
        Script({Pick({jdoe_, ann_})});
        ABItem* item = nullptr;
        ASSERT_TRUE(GetABItem(&item));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(Members(*item), c.smtpOnly ? annAlone : jdoeRecord);
        EXPECT_EQ(LogUtf8(),
                  linesOf("GetABItem", {"Recipient selected MailboxDN=" + jdoeDn + "."}, {}));
        EXPECT_TRUE(FreeABItem(&item));

        // Single selection of Ann Lee alone (her entry is the second one looked up again).
        failForAnn();
        Script({Pick({jdoe_}), Pick({ann_})});
        ASSERT_TRUE(GetABItem(&item));
        EXPECT_TRUE(FreeABItem(&item));
        ASSERT_TRUE(GetABItem(&item));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(Members(*item), annAlone);
        EXPECT_TRUE(FreeABItem(&item));

        // List selection of John Doe, Ann Lee and No Home.
        failForAnn();
        Script({Pick({jdoe_, ann_, nohome_})});
        ABItemList* list = nullptr;
        ASSERT_TRUE(GetABItemList(&list, 1));
        ASSERT_NE(list, nullptr);
        std::vector<std::string> jdoeInList = jdoeRecord, annInList = annAlone;
        jdoeInList[0] = "John Doe";
        if (c.smtpOnly) annInList[0] = "Ann Lee";
        EXPECT_EQ(Records(*list), (std::vector<std::vector<std::string>>{
                                      jdoeInList,
                                      annInList,
                                      {"No Home", "", "No Home", "", nohomeDn, ""},
                                  }));
        EXPECT_EQ(LogUtf8(),
                  linesOf("GetABItemList", {"Recipient selected MailboxDN=" + jdoeDn + "."},
                          {"HrGWResolveProxy failed; no SMTP address available.",
                           "Recipient selected MailboxDN=" + nohomeDn + "."}));
        EXPECT_TRUE(FreeABItemList(&list));
    }
    EXPECT_TRUE(Boxes().empty());
}

// What a dialog can hand back short of a full entry: an entry with no values (a recipient taken
// out of the well) is skipped; one without PR_ENTRYID gives an empty record; an entry that
// PrepareRecips leaves as it was given has no SMTP address, and the rest is read.
TEST_F(Selection, EntriesTheDialogHandsBackIncomplete) {
    sim::Organisation& org = sim::Simulator::Instance().Org();
    org.FindEntry(ann_)->dialogEntryId = false;
    org.FindEntry(jdoe_)->preparesRecipients = false;
    const std::uint32_t removed = AddressDialogAnswer::kRemovedPick;

    Script({Pick({removed, ann_, jdoe_})});
    ABItemList* list = nullptr;
    ASSERT_TRUE(GetABItemList(&list, 1));
    ASSERT_NE(list, nullptr);
    std::vector<std::string> jdoeUnprepared = jdoeRecord;
    jdoeUnprepared[0] = "John Doe";
    jdoeUnprepared[5] = "";
    EXPECT_EQ(Records(*list), (std::vector<std::vector<std::string>>{kEmptyRecord, jdoeUnprepared}));
    EXPECT_EQ(LogUtf8(), (std::vector<std::string>{
                             Line("GetABItemList", "HrGWResolveProxy failed; no SMTP address available."),
                             Line("GetABItemList", "Recipient selected MailboxDN=" + jdoeDn + "."),
                         }));
    EXPECT_TRUE(FreeABItemList(&list));

    // Single selection: the entry without an id still gives the caller a record, an empty one;
    // a list of removed entries alone gives none.
    Script({Pick({removed, ann_}), Pick({removed})});
    ABItem* item = nullptr;
    ASSERT_TRUE(GetABItem(&item));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(Members(*item), kEmptyRecord);
    EXPECT_TRUE(LogUtf8().empty());
    EXPECT_TRUE(FreeABItem(&item));
    EXPECT_FALSE(GetABItem(&item));
    EXPECT_EQ(item, nullptr);
    EXPECT_TRUE(Boxes().empty());
}

// Any non-zero value excludes distribution lists; zero reads a list as one ordinary record
// without expanding its members.
TEST_F(Selection, ListSelectionWithAndWithoutDistributionLists) {
    struct Case {
        std::uint32_t exclude;
        bool listIncluded;
    };
    for (const Case& c : {Case{0, true}, Case{1, false}, Case{0x80000000u, false}}) {
        SCOPED_TRACE(c.exclude);
        Script({Pick({jdoe_, staff_, ann_})});
        ABItemList* list = nullptr;
        ASSERT_TRUE(GetABItemList(&list, c.exclude));
        ASSERT_NE(list, nullptr);
        std::vector<std::vector<std::string>> records{
            {"John Doe", "", "John Doe", homeMdb, jdoeDn, "john.doe@example.org"}};
        std::vector<std::string> lines{
            Line("GetABItemList", "Recipient selected MailboxDN=" + jdoeDn + ".")};
        if (c.listIncluded) {
            records.push_back({"All Staff", "", "All Staff", "", staffDn, ""});
            lines.push_back(
                Line("GetABItemList", "HrGWResolveProxy failed; no SMTP address available."));
            lines.push_back(Line("GetABItemList", "Recipient selected MailboxDN=" + staffDn + "."));
        } else {
            lines.push_back(Line("GetABItemList",
                                 "Cannot add Distribution List as a user to the Tavrel Server."));
        }
        records.push_back({"Ann Lee", "", "Ann Lee", otherHomeMdb, annDn, "ann@example.com"});
        lines.push_back(Line("GetABItemList", "Recipient selected MailboxDN=" + annDn + "."));
        EXPECT_EQ(Records(*list), records);
        EXPECT_EQ(LogUtf8(), lines);
        EXPECT_TRUE(FreeABItemList(&list));
    }
}

TEST_F(Selection, OnlyDistributionListsExcludedGiveAnEmptyListToFree) {
    Script({Pick({staff_})});
    ABItemList* list = nullptr;
    EXPECT_FALSE(GetABItemList(&list, 1));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->first, nullptr);
    EXPECT_EQ(list->last, nullptr);
    EXPECT_EQ(list->end, nullptr);
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{
                             Line("GetABItemList",
                                  "Cannot add Distribution List as a user to the Tavrel Server.")});
    EXPECT_TRUE(FreeABItemList(&list));
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(Log().empty());
}

// A list handed back in is appended to: the old records first, untouched; a call that adds
// nothing leaves it as it was.
TEST_F(Selection, LaterCallsAppendToAnExistingList) {
    Script({Pick({jdoe_}), Pick({ann_, staff_, nohome_}), Cancel(), Pick({staff_})});
    ABItemList* list = nullptr;
    ASSERT_TRUE(GetABItemList(&list, 1));
    ABItemList* made = list;
    ASSERT_TRUE(GetABItemList(&list, 1));
    EXPECT_EQ(list, made);
    const std::vector<std::vector<std::string>> three{
        {"John Doe", "", "John Doe", homeMdb, jdoeDn, "john.doe@example.org"},
        {"Ann Lee", "", "Ann Lee", otherHomeMdb, annDn, "ann@example.com"},
        {"No Home", "", "No Home", "", nohomeDn, ""},
    };
    EXPECT_EQ(Records(*list), three);
    EXPECT_FALSE(GetABItemList(&list, 1));  // cancelled
    EXPECT_EQ(list, made);
    EXPECT_EQ(Records(*list), three);
    EXPECT_FALSE(GetABItemList(&list, 1));  // a distribution list only
    EXPECT_EQ(Records(*list), three);
    EXPECT_TRUE(FreeABItemList(&list));
}

// Every MAPI allocation during a selection failing in turn: whatever the call answers, the
// address list, entries and property buffers are all given back.
TEST_F(Selection, AllocationFailuresLeaveNothingBehind) {
    auto& simulator = sim::Simulator::Instance();
    const int objects = simulator.LiveObjects();
    const std::size_t buffers = mapi::portable::GetBufferStats().liveBuffers;
    auto allocations = [] { return mapi::portable::GetBufferStats().TotalAllocations(); };
    auto complete = [&](const ABItemList& list) {
        return Records(list).size() == 2 && Members(list.first[1])[5] != "";
    };
    // A run without failures, to learn how many allocations there are to fail.
    Script({Pick({jdoe_, ann_})});
    ABItemList* list = nullptr;
    const std::size_t before = allocations();
    ASSERT_TRUE(GetABItemList(&list, 1));
    const std::size_t made = allocations() - before;
    ASSERT_TRUE(complete(*list));
    EXPECT_TRUE(FreeABItemList(&list));
    int incomplete = 0;
    for (std::size_t succeeding = 0; succeeding < made; ++succeeding) {
        SCOPED_TRACE(succeeding);
        Script({Pick({jdoe_, ann_})});
        mapi::portable::InjectAllocationFailures(succeeding);
        const bool result = GetABItemList(&list, 1);
        mapi::portable::ClearAllocationFailures();
        if (!result || !list || !complete(*list)) ++incomplete;
        if (list) {
            EXPECT_TRUE(FreeABItemList(&list));
        }
        EXPECT_EQ(simulator.LiveObjects(), objects);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers);
    }
    // The dialog's list and its two rows, and each entry's own lookups, failed once at least.
    EXPECT_GT(incomplete, 5);
}

TEST_F(Selection, FreeExportsRefuseWhatTheyCannotFree) {
    ABItem* item = nullptr;
    ABItemList* list = nullptr;
    EXPECT_FALSE(FreeABItem(nullptr));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{Line("FreeABItem", "Bad parameters.")});
    EXPECT_TRUE(FreeABItem(&item));  // nothing to free is no error
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(item, nullptr);
    EXPECT_FALSE(FreeABItemList(nullptr));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{Line("FreeABItemList", "Bad parameters.")});
    EXPECT_FALSE(FreeABItemList(&list));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{Line("FreeABItemList", "Bad parameters.")});
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace tav

// SendBulletinByEmail against the simulated default store: the message composed in the receive
// folder, its blind-copy recipients, body and subject, submission and the sent copy in Sent
// Items; every step that can stop the send, with its log lines, the one warning box after the
// clean-up and nothing left in the mailbox; and the three message routines on their own.
#include "bulletin/send_bulletin.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/adaptor_session.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::LibraryTest;
using testing::WideArg;
namespace portable = platform::portable;

const std::string kSendFailedBox =
    "An error occured trying to send the message by email. Please review the log for details.";
const std::string kNoStoreBox =
    "Unable to send messages by email. Tavrel Manager was unable to open the default message store "
    "of the MAPI Profile used to initialize MAPI.";
const std::vector<std::u16string> kThree{u"a@x.de", u"bob@example.org",
                                         u"carol.long.address@example.net"};

std::string Line(int level, const std::string& message) {
    return std::to_string(level) + ":[ExchangeAdaptorDLL::SendBulletinByEmail] " + message;
}
std::string Added(const std::u16string& address) {
    return Line(4, "Added recipient '" + sim::ToUtf8(address) + "'.");
}

// The recipients as the console passes them: its list of wide strings.
class ConsoleList {
  public:
    explicit ConsoleList(const std::vector<std::u16string>& addresses) {
        InitList(list_);
        for (const auto& address : addresses) AppendToList(list_, address);
    }
    ~ConsoleList() { DestroyList(list_); }
    ConsoleList(const ConsoleList&) = delete;
    ConsoleList& operator=(const ConsoleList&) = delete;
    const WideStringList* get() const { return &list_; }

  private:
    WideStringList list_;
};

int MessagesUnder(const sim::Folder& folder) {
    int count = static_cast<int>(folder.messages.size());
    for (const auto& child : folder.children) count += MessagesUnder(*child);
    return count;
}

std::u16string TextProp(const sim::PropMap& props, mapi::ULONG tag) {
    auto found = props.find(tag);
    if (found == props.end()) return u"<missing>";
    const auto* text = std::get_if<std::u16string>(&found->second);
    return text ? *text : u"<not text>";
}

class Bulletin : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        admin_ = &AdminOrganisation();
        ASSERT_TRUE(Initialize());
        Settle();
    }

    // What stays alive between calls is the session's; a call leaves no more than that.
    void Settle() {
        sim::Simulator::Instance().ClearRecords();
        portable::ResetMessageBoxes();
        objects_ = sim::Simulator::Instance().LiveObjects();
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        atBox_.clear();
        // The state at the moment each box is shown.
        portable::SetMessageBoxObserver([this](const portable::MessageBoxRecord&) {
            atBox_.push_back({Log().size(), sim::Simulator::Instance().LiveObjects(),
                              mapi::portable::GetBufferStats().liveBuffers});
            return 0;
        });
    }

    static bool Send(std::u16string_view subject, std::u16string_view body,
                     const std::vector<std::u16string>& addresses) {
        WideArg s(subject), b(body);
        ConsoleList list(addresses);
        return SendBulletinByEmail(s, b, list.get());
    }

    int MessagesInMailbox() const { return MessagesUnder(*admin_->Model().root); }
    static const std::vector<sim::DeliveredMail>& Delivered() {
        return sim::Simulator::Instance().Org().delivered;
    }

    void ExpectOneFailureBoxAfterCleanUp(const std::string& text) {
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{text});
        if (Boxes().size() != 1 || atBox_.size() != 1) return;
        EXPECT_EQ(Boxes()[0].caption, u"Warning");
        EXPECT_EQ(Boxes()[0].flags, 0x30u);
        EXPECT_EQ(Boxes()[0].owner, nullptr);
        EXPECT_EQ(atBox_[0].logLines, Log().size());  // the lines were written before it
        EXPECT_EQ(atBox_[0].objects, objects_);
        EXPECT_EQ(atBox_[0].buffers, buffers_);
    }

    struct AtBox {
        std::size_t logLines;
        int objects;
        std::size_t buffers;
    };
    sim::MailboxBuilder* admin_ = nullptr;
    int objects_ = 0;
    std::size_t buffers_ = 0;
    std::vector<AtBox> atBox_;
};

TEST_F(Bulletin, ThreeAddressesBecomeBlindCopiesOfOneSentMessage) {
    ASSERT_TRUE(Send(u"Maintenance tonight", u"The server restarts at 22:00.", kThree));
    EXPECT_EQ(LogUtf8(),
              (std::vector<std::string>{Added(kThree[0]), Added(kThree[1]), Added(kThree[2])}));
    EXPECT_TRUE(Boxes().empty());

    ASSERT_EQ(Delivered().size(), 1u);
    const sim::DeliveredMail& mail = Delivered()[0];
    EXPECT_EQ(mail.fromMailboxDn, testing::kAdminDn);
    ASSERT_EQ(mail.recipients.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        sim::PropMap props = mail.recipients[i].props;
        props.erase(mapi::PR_ROWID);  // the message's own numbering
        EXPECT_EQ(props, (sim::PropMap{
                             {mapi::PR_EMAIL_ADDRESS_W, kThree[i]},
                             {mapi::PR_ADDRTYPE_W, std::u16string(u"SMTP")},
                             {mapi::PR_RECIPIENT_TYPE, std::int32_t(mapi::MAPI_BCC)},
                             {mapi::PR_DISPLAY_NAME_W, kThree[i]},
                             {mapi::PR_SEND_RICH_INFO, false},
                         }));
    }
    EXPECT_EQ(TextProp(mail.props, mapi::PR_SUBJECT_W), u"Maintenance tonight");
    EXPECT_EQ(TextProp(mail.props, mapi::PR_BODY_W), u"The server restarts at 22:00.");
    auto sentMail = mail.props.find(mapi::PR_SENTMAIL_ENTRYID);
    ASSERT_NE(sentMail, mail.props.end());
    EXPECT_EQ(sentMail->second, sim::PropValue(admin_->SentItems().EntryId()));

    // The sent copy is the only message in the mailbox, in Sent Items.
    EXPECT_EQ(admin_->SentItems().Model().messages.size(), 1u);
    EXPECT_EQ(MessagesInMailbox(), 1);

    // The calls with their arguments: the store's default receive folder opened for writing,
    // one MODRECIP_ADD per address, the body through a created stream, a plain submission.
    auto& simulator = sim::Simulator::Instance();
    auto receive = simulator.CallsTo("IMsgStore::GetReceiveFolder");
    ASSERT_EQ(receive.size(), 1u);
    EXPECT_EQ(receive[0].args["class"], "null");
    EXPECT_EQ(receive[0].args["flags"], "0x00000000");
    auto opens = simulator.CallsTo("IMsgStore::OpenEntry");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].args["flags"], "0x00000001");
    auto creates = simulator.CallsTo("IMAPIFolder::CreateMessage");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].object, "folder:Inbox");
    EXPECT_EQ(creates[0].args["flags"], "0x00000000");
    auto modifies = simulator.CallsTo("IMessage::ModifyRecipients");
    ASSERT_EQ(modifies.size(), 3u);
    for (const auto& modify : modifies) EXPECT_EQ(modify.args.at("flags"), "0x00000002");
    auto bodies = simulator.CallsTo("IMessage::OpenProperty");
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0].args["tag"], "0x1000001f");
    EXPECT_EQ(bodies[0].args["iid"], "{0000000C-0000-0000-C000-000000000046}");
    EXPECT_EQ(bodies[0].args["flags"], "0x00000003");
    auto submits = simulator.CallsTo("IMessage::SubmitMessage");
    ASSERT_EQ(submits.size(), 1u);
    EXPECT_EQ(submits[0].args["flags"], "0x00000000");
}

// A refused recipient costs its line and nothing else while another one is added.
TEST_F(Bulletin, OneOfThreeRefusedStillSends) {
    Fail("IMessage::ModifyRecipients", mapi::MAPI_E_NO_ACCESS, 2);
    ASSERT_TRUE(Send(u"Subject", u"Body", kThree));
    EXPECT_EQ(LogUtf8(), (std::vector<std::string>{
                             Added(kThree[0]),
                             Line(3,
                                  "SetBccData failed; addr='bob@example.org', "
                                  "result=0x80070005."),
                             Added(kThree[2]),
                         }));
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(Delivered().size(), 1u);
    ASSERT_EQ(Delivered()[0].recipients.size(), 2u);
    EXPECT_EQ(TextProp(Delivered()[0].recipients[0].props, mapi::PR_EMAIL_ADDRESS_W), kThree[0]);
    EXPECT_EQ(TextProp(Delivered()[0].recipients[1].props, mapi::PR_EMAIL_ADDRESS_W), kThree[2]);
}

// An empty subject sets no subject property; an empty body is a zero-byte write that still
// creates the body. Texts below 8 characters sit in the console's slot, longer ones on the heap.
TEST_F(Bulletin, SubjectAndBodyAsTheyCame) {
    struct Case {
        std::u16string subject, body;
    };
    const std::vector<Case> cases{
        {u"", u"Body without subject"},
        {u"Hi", u""},
        {u"", u""},
        {u"Kurz", u"Short"},
        {u"Gr\u00fc\u00dfe \u2013 a subject of some length", u"Line one\r\nLine two\r\n"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(sim::ToUtf8(c.subject) + " / " + sim::ToUtf8(c.body));
        sim::Simulator::Instance().ClearRecords();
        ASSERT_TRUE(Send(c.subject, c.body, {u"x@example.com"}));
        ASSERT_EQ(Delivered().size(), i + 1);
        const sim::PropMap& props = Delivered()[i].props;
        EXPECT_EQ(props.count(mapi::PR_SUBJECT_W), c.subject.empty() ? 0u : 1u);
        if (!c.subject.empty()) {
            EXPECT_EQ(TextProp(props, mapi::PR_SUBJECT_W), c.subject);
        }
        EXPECT_EQ(TextProp(props, mapi::PR_BODY_W), c.body);
        auto writes = sim::Simulator::Instance().CallsTo("IStream::Write");
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].args["cb"], std::to_string(2 * c.body.size()));
        // PR_SENTMAIL_ENTRYID, then the subject if there is one.
        EXPECT_EQ(sim::Simulator::Instance().CallsTo("IMessage::SetProps").size(),
                  c.subject.empty() ? 1u : 2u);
    }
    EXPECT_EQ(admin_->SentItems().Model().messages.size(), cases.size());
    EXPECT_TRUE(Boxes().empty());
}

// The rows of the failure table that stop the send.
struct Stop {
    const char* name;
    const char* method;  // empty: no fault
    int nth;
    std::int32_t result;
    bool nullOut;
    std::vector<std::u16string> recipients;
    std::vector<std::string> lines;
};

void PrintTo(const Stop& stop, std::ostream* os) {
    *os << stop.name;
}

std::vector<std::string> AllAddedThen(std::string last) {
    return {Added(kThree[0]), Added(kThree[1]), Added(kThree[2]), std::move(last)};
}

const Stop kStops[] = {
    {"ReceiveFolder",
     "IMsgStore::GetReceiveFolder",
     0,
     mapi::MAPI_E_NOT_FOUND,
     false,
     kThree,
     {Line(2, "GetReceiveFolder failed, result=0x8004010f.")}},
    {"FolderNotOpened",
     "IMsgStore::OpenEntry",
     0,
     mapi::MAPI_E_NO_ACCESS,
     false,
     kThree,
     {Line(2, "OpenEntry failed, result=0x80070005.")}},
    {"MessageNotCreated",
     "IMAPIFolder::CreateMessage",
     0,
     mapi::MAPI_E_CALL_FAILED,
     false,
     kThree,
     {Line(2, "CreateMessage failed, result=0x80004005.")}},
    {"SentItemsNotRead",
     "IMsgStore::GetProps",
     0,
     mapi::MAPI_E_NOT_ENOUGH_MEMORY,
     false,
     kThree,
     {Line(2, "HrGetOneProp failed, result=0x8007000e.")}},
    {"SentItemsNotSet",
     "IMessage::SetProps",
     1,
     mapi::MAPI_E_NO_ACCESS,
     false,
     kThree,
     {Line(2, "HrSetOneProp failed, result=0x80070005.")}},
    {"EmptyList", "", 0, 0, false, {}, {Line(3, "No recipients, aborting send message.")}},
    {"EveryRecipientRefused",
     "IMessage::ModifyRecipients",
     0,
     mapi::MAPI_E_NO_ACCESS,
     false,
     {u"a@example.com", u"b@example.com"},
     {Line(3, "SetBccData failed; addr='a@example.com', result=0x80070005."),
      Line(3, "SetBccData failed; addr='b@example.com', result=0x80070005."),
      Line(3, "No recipients, aborting send message.")}},
    {"BodyNotOpened", "IMessage::OpenProperty", 0, mapi::MAPI_E_NO_ACCESS, false, kThree,
     AllAddedThen(Line(2, "SetBodyData failed, result=0x80070005."))},
    {"BodyOpenedWithoutStream", "IMessage::OpenProperty", 0, mapi::S_OK, true, kThree,
     AllAddedThen(Line(2, "SetBodyData failed, result=0x80004005."))},
    {"BodyNotWritten", "IStream::Write", 0, mapi::MakeResult(0x80030070), false, kThree,
     AllAddedThen(Line(2, "SetBodyData failed, result=0x80030070."))},
    {"SubjectNotSet", "IMessage::SetProps", 2, mapi::MAPI_E_CALL_FAILED, false, kThree,
     AllAddedThen(Line(2, "SetSubjectData failed, result=0x80004005."))},
    {"SubmissionRefused", "IMessage::SubmitMessage", 0, mapi::MAPI_E_NO_ACCESS, false, kThree,
     AllAddedThen(Line(2, "SubmitMessage failed, result=0x80070005."))},
};

class BulletinStop : public Bulletin, public ::testing::WithParamInterface<Stop> {};

TEST_P(BulletinStop, EndsWithOneBoxAndNothingInTheMailbox) {
    const Stop& stop = GetParam();
    if (*stop.method) {
        sim::Fault fault;
        fault.method = stop.method;
        fault.result = stop.result;
        fault.nth = stop.nth;
        fault.nullOut = stop.nullOut;
        sim::Simulator::Instance().AddFault(fault);
    }
    EXPECT_FALSE(Send(u"Subject", u"Body", stop.recipients));
    EXPECT_EQ(LogUtf8(), stop.lines);
    ExpectOneFailureBoxAfterCleanUp(kSendFailedBox);
    EXPECT_TRUE(Delivered().empty());
    EXPECT_EQ(MessagesInMailbox(), 0);
    EXPECT_EQ(sim::Simulator::Instance().LiveObjects(), objects_);
}

INSTANTIATE_TEST_SUITE_P(Steps, BulletinStop, ::testing::ValuesIn(kStops),
                         [](const auto& info) { return std::string(info.param.name); });

// Without session or default store nothing is attempted: the 50011 box, then the line.
TEST_F(Bulletin, WithoutSessionOrDefaultStore) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases{
        {"not initialised", [] { Uninitialize(); }},
        {"initialised without default store",
         [] {
             Uninitialize();
             Fail("IMAPISession::OpenMsgStore", mapi::MAPI_E_NOT_FOUND);
             ASSERT_TRUE(Initialize());
             ASSERT_TRUE(Session().session);
             ASSERT_FALSE(Session().defaultMsgStore);
             sim::Simulator::Instance().ClearFaults();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        Settle();
        EXPECT_FALSE(Send(u"Subject", u"Body", kThree));
        EXPECT_EQ(LogUtf8(), std::vector<std::string>{Line(4, "No session.")});
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNoStoreBox});
        ASSERT_EQ(atBox_.size(), 1u);
        EXPECT_EQ(atBox_[0].logLines, 0u);  // the box comes first
        EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IMAPIFolder::CreateMessage").empty());
    }
}

// The console's arguments are read defensively: what cannot be read is refused before any MAPI
// work, and a list without sentinel is an empty list.
TEST_F(Bulletin, ArgumentsTheConsoleGotWrong) {
    WideArg subject(u"Subject"), body(u"Body");
    ConsoleList list(kThree);
    WideStringSlot broken;
    InitSlot(broken);
    broken.length = 9;  // beyond the capacity of a slot that holds its text in place
    const std::vector<std::pair<const char*, std::function<bool()>>> refused{
        {"null subject", [&] { return SendBulletinByEmail(nullptr, body, list.get()); }},
        {"null body", [&] { return SendBulletinByEmail(subject, nullptr, list.get()); }},
        {"null list", [&] { return SendBulletinByEmail(subject, body, nullptr); }},
        {"unreadable slot", [&] { return SendBulletinByEmail(&broken, body, list.get()); }},
    };
    for (const auto& [name, call] : refused) {
        SCOPED_TRACE(name);
        Settle();
        EXPECT_FALSE(call());
        EXPECT_EQ(LogUtf8(), std::vector<std::string>{Line(4, "Bad parameters.")});
        ExpectOneFailureBoxAfterCleanUp(kSendFailedBox);
        EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IMsgStore::GetReceiveFolder").empty());
    }

    Settle();
    WideStringList noSentinel{0, nullptr, 0};
    EXPECT_FALSE(SendBulletinByEmail(subject, body, &noSentinel));
    EXPECT_EQ(LogUtf8(),
              std::vector<std::string>{Line(3, "No recipients, aborting send message.")});
    ExpectOneFailureBoxAfterCleanUp(kSendFailedBox);
    EXPECT_EQ(MessagesInMailbox(), 0);
}

// Every MAPI allocation of a send failing in turn: a call that fails shows its one box and leaves
// no message in the mailbox; a recipient that could not be added costs only its line; no call
// leaves a buffer or an object behind.
TEST_F(Bulletin, AllocationFailuresLeaveNothingBehind) {
    // A send without failures, to learn how many allocations there are to fail.
    auto allocations = [] { return mapi::portable::GetBufferStats().TotalAllocations(); };
    const std::size_t before = allocations();
    ASSERT_TRUE(Send(u"Subject", u"Body", kThree));
    const std::size_t made = allocations() - before;
    ASSERT_EQ(Delivered().size(), 1u);
    ASSERT_EQ(Delivered()[0].recipients.size(), 3u);
    int failed = 0, partial = 0;
    for (std::size_t succeeding = 0; succeeding < made; ++succeeding) {
        SCOPED_TRACE(succeeding);
        Settle();
        sim::Simulator::Instance().Org().delivered.clear();
        admin_->SentItems().Model().messages.clear();
        mapi::portable::InjectAllocationFailures(succeeding);
        const bool sent = Send(u"Subject", u"Body", kThree);
        mapi::portable::ClearAllocationFailures();
        EXPECT_EQ(sim::Simulator::Instance().LiveObjects(), objects_);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        if (!sent) {
            ++failed;
            ExpectOneFailureBoxAfterCleanUp(kSendFailedBox);
            EXPECT_TRUE(Delivered().empty());
            EXPECT_EQ(MessagesInMailbox(), 0);
            continue;
        }
        EXPECT_TRUE(Boxes().empty());
        ASSERT_EQ(Delivered().size(), 1u);
        EXPECT_EQ(MessagesInMailbox(), 1);
        if (Delivered()[0].recipients.size() != 3) ++partial;
    }
    EXPECT_GE(failed, 3);   // receive folder, sent-items value, body
    EXPECT_GE(partial, 3);  // each recipient lost once
}

// ---- The three message routines on their own ----

TEST_F(Bulletin, RoutinesRefuseAMissingMessage) {
    struct Case {
        const char* operation;
        std::function<mapi::HRESULT()> call;
    };
    const std::vector<Case> cases{
        {"SetBccData", [] { return SetBccData(nullptr, u"a@example.com"); }},
        {"SetBodyData", [] { return SetBodyData(nullptr, u"Body"); }},
        {"SetSubjectData", [] { return SetSubjectData(nullptr, u"Subject"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        ClearLog();
        EXPECT_EQ(c.call(), mapi::E_FAIL);
        EXPECT_EQ(LogUtf8(),
                  std::vector<std::string>{"4:[ExchangeAdaptorDLL::" + std::string(c.operation) +
                                           "] Bad parameters."});
    }
}

// A message that only takes recipients: it keeps what ModifyRecipients was given, in the given
// order, and answers with a chosen result.
class RecipientProbe final : public mapi::IMessage {
  public:
    struct Value {
        mapi::ULONG tag;
        std::u16string text;
        std::int64_t number;
        friend bool operator==(const Value&, const Value&) = default;
    };
    explicit RecipientProbe(mapi::HRESULT answer) : answer_(answer) {}

    mapi::ULONG flags = 0;
    mapi::ULONG entries = 0;
    std::vector<Value> values;
    const void* list = nullptr;
    const void* valueArray = nullptr;

    mapi::HRESULT MAPI_CALL ModifyRecipients(mapi::ULONG f, mapi::LPADRLIST mods) override {
        flags = f;
        list = mods;
        entries = mods ? mods->cEntries : 0;
        if (!mods || mods->cEntries == 0) return answer_;
        const mapi::ADRENTRY& entry = mods->aEntries[0];
        valueArray = entry.rgPropVals;
        // The list and its value array are separate MAPI buffers, as MAPI requires.
        EXPECT_TRUE(mapi::portable::IsLiveBuffer(mods));
        EXPECT_TRUE(mapi::portable::IsLiveBuffer(entry.rgPropVals));
        for (mapi::ULONG i = 0; i < entry.cValues; ++i) {
            const mapi::SPropValue& v = entry.rgPropVals[i];
            Value value{v.ulPropTag, u"", 0};
            switch (mapi::PROP_TYPE(v.ulPropTag)) {
                case mapi::PT_UNICODE:
                    value.text = v.Value.lpszW;
                    break;
                case mapi::PT_LONG:
                    value.number = v.Value.l;
                    break;
                case mapi::PT_BOOLEAN:
                    value.number = v.Value.b;
                    break;
                default:
                    value.number = -1;
            }
            values.push_back(value);
        }
        return answer_;
    }

    mapi::HRESULT MAPI_CALL QueryInterface(mapi::REFIID, void** out) override {
        *out = nullptr;
        return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    mapi::ULONG MAPI_CALL AddRef() override { return 1; }
    mapi::ULONG MAPI_CALL Release() override { return 1; }
    mapi::HRESULT MAPI_CALL GetLastError(mapi::HRESULT, mapi::ULONG, mapi::LPMAPIERROR*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL SaveChanges(mapi::ULONG) override { return No(); }
    mapi::HRESULT MAPI_CALL GetProps(mapi::LPSPropTagArray, mapi::ULONG, mapi::ULONG*,
                                     mapi::LPSPropValue*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL GetPropList(mapi::ULONG, mapi::LPSPropTagArray*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL OpenProperty(mapi::ULONG, mapi::LPCIID, mapi::ULONG, mapi::ULONG,
                                         mapi::LPUNKNOWN*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL SetProps(mapi::ULONG, mapi::LPSPropValue,
                                     mapi::LPSPropProblemArray*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL DeleteProps(mapi::LPSPropTagArray,
                                        mapi::LPSPropProblemArray*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL CopyTo(mapi::ULONG, mapi::LPCIID, mapi::LPSPropTagArray,
                                   mapi::ULONG_PTR, mapi::LPMAPIPROGRESS, mapi::LPCIID,
                                   mapi::LPVOID, mapi::ULONG, mapi::LPSPropProblemArray*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL CopyProps(mapi::LPSPropTagArray, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                                      mapi::LPCIID, mapi::LPVOID, mapi::ULONG,
                                      mapi::LPSPropProblemArray*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL GetNamesFromIDs(mapi::LPSPropTagArray*, mapi::LPGUID, mapi::ULONG,
                                            mapi::ULONG*, mapi::LPMAPINAMEID**) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL GetIDsFromNames(mapi::ULONG, mapi::LPMAPINAMEID*, mapi::ULONG,
                                            mapi::LPSPropTagArray*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL GetAttachmentTable(mapi::ULONG, mapi::LPMAPITABLE*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL OpenAttach(mapi::ULONG, mapi::LPCIID, mapi::ULONG,
                                       mapi::LPATTACH*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL CreateAttach(mapi::LPCIID, mapi::ULONG, mapi::ULONG*,
                                         mapi::LPATTACH*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL DeleteAttach(mapi::ULONG, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                                         mapi::ULONG) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL GetRecipientTable(mapi::ULONG, mapi::LPMAPITABLE*) override {
        return No();
    }
    mapi::HRESULT MAPI_CALL SubmitMessage(mapi::ULONG) override { return No(); }
    mapi::HRESULT MAPI_CALL SetReadFlag(mapi::ULONG) override { return No(); }

  private:
    static mapi::HRESULT No() { return mapi::MAPI_E_NO_SUPPORT; }
    mapi::HRESULT answer_;
};

// One entry of exactly five values in their order, no entry identifier; the list is gone after
// the call; the result is 0 for any success, else MAPI's code.
TEST_F(Bulletin, SetBccDataRecipientRowInOrder) {
    const std::u16string address = u"carol.long.address@example.net";
    const std::vector<RecipientProbe::Value> row{
        {mapi::PR_EMAIL_ADDRESS_W, address, 0}, {mapi::PR_ADDRTYPE_W, u"SMTP", 0},
        {mapi::PR_RECIPIENT_TYPE, u"", 3},      {mapi::PR_DISPLAY_NAME_W, address, 0},
        {mapi::PR_SEND_RICH_INFO, u"", 0},
    };
    struct Case {
        mapi::HRESULT answer, result;
    };
    for (const Case& c : {Case{mapi::S_OK, mapi::S_OK}, Case{mapi::MAPI_W_ERRORS_RETURNED, 0},
                          Case{mapi::MAPI_E_NO_ACCESS, mapi::MAPI_E_NO_ACCESS}}) {
        SCOPED_TRACE(c.answer);
        ClearLog();
        RecipientProbe probe(c.answer);
        EXPECT_EQ(SetBccData(&probe, address), c.result);
        EXPECT_EQ(probe.flags, mapi::MODRECIP_ADD);
        EXPECT_EQ(probe.entries, 1u);
        EXPECT_EQ(probe.values, row);
        EXPECT_FALSE(mapi::portable::IsLiveBuffer(probe.list));
        EXPECT_FALSE(mapi::portable::IsLiveBuffer(probe.valueArray));
        EXPECT_TRUE(Log().empty());
    }
}

}  // namespace
}  // namespace tav

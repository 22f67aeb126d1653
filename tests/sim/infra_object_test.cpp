// The simulator's object base: reference accounting, double releases, calls after release and
// after Reset, QueryInterface, call records and fault injection.
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "sim/object_base.h"
#include "sim/simulator.h"
#include "sim/table.h"

namespace {

using sim::Simulator;

class InfraObjectTest : public ::testing::Test {
  protected:
    void SetUp() override { Simulator::Instance().Reset(); }
    void TearDown() override { Simulator::Instance().Reset(); }

    static mapi::ComPtr<mapi::IMAPITable> Table(const char* label) {
        sim::TableOptions options;
        options.label = label;
        options.columns = {mapi::PR_DISPLAY_NAME_W};
        sim::Row row;
        row[mapi::PR_DISPLAY_NAME_W] = std::u16string(u"one");
        return sim::MakeTable(std::move(options), {row});
    }
};

TEST_F(InfraObjectTest, CountsLiveObjectsUntilTheirLastRelease) {
    auto& simulator = Simulator::Instance();
    mapi::IMAPITable* table = Table("contents:A").Detach();
    mapi::ComPtr<mapi::IMAPITable> other = Table("contents:B");
    EXPECT_EQ(simulator.LiveObjects(), 2);
    EXPECT_EQ(table->AddRef(), 2u);
    EXPECT_EQ(table->Release(), 1u);
    EXPECT_EQ(simulator.LiveObjects(), 2);
    EXPECT_EQ(table->Release(), 0u);
    EXPECT_EQ(simulator.LiveObjects(), 1);
    EXPECT_EQ(simulator.LiveObjectLabels(), std::vector<std::string>{"contents:B"});
    other.Reset();
    EXPECT_EQ(simulator.LiveObjects(), 0);
    EXPECT_EQ(simulator.DoubleReleases(), 0);
}

TEST_F(InfraObjectTest, ReportsADoubleReleaseAndRefusesCallsOnAReleasedObject) {
    auto& simulator = Simulator::Instance();
    mapi::IMAPITable* table = Table("hierarchy:Inbox").Detach();
    table->Release();
    EXPECT_EQ(table->Release(), 0u);
    EXPECT_EQ(simulator.DoubleReleases(), 1);
    EXPECT_EQ(simulator.DoubleReleaseLabels(), std::vector<std::string>{"hierarchy:Inbox"});

    mapi::ULONG count = 99;
    EXPECT_EQ(table->GetRowCount(0, &count), mapi::MAPI_E_INVALID_OBJECT);
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(simulator.CallsOnReleased(), 1);
    EXPECT_EQ(simulator.LiveObjects(), 0);
}

TEST_F(InfraObjectTest, ObjectsAliveAtResetAnswerObjectDeletedAndAreNotCounted) {
    auto& simulator = Simulator::Instance();
    mapi::ComPtr<mapi::IMAPITable> table = Table("contents:Old");
    simulator.Reset();
    EXPECT_EQ(simulator.LiveObjects(), 0);
    mapi::ULONG count = 0;
    EXPECT_EQ(table->GetRowCount(0, &count), mapi::MAPI_E_OBJECT_DELETED);
    table.Reset();
    EXPECT_EQ(simulator.DoubleReleases(), 0);
    EXPECT_EQ(simulator.LiveObjects(), 0);
}

TEST_F(InfraObjectTest, FreeingReleasedObjectsKeepsTheOthersAndTheSerialsOfLaterOnes) {
    auto& simulator = Simulator::Instance();
    mapi::ComPtr<mapi::IMAPITable> first = Table("contents:First");
    Table("contents:Gone");  // released at once
    mapi::ComPtr<mapi::IMAPITable> third = Table("contents:Third");
    simulator.FreeReleased();
    EXPECT_EQ(simulator.LiveObjectLabels(),
              (std::vector<std::string>{"contents:First", "contents:Third"}));
    EXPECT_EQ(sim::detail::ObjectWithSerial(1), nullptr);
    ASSERT_NE(sim::detail::ObjectWithSerial(2), nullptr);
    EXPECT_EQ(sim::detail::ObjectWithSerial(2)->Label(), "contents:Third");
    mapi::ComPtr<mapi::IMAPITable> fourth = Table("contents:Fourth");
    ASSERT_NE(sim::detail::ObjectWithSerial(3), nullptr);
    EXPECT_EQ(sim::detail::ObjectWithSerial(3)->Label(), "contents:Fourth");
    mapi::ULONG count = 0;
    EXPECT_EQ(third->GetRowCount(0, &count), mapi::S_OK);
    EXPECT_EQ(count, 1u);

    // A Reset after the frees makes the held ones stale, as it does without them.
    simulator.Reset();
    EXPECT_EQ(first->GetRowCount(0, &count), mapi::MAPI_E_OBJECT_DELETED);
    first.Reset();
    third.Reset();
    fourth.Reset();
    EXPECT_EQ(simulator.DoubleReleases(), 0);
}

TEST_F(InfraObjectTest, QueryInterfaceAnswersOnlyTheObjectsInterfaces) {
    mapi::ComPtr<mapi::IMAPITable> table = Table("contents:A");
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(table->QueryInterface(mapi::IID_IMessage, &out), mapi::E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    mapi::ComPtr<mapi::IUnknown> unknown;
    ASSERT_EQ(table.As(unknown), mapi::S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(table.Get()));
    EXPECT_EQ(Simulator::Instance().LiveObjects(), 1);
}

TEST_F(InfraObjectTest, RecordsCallsWithArgumentsAndResult) {
    mapi::ComPtr<mapi::IMAPITable> table = Table("contents:A");
    Simulator::Instance().ClearRecords();
    mapi::SizedSPropTagArray<2> columns;
    columns.aulPropTag[0] = mapi::PR_ENTRYID;
    columns.aulPropTag[1] = mapi::PR_DISPLAY_NAME_W;
    ASSERT_EQ(table->SetColumns(columns.get(), mapi::TBL_BATCH), mapi::S_OK);
    EXPECT_EQ(table->SetColumns(nullptr, 0), mapi::MAPI_E_INVALID_PARAMETER);

    auto calls = Simulator::Instance().CallsTo("IMAPITable::SetColumns");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].object, "contents:A");
    EXPECT_EQ(calls[0].args.at("tags"), "0x0fff0102,0x3001001f");
    EXPECT_EQ(calls[0].args.at("flags"), "0x00000002");
    EXPECT_EQ(calls[0].result, mapi::S_OK);
    EXPECT_EQ(calls[1].args.at("tags"), "null");
    EXPECT_EQ(calls[1].result, mapi::MAPI_E_INVALID_PARAMETER);
}

TEST_F(InfraObjectTest, FaultsFireOnEveryCallTheNthCallOrOneObject) {
    struct Case {
        const char* name;
        sim::Fault fault;
        std::vector<mapi::HRESULT> expectA;  // results of three calls on "contents:A"
        std::vector<mapi::HRESULT> expectB;  // and of one call on "contents:B"
    };
    const mapi::HRESULT ok = mapi::S_OK, busy = mapi::MAPI_E_BUSY;
    const Case cases[] = {
        {"every call", {"IMAPITable::GetRowCount", busy, 0, "", false}, {busy, busy, busy}, {busy}},
        {"second call", {"IMAPITable::GetRowCount", busy, 2, "", false}, {ok, busy, ok}, {ok}},
        {"one object",
         {"IMAPITable::GetRowCount", busy, 0, "contents:B", false},
         {ok, ok, ok},
         {busy}},
        {"nth of one object",
         {"IMAPITable::GetRowCount", busy, 1, "contents:A", false},
         {busy, ok, ok},
         {ok}},
        {"other method", {"IMAPITable::QueryRows", busy, 0, "", false}, {ok, ok, ok}, {ok}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Simulator::Instance().Reset();
        Simulator::Instance().AddFault(c.fault);
        mapi::ComPtr<mapi::IMAPITable> a = Table("contents:A");
        mapi::ComPtr<mapi::IMAPITable> b = Table("contents:B");
        std::vector<mapi::HRESULT> gotA, gotB;
        mapi::ULONG count = 0;
        for (int i = 0; i < 3; ++i) gotA.push_back(a->GetRowCount(0, &count));
        gotB.push_back(b->GetRowCount(0, &count));
        EXPECT_EQ(gotA, c.expectA);
        EXPECT_EQ(gotB, c.expectB);
        auto calls = Simulator::Instance().CallsTo("IMAPITable::GetRowCount");
        ASSERT_EQ(calls.size(), 4u);
        EXPECT_EQ(calls[3].result, c.expectB[0]);
    }
}

TEST_F(InfraObjectTest, NullOutFaultSucceedsWithoutHandingOutTheObject) {
    Simulator::Instance().AddFault({"IMAPITable::QuerySortOrder", mapi::S_OK, 0, "", true});
    mapi::ComPtr<mapi::IMAPITable> table = Table("contents:A");
    mapi::LPSSortOrderSet sort = reinterpret_cast<mapi::LPSSortOrderSet>(8);
    EXPECT_EQ(table->QuerySortOrder(&sort), mapi::S_OK);
    EXPECT_EQ(sort, nullptr);
}

TEST_F(InfraObjectTest, AWarningFaultLetsTheCallWorkAndReturnsTheWarning) {
    Simulator::Instance().AddFault(
        {"IMAPITable::GetRowCount", mapi::MAPI_W_ERRORS_RETURNED, 0, "", false});
    mapi::ComPtr<mapi::IMAPITable> table = Table("contents:A");
    mapi::ULONG count = 7;
    EXPECT_EQ(table->GetRowCount(0, &count), mapi::MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(count, 1u);
    // A failure of the call itself still comes back as that failure.
    EXPECT_EQ(table->GetRowCount(0, nullptr), mapi::MAPI_E_INVALID_PARAMETER);
}

TEST_F(InfraObjectTest, EntryPointCallsAreRecordedWithoutObjectAndTakeFaults) {
    Simulator::Instance().AddFault({"MAPILogonEx", mapi::MAPI_E_LOGON_FAILED, 2, "", false});
    sim::Call first = sim::EnterFunction("MAPILogonEx", {{"profile", "TavrelManager"}});
    ASSERT_TRUE(first);
    first.Return(mapi::S_OK);
    sim::Call second = sim::EnterFunction("MAPILogonEx");
    EXPECT_FALSE(second);
    EXPECT_EQ(second.Result(), mapi::MAPI_E_LOGON_FAILED);
    auto calls = Simulator::Instance().CallsTo("MAPILogonEx");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].object, "");
    EXPECT_EQ(calls[0].args.at("profile"), "TavrelManager");
    EXPECT_EQ(calls[1].result, mapi::MAPI_E_LOGON_FAILED);
}

}  // namespace

TEST_F(InfraObjectTest, CallsMadeWhileRecordingIsOffAreOnlyCounted) {
    auto& simulator = Simulator::Instance();
    // Entered while off, finished after recording came back on: the result and the argument added
    // late must not land in the record of a later call.
    simulator.RecordCalls(false);
    sim::Call unrecorded = sim::EnterFunction("MAPILogonEx", {{"profile", "Hidden"}});
    ASSERT_TRUE(unrecorded);
    EXPECT_TRUE(simulator.Calls().empty());
    simulator.RecordCalls(true);
    sim::Call recorded = sim::EnterFunction("MAPIAdminProfiles", {{"flags", "0x00000000"}});
    ASSERT_TRUE(recorded);
    unrecorded.AddArg("session", "late");
    unrecorded.Return(mapi::MAPI_E_LOGON_FAILED);
    recorded.Return(mapi::S_OK);

    ASSERT_EQ(simulator.Calls().size(), 1u);
    const sim::CallRecord& call = simulator.Calls()[0];
    EXPECT_EQ(call.method, "MAPIAdminProfiles");
    EXPECT_EQ(call.args.size(), 1u);
    EXPECT_EQ(call.result, mapi::S_OK);
    EXPECT_EQ(simulator.CallCount(), 2u);

    // Faults still fire on calls that are not recorded, and count them.
    simulator.AddFault({"MAPILogonEx", mapi::MAPI_E_LOGON_FAILED, 2, "", false});
    simulator.RecordCalls(false);
    EXPECT_TRUE(sim::EnterFunction("MAPILogonEx"));
    EXPECT_FALSE(sim::EnterFunction("MAPILogonEx"));
    EXPECT_EQ(simulator.Calls().size(), 1u);
    EXPECT_EQ(simulator.CallCount(), 4u);

    simulator.ClearRecords();
    EXPECT_TRUE(simulator.RecordingCalls());
    EXPECT_EQ(simulator.CallCount(), 0u);
}

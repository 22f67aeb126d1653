// The generic table: columns a row lacks, batched reads, seeking, restrictions, sorting, live
// rows, HrQueryAllRows over it, and the MAPI buffers it hands out.
#include <gtest/gtest.h>

#include <stdexcept>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "sim/props.h"
#include "sim/simulator.h"
#include "sim/table.h"

namespace {

using mapi::ULONG;
using sim::Row;

class InfraTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Simulator::Instance().Reset();
        before_ = mapi::portable::GetBufferStats().liveBuffers;
    }
    void TearDown() override {
        EXPECT_EQ(sim::Simulator::Instance().LiveObjects(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, before_);
        sim::Simulator::Instance().Reset();
    }

    static Row Folder(std::u16string name, std::int32_t depth, bool subfolders = false) {
        Row row;
        row[mapi::PR_DISPLAY_NAME_W] = std::move(name);
        row[mapi::PR_DEPTH] = depth;
        row[mapi::PR_SUBFOLDERS] = subfolders;
        return row;
    }

    static mapi::ComPtr<mapi::IMAPITable> Make(std::vector<Row> rows,
                                               std::vector<ULONG> columns = {
                                                   mapi::PR_DISPLAY_NAME_W, mapi::PR_DEPTH}) {
        sim::TableOptions options;
        options.label = "hierarchy:test";
        options.columns = std::move(columns);
        options.unicode = true;
        return sim::MakeTable(std::move(options), std::move(rows));
    }

    static std::vector<std::u16string> Names(mapi::IMAPITable* table, mapi::LONG batch = 100) {
        std::vector<std::u16string> names;
        for (;;) {
            mapi::RowSetPtr rows;
            EXPECT_EQ(table->QueryRows(batch, 0, rows.Put()), mapi::S_OK);
            if (rows.Count() == 0) return names;
            for (ULONG i = 0; i < rows.Count(); ++i) {
                const mapi::SPropValue& value = rows[i].lpProps[0];
                names.push_back(value.ulPropTag == mapi::PR_DISPLAY_NAME_W ? value.Value.lpszW
                                                                           : u"<error>");
            }
        }
    }

    std::size_t before_ = 0;
};

TEST_F(InfraTableTest, AColumnARowLacksComesBackAsNotFoundError) {
    Row row = Folder(u"Inbox", 1);
    const ULONG name8 = mapi::CHANGE_PROP_TYPE(mapi::PR_DISPLAY_NAME_W, mapi::PT_STRING8);
    auto table = Make({row, Folder(u"Sent Items", 2)},
                      {mapi::PR_DISPLAY_NAME_W, mapi::PR_SOURCE_KEY, mapi::PR_DEPTH, name8});
    mapi::RowSetPtr rows;
    ASSERT_EQ(table->QueryRows(10, 0, rows.Put()), mapi::S_OK);
    ASSERT_EQ(rows.Count(), 2u);
    ASSERT_EQ(rows[0].cValues, 4u);
    EXPECT_EQ(rows[0].lpProps[0].ulPropTag, mapi::PR_DISPLAY_NAME_W);
    EXPECT_EQ(std::u16string(rows[0].lpProps[0].Value.lpszW), u"Inbox");
    EXPECT_EQ(rows[0].lpProps[1].ulPropTag,
              mapi::CHANGE_PROP_TYPE(mapi::PR_SOURCE_KEY, mapi::PT_ERROR));
    EXPECT_EQ(rows[0].lpProps[1].Value.err, mapi::MAPI_E_NOT_FOUND);
    EXPECT_EQ(rows[0].lpProps[2].Value.l, 1);
    // Asked for as 8-bit text, the name is converted.
    EXPECT_EQ(rows[0].lpProps[3].ulPropTag, name8);
    EXPECT_STREQ(rows[0].lpProps[3].Value.lpszA, "Inbox");
    // Each row holds its own values.
    ASSERT_EQ(rows[1].cValues, 4u);
    EXPECT_EQ(std::u16string(rows[1].lpProps[0].Value.lpszW), u"Sent Items");
    EXPECT_EQ(rows[1].lpProps[2].Value.l, 2);
    EXPECT_STREQ(rows[1].lpProps[3].Value.lpszA, "Sent Items");
}

TEST_F(InfraTableTest, ReadsManyRowsInBatchesUntilAnEmptyRowSet) {
    std::vector<Row> rows;
    for (int i = 0; i < 2500; ++i)
        rows.push_back(Folder(u"F" + std::u16string(1, u'0' + i % 10), 1));
    auto table = Make(std::move(rows));
    std::vector<ULONG> batches;
    for (;;) {
        mapi::RowSetPtr batch;
        ASSERT_EQ(table->QueryRows(1024, 0, batch.Put()), mapi::S_OK);
        batches.push_back(batch.Count());
        if (batch.Count() == 0) break;
    }
    EXPECT_EQ(batches, (std::vector<ULONG>{1024, 1024, 452, 0}));
}

TEST_F(InfraTableTest, SeekRowMovesFromEachOriginAndClampsAtTheEnds) {
    struct Case {
        mapi::BOOKMARK origin;
        mapi::LONG rows;
        mapi::LONG expectSought;
        std::u16string expectNext;
    };
    const Case cases[] = {
        {mapi::BOOKMARK_BEGINNING, 0, 0, u"a"}, {mapi::BOOKMARK_BEGINNING, 2, 2, u"c"},
        {mapi::BOOKMARK_CURRENT, 1, 1, u"c"},   {mapi::BOOKMARK_END, -1, -1, u"d"},
        {mapi::BOOKMARK_BEGINNING, 9, 4, u""},  {mapi::BOOKMARK_CURRENT, -2, -1, u"a"},
    };
    auto table = Make({Folder(u"a", 1), Folder(u"b", 1), Folder(u"c", 1), Folder(u"d", 1)});
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.origin) * 100 + c.rows);
        if (c.origin == mapi::BOOKMARK_CURRENT) {
            ASSERT_EQ(table->SeekRow(mapi::BOOKMARK_BEGINNING, 1, nullptr), mapi::S_OK);
        }
        mapi::LONG sought = 99;
        ASSERT_EQ(table->SeekRow(c.origin, c.rows, &sought), mapi::S_OK);
        EXPECT_EQ(sought, c.expectSought);
        mapi::RowSetPtr next;
        ASSERT_EQ(table->QueryRows(1, mapi::TBL_NOADVANCE, next.Put()), mapi::S_OK);
        EXPECT_EQ(next.Count() ? std::u16string(next[0].lpProps[0].Value.lpszW) : u"",
                  c.expectNext);
    }
}

TEST_F(InfraTableTest, RestrictionsSelectRowsByValue) {
    std::vector<Row> rows = {Folder(u"Inbox", 1, true), Folder(u"Sub", 2), Folder(u"inbox", 1),
                             Folder(u"Deep", 3, true)};
    rows[0][mapi::PR_SOURCE_KEY] = sim::Bytes{1, 2};
    rows[3][mapi::PR_SOURCE_KEY] = sim::Bytes{1, 3};

    mapi::SPropValue depth1{mapi::PR_DEPTH, 0, {}};
    depth1.Value.l = 1;
    mapi::SPropValue inbox{mapi::PR_DISPLAY_NAME_W, 0, {}};
    inbox.Value.lpszW = const_cast<char16_t*>(u"INBOX");
    mapi::SPropValue yes{mapi::PR_SUBFOLDERS, 0, {}};
    yes.Value.b = 1;
    std::uint8_t keyBytes[] = {1, 2};
    mapi::SPropValue key{mapi::PR_SOURCE_KEY, 0, {}};
    key.Value.bin = {2, keyBytes};
    auto property = [](ULONG relop, mapi::SPropValue& value) {
        mapi::SRestriction r{};
        r.rt = mapi::RES_PROPERTY;
        r.res.resProperty = {relop, value.ulPropTag, &value};
        return r;
    };
    mapi::SRestriction exist{};
    exist.rt = mapi::RES_EXIST;
    exist.res.resExist.ulPropTag = mapi::PR_SOURCE_KEY;
    mapi::SRestriction pair[] = {property(mapi::RELOP_EQ, depth1), exist};
    mapi::SRestriction both{};
    both.rt = mapi::RES_AND;
    both.res.resAnd = {2, pair};
    mapi::SRestriction either{};
    either.rt = mapi::RES_OR;
    either.res.resOr = {2, pair};
    mapi::SRestriction deep = property(mapi::RELOP_GT, depth1);
    mapi::SRestriction notDeep{};
    notDeep.rt = mapi::RES_NOT;
    notDeep.res.resNot.lpRes = &deep;

    struct Case {
        const char* name;
        mapi::SRestriction restriction;
        std::vector<std::u16string> expect;
    };
    const Case cases[] = {
        {"depth = 1", property(mapi::RELOP_EQ, depth1), {u"Inbox", u"inbox"}},
        {"depth <> 1", property(mapi::RELOP_NE, depth1), {u"Sub", u"Deep"}},
        {"depth <= 1", property(mapi::RELOP_LE, depth1), {u"Inbox", u"inbox"}},
        {"depth > 1", property(mapi::RELOP_GT, depth1), {u"Sub", u"Deep"}},
        {"name = INBOX folding ASCII", property(mapi::RELOP_EQ, inbox), {u"Inbox", u"inbox"}},
        {"name < INBOX", property(mapi::RELOP_LT, inbox), {u"Deep"}},
        {"subfolders", property(mapi::RELOP_EQ, yes), {u"Inbox", u"Deep"}},
        {"source key =", property(mapi::RELOP_EQ, key), {u"Inbox"}},
        {"source key >", property(mapi::RELOP_GT, key), {u"Deep"}},
        {"exists", exist, {u"Inbox", u"Deep"}},
        {"and", both, {u"Inbox"}},
        {"or", either, {u"Inbox", u"inbox", u"Deep"}},
        {"not", notDeep, {u"Inbox", u"inbox"}},
    };
    auto table = Make(rows);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mapi::SRestriction restriction = c.restriction;
        ASSERT_EQ(table->Restrict(&restriction, mapi::TBL_BATCH), mapi::S_OK);
        EXPECT_EQ(Names(table.Get()), c.expect);
        ULONG count = 0;
        ASSERT_EQ(table->GetRowCount(0, &count), mapi::S_OK);
        EXPECT_EQ(count, c.expect.size());
    }
    ASSERT_EQ(table->Restrict(nullptr, 0), mapi::S_OK);
    EXPECT_EQ(Names(table.Get()).size(), 4u);

    auto calls = sim::Simulator::Instance().CallsTo("IMAPITable::Restrict");
    EXPECT_EQ(calls[0].args.at("restriction"), "PROPERTY(EQ,0x30050003,1)");
}

// A record keeps what the call received, not what the caller's memory holds later; with recording
// off the call is counted and nothing is kept.
TEST_F(InfraTableTest, CallRecordsKeepTheArgumentsAsTheCallReceivedThem) {
    auto table = Make({Folder(u"Inbox", 1), Folder(u"Sub", 2)});
    auto& simulator = sim::Simulator::Instance();
    simulator.ClearRecords();
    mapi::SizedSPropTagArray<2> columns;
    columns.aulPropTag[0] = mapi::PR_DEPTH;
    columns.aulPropTag[1] = mapi::PR_DISPLAY_NAME_W;
    mapi::SPropValue depth{mapi::PR_DEPTH, 0, {}};
    depth.Value.l = 2;
    mapi::SRestriction restriction{};
    restriction.rt = mapi::RES_PROPERTY;
    restriction.res.resProperty = {mapi::RELOP_EQ, mapi::PR_DEPTH, &depth};
    ASSERT_EQ(table->SetColumns(columns.get(), 0), mapi::S_OK);
    ASSERT_EQ(table->Restrict(&restriction, 0), mapi::S_OK);
    columns.aulPropTag[0] = mapi::PR_SUBFOLDERS;
    depth.Value.l = 7;

    const auto setColumns = simulator.CallsTo("IMAPITable::SetColumns");
    ASSERT_EQ(setColumns.size(), 1u);
    EXPECT_EQ(setColumns[0].args.at("tags"), "0x30050003,0x3001001f");
    EXPECT_EQ(setColumns[0].args.at("flags"), "0x00000000");
    const auto restrict = simulator.CallsTo("IMAPITable::Restrict");
    ASSERT_EQ(restrict.size(), 1u);
    EXPECT_EQ(restrict[0].args.at("restriction"), "PROPERTY(EQ,0x30050003,2)");
    EXPECT_THROW(restrict[0].args.at("sort"), std::out_of_range);
    EXPECT_EQ(restrict[0].args["sort"], "");

    simulator.ClearRecords();
    simulator.RecordCalls(false);
    ASSERT_EQ(table->Restrict(&restriction, 0), mapi::S_OK);
    EXPECT_EQ(simulator.CallCount(), 1u);
    EXPECT_TRUE(simulator.Calls().empty());
}

TEST_F(InfraTableTest, UnsupportedRestrictionIsRefused) {
    mapi::SRestriction sub{};
    sub.rt = mapi::RES_SUBRESTRICTION;
    auto table = Make({Folder(u"a", 1)});
    EXPECT_EQ(table->Restrict(&sub, 0), mapi::MAPI_E_TOO_COMPLEX);
    EXPECT_EQ(Names(table.Get()).size(), 1u);
}

TEST_F(InfraTableTest, SortTableOrdersRowsAndHrQueryAllRowsReadsThemAll) {
    std::vector<Row> rows;
    for (int i = 0; i < 600; ++i) {
        Row row = Folder(u"F", (i * 7) % 600);
        rows.push_back(row);
    }
    auto table = Make(std::move(rows));
    mapi::SizedSPropTagArray<1> columns;
    columns.aulPropTag[0] = mapi::PR_DEPTH;
    mapi::SizedSSortOrderSet<1> sort;
    sort.aSort[0] = {mapi::PR_DEPTH, mapi::TABLE_SORT_DESCEND};
    mapi::SPropValue limit{mapi::PR_DEPTH, 0, {}};
    limit.Value.l = 100;
    mapi::SRestriction restriction{};
    restriction.rt = mapi::RES_PROPERTY;
    restriction.res.resProperty = {mapi::RELOP_GE, mapi::PR_DEPTH, &limit};
    mapi::RowSetPtr all;
    ASSERT_EQ(
        mapi::HrQueryAllRows(table.Get(), columns.get(), &restriction, sort.get(), 0, all.Put()),
        mapi::S_OK);
    ASSERT_EQ(all.Count(), 500u);
    EXPECT_EQ(all[0].lpProps[0].Value.l, 599);
    EXPECT_EQ(all[499].lpProps[0].Value.l, 100);
    for (ULONG i = 1; i < all.Count(); ++i) {
        ASSERT_GT(all[i - 1].lpProps[0].Value.l, all[i].lpProps[0].Value.l);
    }
}

TEST_F(InfraTableTest, LiveTableSeesRowsAddedAfterItWasMade) {
    std::vector<Row> source = {Folder(u"first", 1)};
    sim::TableOptions options;
    options.label = "profiles";
    options.columns = {mapi::PR_DISPLAY_NAME_W};
    auto table = sim::MakeLiveTable(std::move(options), [&] { return source; });
    ULONG count = 0;
    ASSERT_EQ(table->GetRowCount(0, &count), mapi::S_OK);
    EXPECT_EQ(count, 1u);
    source.push_back(Folder(u"second", 1));
    EXPECT_EQ(Names(table.Get()), (std::vector<std::u16string>{u"first", u"second"}));
}

TEST_F(InfraTableTest, EveryRowHasAnInstanceKeyAndQueryColumnsReportsTheChoice) {
    auto table = Make({Folder(u"a", 1), Folder(u"b", 1)});
    mapi::SizedSPropTagArray<2> columns;
    columns.aulPropTag[0] = mapi::PR_INSTANCE_KEY;
    columns.aulPropTag[1] = mapi::PR_DISPLAY_NAME_W;
    ASSERT_EQ(table->SetColumns(columns.get(), 0), mapi::S_OK);
    mapi::MapiBuffer<mapi::SPropTagArray> chosen;
    ASSERT_EQ(table->QueryColumns(0, chosen.Put()), mapi::S_OK);
    ASSERT_EQ(chosen->cValues, 2u);
    EXPECT_EQ(chosen->aulPropTag[0], mapi::PR_INSTANCE_KEY);
    mapi::RowSetPtr rows;
    ASSERT_EQ(table->QueryRows(2, 0, rows.Put()), mapi::S_OK);
    ASSERT_EQ(rows.Count(), 2u);
    ASSERT_EQ(rows[0].lpProps[0].ulPropTag, mapi::PR_INSTANCE_KEY);
    ASSERT_EQ(rows[1].lpProps[0].ulPropTag, mapi::PR_INSTANCE_KEY);
    EXPECT_NE(sim::Bytes(rows[0].lpProps[0].Value.bin.lpb, rows[0].lpProps[0].Value.bin.lpb + 4),
              sim::Bytes(rows[1].lpProps[0].Value.bin.lpb, rows[1].lpProps[0].Value.bin.lpb + 4));
}

}  // namespace

// FreeProws, FreePadrlist and HrQueryAllRows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapi/mapi.h"
#include "mapi_fakes.h"

namespace mapi {
namespace {

class RowListsTest : public test::MapiBufferTest {};

TEST_F(RowListsTest, FreeProwsAndFreePadrlistFreeEveryRowsOwnBuffer) {
    {
        LPVOID block = nullptr;
        ASSERT_EQ(MAPIAllocateBuffer(CbNewSRowSet(3), &block), S_OK);
        auto* rows = static_cast<LPSRowSet>(block);
        rows->cRows = 3;
        for (ULONG i = 0; i < 3; ++i) rows->aRow[i] = {0, 2, test::FakeTable::MakeRow(i)};
        EXPECT_EQ(NewLiveBuffers(), 4u);
        FreeProws(rows);
        EXPECT_EQ(NewLiveBuffers(), 0u);
    }
    {
        LPVOID block = nullptr;
        ASSERT_EQ(MAPIAllocateBuffer(CbNewADRLIST(2), &block), S_OK);
        auto* list = static_cast<LPADRLIST>(block);
        list->cEntries = 2;
        list->aEntries[0] = {0, 2, test::FakeTable::MakeRow(0)};
        list->aEntries[1] = {0, 0, nullptr};  // an entry whose values were taken away
        FreePadrlist(list);
        EXPECT_EQ(NewLiveBuffers(), 0u);
    }
    FreeProws(nullptr);
    FreePadrlist(nullptr);
}

std::vector<LONG> RowIds(const SRowSet& rows) {
    std::vector<LONG> ids;
    for (ULONG i = 0; i < rows.cRows; ++i) {
        EXPECT_EQ(rows.aRow[i].cValues, 2u);
        EXPECT_EQ(rows.aRow[i].lpProps[0].ulPropTag, PR_ROWID);
        EXPECT_EQ(std::string(rows.aRow[i].lpProps[1].Value.lpszA), "row " + std::to_string(i));
        ids.push_back(rows.aRow[i].lpProps[0].Value.l);
    }
    return ids;
}

std::vector<LONG> Sequence(ULONG n) {
    std::vector<LONG> ids;
    for (ULONG i = 0; i < n; ++i) ids.push_back(static_cast<LONG>(i));
    return ids;
}

struct QueryCase {
    const char* what;
    ULONG tableRows;
    LONG crowsMax;
    HRESULT expected;
};

TEST_F(RowListsTest, QueryAllRowsReadsTheWholeTableWithinTheLimit) {
    const QueryCase cases[] = {
        {"an empty table", 0, 0, S_OK},
        {"one row", 1, 0, S_OK},
        {"more rows than one batch holds", 600, 0, S_OK},
        {"exactly the limit", 5, 5, S_OK},
        {"one row over the limit", 6, 5, MAPI_E_TABLE_TOO_BIG},
        {"far over the limit", 1000, 3, MAPI_E_TABLE_TOO_BIG},
    };
    for (const QueryCase& c : cases) {
        test::FakeTable table(c.tableRows);
        table.cursor = c.tableRows;  // the caller left the cursor at the end
        SizedSPropTagArray<2> columns{2, {PR_ROWID, PR_DISPLAY_NAME_A}};
        SPropValue depth{};
        depth.ulPropTag = PR_DEPTH;
        depth.Value.l = 1;
        SRestriction restriction{};
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty = {RELOP_EQ, PR_DEPTH, &depth};
        SizedSSortOrderSet<1> sort;
        sort.aSort[0] = {PR_ROWID, TABLE_SORT_ASCEND};

        RowSetPtr rows;
        EXPECT_EQ(
            HrQueryAllRows(&table, columns.get(), &restriction, sort.get(), c.crowsMax, rows.Put()),
            c.expected)
            << c.what;

        EXPECT_EQ(table.columns, (std::vector<ULONG>{PR_ROWID, PR_DISPLAY_NAME_A})) << c.what;
        EXPECT_EQ(table.setColumnsFlags, TBL_BATCH) << c.what;
        EXPECT_EQ(table.restriction, &restriction) << c.what;
        EXPECT_EQ(table.restrictFlags, TBL_BATCH) << c.what;
        EXPECT_EQ(table.sortOrder, sort.get()) << c.what;
        EXPECT_EQ(table.seeksToBeginning, 1) << c.what;
        for (LONG asked : table.batches) EXPECT_GT(asked, 0) << c.what;
        if (c.expected == S_OK) {
            ASSERT_TRUE(rows) << c.what;
            EXPECT_EQ(RowIds(*rows.Get()), Sequence(c.tableRows)) << c.what;
            EXPECT_GT(table.batches.size(), c.tableRows / 256) << c.what;
        } else {
            EXPECT_FALSE(rows) << c.what;
            EXPECT_LE(table.cursor, static_cast<ULONG>(c.crowsMax) + 256)
                << c.what << ": an oversized table is not read to its end";
        }
        rows.Reset();
        EXPECT_EQ(NewLiveBuffers(), 0u) << c.what;
    }
}

TEST_F(RowListsTest, QueryAllRowsPassesOnFailuresAndKeepsNothing) {
    struct Case {
        const char* what;
        HRESULT setColumns;
        int failQueryRowsAt;
        std::size_t failAllocationAfter;  // successful allocations before one fails; 0: none
        HRESULT expected;
    };
    const Case cases[] = {
        {"SetColumns fails", MAPI_E_BAD_COLUMN, -1, 0, MAPI_E_BAD_COLUMN},
        {"the first QueryRows fails", S_OK, 0, 0, MAPI_E_NETWORK_ERROR},
        {"a later QueryRows fails", S_OK, 2, 0, MAPI_E_NETWORK_ERROR},
        {"the result cannot be allocated", S_OK, -1, (1 + 2 * 256) + (1 + 2 * 244) + 1,
         MAPI_E_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        test::FakeTable table(500);
        table.setColumnsResult = c.setColumns;
        table.failQueryRowsAt = c.failQueryRowsAt;
        if (c.failAllocationAfter > 0) portable::InjectAllocationFailures(c.failAllocationAfter);
        SizedSPropTagArray<1> columns{1, {PR_ROWID}};
        LPSRowSet rows = reinterpret_cast<LPSRowSet>(&table);
        EXPECT_EQ(HrQueryAllRows(&table, columns.get(), nullptr, nullptr, 0, &rows), c.expected)
            << c.what;
        EXPECT_EQ(rows, nullptr) << c.what;
        portable::ClearAllocationFailures();
        EXPECT_EQ(NewLiveBuffers(), 0u) << c.what;
    }
}

TEST_F(RowListsTest, QueryAllRowsWithoutColumnsKeepsTheTablesColumns) {
    test::FakeTable table(2);
    RowSetPtr rows;
    ASSERT_EQ(HrQueryAllRows(&table, nullptr, nullptr, nullptr, 0, rows.Put()), S_OK);
    EXPECT_EQ(rows.Count(), 2u);
    EXPECT_EQ(table.setColumnsFlags, ~0u) << "SetColumns is not called";
    EXPECT_EQ(table.restriction, nullptr);
    EXPECT_EQ(table.sortOrder, nullptr);
}

}  // namespace
}  // namespace mapi

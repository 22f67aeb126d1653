// A generic IMAPITable: hierarchy, contents, recipient, message-store, service and profile
// tables are all this one class over different rows.
//
// Rows are property maps. A snapshot table takes them once, when it is made (as a contents table
// that is read while its folder changes keeps the rows it had); a live table asks its source
// again at every call that reads rows. Each row gets PR_INSTANCE_KEY (4 bytes, its position in
// the source) unless it has one.
//
// Columns: SetColumns (TBL_BATCH accepted) chooses them; a column a row lacks comes back as a
// PT_ERROR value with MAPI_E_NOT_FOUND; a string column of the other width is converted; a
// PT_UNSPECIFIED column gives the stored type (strings as the table's unicode flag says).
// Restrict supports RES_AND, RES_OR, RES_NOT, RES_PROPERTY, RES_CONTENT, RES_BITMASK, RES_EXIST,
// RES_COMPAREPROPS and RES_SIZE; others fail with MAPI_E_TOO_COMPLEX. Strings compare folding
// ASCII A-Z; a row that lacks the property fails the comparison. Restrict and SortTable move the
// cursor to the beginning. QueryRows returns at most the rows asked for, from the cursor, with
// each row's values in a MAPI buffer of their own and the row set in another (free with
// FreeProws); an empty row set at the end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "mapi/mapi.h"
#include "sim/model.h"

namespace sim {

using Row = PropMap;
using RowSource = std::function<std::vector<Row>()>;

struct TableOptions {
    std::string label;                 // object label, e.g. "hierarchy:Inbox"
    std::vector<mapi::ULONG> columns;  // the columns before any SetColumns
    bool unicode = false;              // the table was asked for with MAPI_UNICODE
    // An object the table keeps a reference on while it lives (its folder, message, ...).
    mapi::ComPtr<mapi::IUnknown> owner;
};

mapi::ComPtr<mapi::IMAPITable> MakeTable(TableOptions options, std::vector<Row> rows);
mapi::ComPtr<mapi::IMAPITable> MakeLiveTable(TableOptions options, RowSource source);

// Restriction evaluation as Restrict and FindRow do it; MAPI_E_TOO_COMPLEX for kinds not listed.
mapi::HRESULT CheckRestriction(const mapi::SRestriction* restriction);
bool MatchesRestriction(const Row& row, const mapi::SRestriction* restriction);
// A readable rendering for CallRecord::args, e.g. "PROPERTY(EQ,0x30050003,1)".
std::string DescribeRestriction(const mapi::SRestriction* restriction);

// -1, 0 or 1 comparing two values of the same property as restrictions and sorts do; values of
// different types order by type.
int CompareValues(const PropValue& a, const PropValue& b);

}  // namespace sim

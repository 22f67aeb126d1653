// A MAPI entry identifier copied into the library's own memory, handed from the operation that
// finds it to the operation that uses it. The receiver frees it: the block first, then the record.
#pragma once

#include <cstdint>
#include <memory>

#include "mapi/mapi_structs.h"

namespace tav {

struct EntryIdRecord {
    std::uint8_t* bytes = nullptr;
    std::uint32_t count = 0;
};

// A new record holding a copy of the identifier's bytes.
EntryIdRecord* MakeEntryIdRecord(const mapi::SBinary& entryId);
void FreeEntryIdRecord(EntryIdRecord* record);

struct EntryIdRecordDeleter {
    void operator()(EntryIdRecord* record) const { FreeEntryIdRecord(record); }
};
using EntryIdRecordPtr = std::unique_ptr<EntryIdRecord, EntryIdRecordDeleter>;

}  // namespace tav

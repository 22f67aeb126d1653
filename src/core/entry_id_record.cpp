#include "core/entry_id_record.h"

#include <algorithm>

namespace tav {

EntryIdRecord* MakeEntryIdRecord(const mapi::SBinary& entryId) {
    auto record = std::make_unique<EntryIdRecord>();
    record->count = entryId.cb;
    record->bytes = new std::uint8_t[entryId.cb ? entryId.cb : 1];
    if (entryId.cb) std::copy_n(entryId.lpb, entryId.cb, record->bytes);
    return record.release();
}

void FreeEntryIdRecord(EntryIdRecord* record) {
    if (!record) return;
    delete[] record->bytes;
    delete record;
}

}  // namespace tav

// GetABItem and FreeABItem: one mailbox picked in the address book, handed to the console.
#include "addrbook/selection_dialog.h"
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
#include "core/exports.h"

namespace tav {
namespace {

constexpr char16_t kOpGet[] = u"ExchangeAdaptorDLL::GetABItem";
constexpr char16_t kOpFree[] = u"ExchangeAdaptorDLL::FreeABItem";

}  // namespace
}  // namespace tav

extern "C" bool GetABItem(tav::ABItem** item) {
    using namespace tav;
    return ExportBoundary(kOpGet, false, [&] {
        ClearLog();
        if (!item) {
            WriteLog(kOpGet, kLogTrace, u"Bad parameters.");
            return false;
        }
        mapi::AdrListPtr selected;
        if (!RunSelectionDialog(kOpGet, true, selected)) return false;
        bool created = false;
        // A record this call made is the console's only with a true result: an exception on
        // the way takes it back, so that the caller's pointer is left as it was.
        try {
            for (mapi::ULONG i = 0; i < selected.Count(); ++i) {
                const mapi::ADRENTRY& entry = selected[i];
                if (entry.cValues == 0 || !entry.rgPropVals) continue;
                if (IsDistributionList(entry)) {
                    WriteLog(kOpGet, kLogTrace, u"Cannot select Distribution List.");
                    continue;
                }
                if (!*item) {
                    *item = NewABItem();
                    created = true;
                }
                // Every selectable entry is read into the same record: the last one wins,
                // member by member.
                if (const mapi::SPropValue* entryId = FindValue(entry, mapi::PR_ENTRYID))
                    ReadSelectedEntry(kOpGet, entryId->Value.bin, **item, false);
            }
        } catch (...) {
            if (created) {
                DeleteABItem(*item);
                *item = nullptr;
            }
            throw;
        }
        return created;
    });
}

extern "C" bool FreeABItem(tav::ABItem** item) {
    using namespace tav;
    return ExportBoundary(kOpFree, false, [&] {
        ClearLog();
        if (!item) {
            WriteLog(kOpFree, kLogTrace, u"Bad parameters.");
            return false;
        }
        DeleteABItem(*item);
        *item = nullptr;
        return true;
    });
}

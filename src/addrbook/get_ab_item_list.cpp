// GetABItemList and FreeABItemList: several mailboxes picked in the address book, handed to the
// console as a list it reads in place.
#include "addrbook/selection_dialog.h"
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
#include "core/exports.h"

namespace tav {
namespace {

constexpr char16_t kOpGet[] = u"ExchangeAdaptorDLL::GetABItemList";
constexpr char16_t kOpFree[] = u"ExchangeAdaptorDLL::FreeABItemList";

// A fresh record for the entry, as far as it could be read.
void AppendEntry(const mapi::ADRENTRY& entry, ABItemList& list) {
    ABItem item{};
    InitABItem(item);
    try {
        if (const mapi::SPropValue* entryId = FindValue(entry, mapi::PR_ENTRYID))
            ReadSelectedEntry(kOpGet, entryId->Value.bin, item, true);
        AppendABItem(list, item);
    } catch (...) {
        ClearABItem(item);
        throw;
    }
    ClearABItem(item);
}

}  // namespace
}  // namespace tav

extern "C" bool GetABItemList(tav::ABItemList** list, std::uint32_t excludeDistLists) {
    using namespace tav;
    return ExportBoundary(kOpGet, false, [&] {
        ClearLog();
        if (!list) {
            WriteLog(kOpGet, kLogTrace, u"Bad parameters.");
            return false;
        }
        mapi::AdrListPtr selected;
        if (!RunSelectionDialog(kOpGet, false, selected)) return false;
        if (!*list) *list = NewABItemList();
        bool appended = false;
        for (mapi::ULONG i = 0; i < selected.Count(); ++i) {
            const mapi::ADRENTRY& entry = selected[i];
            if (entry.cValues == 0 || !entry.rgPropVals) continue;
            if (excludeDistLists && IsDistributionList(entry)) {
                WriteLog(kOpGet, kLogTrace,
                         u"Cannot add Distribution List as a user to the Tavrel Server.");
                continue;
            }
            // Room for every entry still to come, once there is one: a list to which nothing is
            // added keeps no storage.
            if (!appended) ReserveABItems(**list, ABItemCount(**list) + (selected.Count() - i));
            appended = true;
            AppendEntry(entry, **list);
        }
        return appended;
    });
}

extern "C" bool FreeABItemList(tav::ABItemList** list) {
    using namespace tav;
    return ExportBoundary(kOpFree, false, [&] {
        ClearLog();
        if (!list || !*list) {
            WriteLog(kOpFree, kLogTrace, u"Bad parameters.");
            return false;
        }
        DeleteABItemList(*list);
        *list = nullptr;
        return true;
    });
}

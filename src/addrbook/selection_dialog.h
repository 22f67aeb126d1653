// What single and list selection share: the parameters of MAPI's address-book dialog, and the
// reading of one picked entry into an ABItem.
#pragma once

#include "addrbook/ab_item.h"
#include "mapi/mapi.h"

namespace tav {

// The ADRPARM both selections give to IAddrBook::Address: caption "Select Mailbox" and one
// destination title "Select", 8-bit; everything else zero.
class SelectionDialogParams {
public:
    // Single selection: DIALOG_MODAL | ADDRESS_ONE | AB_SELECTONLY | AB_RESOLVE, no wells.
    // List selection: DIALOG_MODAL | AB_SELECTONLY | AB_RESOLVE, one well.
    explicit SelectionDialogParams(bool single);
    mapi::ADRPARM* Get() { return &params_; }

private:
    mapi::LPTSTR titles_[1];
    mapi::ADRPARM params_{};
};

// Shows the session's address-book dialog for single or list selection. True when entries came
// back in selected; otherwise the missing address book, the failed dialog (both with the 50013
// warning box) or the empty selection is logged under operation.
bool RunSelectionDialog(const char16_t* operation, bool single, mapi::AdrListPtr& selected);

const mapi::SPropValue* FindValue(const mapi::ADRENTRY& entry, mapi::ULONG tag);
bool IsDistributionList(const mapi::ADRENTRY& entry);

// Opens the entry and reads its names, home database, DN and SMTP address into item; the members
// whose property is missing stay as they were, and a failure leaves item untouched. With
// nameToo, Name gets the display name as well.
void ReadSelectedEntry(const char16_t* operation, const mapi::SBinary& entryId, ABItem& item,
                       bool nameToo);

}  // namespace tav

#include "addrbook/selection_dialog.h"

#include <string>

#include "addrbook/smtp_address.h"
#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"
#include "core/resource_text.h"
#include "core/text.h"

namespace tav {

SelectionDialogParams::SelectionDialogParams(bool single) {
    titles_[0] = "Select";
    params_.ulFlags = mapi::DIALOG_MODAL | mapi::AB_SELECTONLY | mapi::AB_RESOLVE |
                      (single ? mapi::ADDRESS_ONE : 0);
    params_.lpszCaption = "Select Mailbox";
    params_.cDestFields = single ? 0 : 1;
    params_.lppszDestTitles = titles_;
}

bool RunSelectionDialog(const char16_t* operation, bool single, mapi::AdrListPtr& selected) {
    AdaptorSession& s = Session();
    if (!s.addrBook) {
        ShowWarningBox(ResourceText::LoadString(kTextAddressBookFailed));
        WriteLog(operation, kLogTrace,
                 u"Cannot display Address Book dialog, no valid AB object available.");
        return false;
    }
    SelectionDialogParams params(single);
    mapi::HRESULT hr = s.addrBook->Address(&s.uiParam, params.Get(), selected.Put());
    if (mapi::FAILED(hr) && hr != mapi::MAPI_E_USER_CANCEL) {
        ShowWarningBox(ResourceText::LoadString(kTextAddressBookFailed));
        WriteLog(operation, kLogTrace, u"Failed to display Address Book dialog, result=0x%08x.",
                 hr);
        return false;
    }
    // A cancel is no error: it leaves the selection empty, as OK with nothing picked does.
    if (selected.Count() == 0) {
        WriteLog(operation, kLogTrace, u"No recipients selected.");
        return false;
    }
    return true;
}

const mapi::SPropValue* FindValue(const mapi::ADRENTRY& entry, mapi::ULONG tag) {
    for (mapi::ULONG i = 0; entry.rgPropVals && i < entry.cValues; ++i)
        if (entry.rgPropVals[i].ulPropTag == tag) return &entry.rgPropVals[i];
    return nullptr;
}

bool IsDistributionList(const mapi::ADRENTRY& entry) {
    for (mapi::ULONG i = 0; entry.rgPropVals && i < entry.cValues; ++i) {
        const mapi::SPropValue& value = entry.rgPropVals[i];
        if (value.ulPropTag == mapi::PR_OBJECT_TYPE &&
            static_cast<mapi::ULONG>(value.Value.l) == mapi::MAPI_DISTLIST)
            return true;
    }
    return false;
}

void ReadSelectedEntry(const char16_t* operation, const mapi::SBinary& entryId, ABItem& item,
                       bool nameToo) {
    AdaptorSession& s = Session();
    auto* id = reinterpret_cast<mapi::LPENTRYID>(entryId.lpb);
    mapi::ULONG type = 0;
    mapi::ComPtr<mapi::IMAPIProp> entry;
    mapi::HRESULT hr = s.addrBook->OpenEntry(entryId.cb, id, &mapi::IID_IMAPIProp, 0, &type,
                                             entry.PutUnknown());
    hr = mapi::Obtained(hr, entry);
    if (mapi::FAILED(hr)) {
        WriteLog(operation, kLogTrace, u"OpenEntry failed, result=0x%08x.", hr);
        return;
    }

    std::u16string smtp;
    mapi::ULONG isMapiRecipient = 0;
    char16_t* resolved = nullptr;
    if (mapi::FAILED(HrGWResolveProxy(s.addrBook.Get(), entryId.cb, id, u"SMTP", &isMapiRecipient,
                                      &resolved))) {
        WriteLog(operation, kLogTrace, u"HrGWResolveProxy failed; no SMTP address available.");
    }
    if (resolved) {
        mapi::MapiBuffer<char16_t> owned(resolved);
        smtp = WideView(resolved);
    }

    mapi::SizedSPropTagArray<3> tags{
        3, {mapi::PR_DISPLAY_NAME_W, mapi::PR_EMS_AB_HOME_MDB_W, mapi::PR_EMAIL_ADDRESS_W}};
    mapi::ULONG count = 0;
    mapi::MapiBuffer<mapi::SPropValue> values;
    hr = entry->GetProps(tags.get(), 0, &count, values.Put());
    hr = mapi::Obtained(hr, values);
    if (mapi::FAILED(hr)) {
        WriteLog(operation, kLogTrace, u"GetProps failed, result=0x%08x.", hr);
        return;
    }
    WideStringSlot* members[3] = {&item.DisplayName, &item.HomeMDB, &item.MailboxDN};
    for (mapi::ULONG i = 0; i < count && i < 3; ++i) {
        if (values[i].ulPropTag != tags.aulPropTag[i]) continue;  // came back as an error
        AssignSlot(*members[i], WideView(values[i].Value.lpszW));
        if (i == 0 && nameToo) AssignSlot(item.Name, WideView(values[i].Value.lpszW));
    }
    AssignSlot(item.SMTPAddress, smtp);
    WriteLog(operation, kLogTrace, u"Recipient selected MailboxDN=%s.", SlotText(item.MailboxDN));
}

}  // namespace tav

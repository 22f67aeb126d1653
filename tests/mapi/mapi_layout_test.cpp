// Layouts that MAPI32 and its providers depend on: struct sizes and offsets, tag values, and the
// vtable slot of each interface method the library calls.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "mapi/mapi.h"

namespace mapi {
namespace {

// The SDK layouts on 32-bit targets (i686 Windows is the production target).
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SPropValue) == 16 && offsetof(SPropValue, Value) == 8);
static_assert(sizeof(SBinary) == 8 && sizeof(SRow) == 12 && sizeof(ADRENTRY) == 12);
static_assert(offsetof(SRow, lpProps) == 8 && offsetof(ADRENTRY, rgPropVals) == 8);
static_assert(sizeof(SRowSet) == 16 && sizeof(ADRLIST) == 16);
static_assert(CbNewSRowSet(3) == 40 && CbNewADRLIST(1) == 16);
static_assert(sizeof(SPropTagArray) == 8 && CbNewSPropTagArray(6) == 28);
static_assert(sizeof(SizedSPropTagArray<4>) == CbNewSPropTagArray(4));
static_assert(sizeof(ENTRYLIST) == 8 && sizeof(MAPINAMEID) == 12);
static_assert(offsetof(MAPINAMEID, Kind) == 8);
static_assert(sizeof(SRestriction) == 16 && offsetof(SRestriction, res) == 4);
static_assert(sizeof(SPropertyRestriction) == 12);
static_assert(offsetof(SRestriction, res.resProperty.lpProp) == 12);
static_assert(sizeof(SSortOrderSet) == 20 && CbNewSSortOrderSet(2) == 28);
static_assert(sizeof(SPropProblem) == 12 && CbNewSPropProblemArray(2) == 28);
static_assert(sizeof(MAPIERROR) == 20 && sizeof(MAPIINIT_0) == 8);
static_assert(sizeof(STATSTG) == 72 && offsetof(STATSTG, cbSize) == 8);
static_assert(offsetof(STATSTG, clsid) == 48);
static_assert(sizeof(ADRPARM) == 72);
static_assert(offsetof(ADRPARM, cbABContEntryID) == 0);
static_assert(offsetof(ADRPARM, lpABContEntryID) == 4);
static_assert(offsetof(ADRPARM, ulFlags) == 8);
static_assert(offsetof(ADRPARM, lpReserved) == 12);
static_assert(offsetof(ADRPARM, ulHelpContext) == 16);
static_assert(offsetof(ADRPARM, lpszHelpFileName) == 20);
static_assert(offsetof(ADRPARM, lpfnABSDI) == 24);
static_assert(offsetof(ADRPARM, lpfnDismiss) == 28);
static_assert(offsetof(ADRPARM, lpvDismissContext) == 32);
static_assert(offsetof(ADRPARM, lpszCaption) == 36);
static_assert(offsetof(ADRPARM, lpszNewEntryTitle) == 40);
static_assert(offsetof(ADRPARM, lpszDestWellsTitle) == 44);
static_assert(offsetof(ADRPARM, cDestFields) == 48);
static_assert(offsetof(ADRPARM, nDestFieldFocus) == 52);
static_assert(offsetof(ADRPARM, lppszDestTitles) == 56);
static_assert(offsetof(ADRPARM, lpulDestComps) == 60);
static_assert(offsetof(ADRPARM, lpContRestriction) == 64);
static_assert(offsetof(ADRPARM, lpHierRestriction) == 68);
#else
// The same structs with 8-byte pointers (the Linux build and Windows x64).
static_assert(sizeof(SPropValue) == 24 && offsetof(SPropValue, Value) == 8);
static_assert(sizeof(SBinary) == 16 && sizeof(SRow) == 16 && sizeof(ADRENTRY) == 16);
static_assert(CbNewSRowSet(3) == 56 && CbNewADRLIST(1) == 24);
static_assert(sizeof(MAPINAMEID) == 24 && sizeof(SRestriction) == 32);
static_assert(sizeof(ADRPARM) == 136 && offsetof(ADRPARM, lpszCaption) == 72);
static_assert(offsetof(ADRPARM, cDestFields) == 96 && offsetof(ADRPARM, lppszDestTitles) == 104);
#endif
static_assert(sizeof(FILETIME) == 8 && sizeof(GUID) == 16 && sizeof(MAPIUID) == 16);
static_assert(alignof(SPropValue) >= 4);

// Tags, flag words and identifiers whose values come from the stored data and the Windows
// headers, spelled out once more in their documented form.
static_assert(PROP_TAG(PT_UNICODE, 0x3001) == PR_DISPLAY_NAME_W);
static_assert(PROP_ID(PR_SERVICE_NAME_W) == 0x3D09 && PROP_ID(PR_SERVICE_UID) == 0x3D0C);
static_assert(PROP_TYPE(PR_EMS_AB_PROXY_ADDRESSES_W) == PT_MV_UNICODE);
static_assert((MAPI_UNICODE | MAPI_NO_MAIL | MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE |
               MAPI_NEW_SESSION | MAPI_LOGON_UI) == 0x80008033u);
static_assert((MDB_NO_DIALOG | MDB_WRITE | MDB_TEMPORARY | MDB_NO_MAIL) == 0xA5u);
static_assert((OPENSTORE_USE_ADMIN_PRIVILEGE | OPENSTORE_TAKE_OWNERSHIP) == 0x9u);
static_assert((DIALOG_MODAL | ADDRESS_ONE | AB_SELECTONLY | AB_RESOLVE) == 0x39u);
static_assert((SERVICE_UI_ALWAYS | SERVICE_UI_ALLOWED) == 0x12u);
static_assert((MAPI_UNICODE | OPEN_IF_EXISTS) == 0x80000001u);
static_assert(MAPI_E_NO_ACCESS == static_cast<HRESULT>(0x80070005u));
static_assert(IID_IExchangeManageStore.Data1 == 0x559D10B0 &&
              IID_IExchangeManageStore.Data4[7] == 0x5A);
static_assert(PS_PUBLIC_STRINGS == MakeOleGuid(0x00020329));
static_assert(!(IID_IMAPIFolder == IID_IMessage));

// The vtable slot of a virtual member function, read from its member pointer as the Itanium C++
// ABI (GCC and Clang on Linux and MinGW) encodes it: one plus the byte offset in the vtable.
template <class C, class F>
std::size_t Slot(F C::*method) {
    struct ItaniumMemberPointer {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof(method) == sizeof(raw));
    std::memcpy(&raw, &method, sizeof(raw));
    return (raw.ptr - 1) / sizeof(void*);
}

struct SlotCase {
    const char* method;
    std::size_t actual;
    std::size_t expected;
};

TEST(MapiLayoutTest, MethodsSitInTheSdkVtableSlots) {
    const SlotCase cases[] = {
        {"IUnknown::Release", Slot(&IUnknown::Release), 2},
        {"IMAPIProp::GetLastError", Slot(&IMAPIProp::GetLastError), 3},
        {"IMAPIProp::SaveChanges", Slot(&IMAPIProp::SaveChanges), 4},
        {"IMAPIProp::GetProps", Slot(&IMAPIProp::GetProps), 5},
        {"IMAPIProp::OpenProperty", Slot(&IMAPIProp::OpenProperty), 7},
        {"IMAPIProp::SetProps", Slot(&IMAPIProp::SetProps), 8},
        {"IMAPIProp::GetIDsFromNames", Slot(&IMAPIProp::GetIDsFromNames), 13},
        {"IMAPIContainer::GetContentsTable", Slot(&IMAPIContainer::GetContentsTable), 14},
        {"IMAPIContainer::GetHierarchyTable", Slot(&IMAPIContainer::GetHierarchyTable), 15},
        {"IMAPIContainer::OpenEntry", Slot(&IMAPIContainer::OpenEntry), 16},
        {"IMAPIFolder::CreateMessage", Slot(&IMAPIFolder::CreateMessage), 19},
        {"IMAPIFolder::DeleteMessages", Slot(&IMAPIFolder::DeleteMessages), 21},
        {"IMAPIFolder::CreateFolder", Slot(&IMAPIFolder::CreateFolder), 22},
        {"IMAPIFolder::EmptyFolder", Slot(&IMAPIFolder::EmptyFolder), 29},
        {"IMsgStore::CompareEntryIDs", Slot(&IMsgStore::CompareEntryIDs), 16},
        {"IMsgStore::OpenEntry", Slot(&IMsgStore::OpenEntry), 17},
        {"IMsgStore::GetReceiveFolder", Slot(&IMsgStore::GetReceiveFolder), 19},
        {"IMsgStore::NotifyNewMail", Slot(&IMsgStore::NotifyNewMail), 26},
        {"IMessage::ModifyRecipients", Slot(&IMessage::ModifyRecipients), 19},
        {"IMessage::SubmitMessage", Slot(&IMessage::SubmitMessage), 20},
        {"IMessage::SetReadFlag", Slot(&IMessage::SetReadFlag), 21},
        {"IMAPITable::SetColumns", Slot(&IMAPITable::SetColumns), 7},
        {"IMAPITable::GetRowCount", Slot(&IMAPITable::GetRowCount), 9},
        {"IMAPITable::SeekRow", Slot(&IMAPITable::SeekRow), 10},
        {"IMAPITable::Restrict", Slot(&IMAPITable::Restrict), 14},
        {"IMAPITable::SortTable", Slot(&IMAPITable::SortTable), 17},
        {"IMAPITable::QueryRows", Slot(&IMAPITable::QueryRows), 19},
        {"IMAPITable::SetCollapseState", Slot(&IMAPITable::SetCollapseState), 25},
        {"IMAPISession::GetMsgStoresTable", Slot(&IMAPISession::GetMsgStoresTable), 4},
        {"IMAPISession::OpenMsgStore", Slot(&IMAPISession::OpenMsgStore), 5},
        {"IMAPISession::OpenAddressBook", Slot(&IMAPISession::OpenAddressBook), 6},
        {"IMAPISession::Logoff", Slot(&IMAPISession::Logoff), 17},
        {"IMAPISession::PrepareForm", Slot(&IMAPISession::PrepareForm), 21},
        {"IAddrBook::OpenEntry", Slot(&IAddrBook::OpenEntry), 14},
        {"IAddrBook::Address", Slot(&IAddrBook::Address), 21},
        {"IAddrBook::PrepareRecips", Slot(&IAddrBook::PrepareRecips), 31},
        {"IProfAdmin::CreateProfile", Slot(&IProfAdmin::CreateProfile), 5},
        {"IProfAdmin::DeleteProfile", Slot(&IProfAdmin::DeleteProfile), 6},
        {"IProfAdmin::AdminServices", Slot(&IProfAdmin::AdminServices), 11},
        {"IMsgServiceAdmin::GetMsgServiceTable", Slot(&IMsgServiceAdmin::GetMsgServiceTable), 4},
        {"IMsgServiceAdmin::CreateMsgService", Slot(&IMsgServiceAdmin::CreateMsgService), 5},
        {"IMsgServiceAdmin::ConfigureMsgService", Slot(&IMsgServiceAdmin::ConfigureMsgService), 9},
        {"IMsgServiceAdmin::GetProviderTable", Slot(&IMsgServiceAdmin::GetProviderTable), 14},
        {"IExchangeManageStore::CreateStoreEntryID",
         Slot(&IExchangeManageStore::CreateStoreEntryID), 3},
        {"IExchangeManageStore::GetPublicFolderTable",
         Slot(&IExchangeManageStore::GetPublicFolderTable), 7},
        {"IStream::Write", Slot(&IStream::Write), 4},
        {"IStream::Commit", Slot(&IStream::Commit), 8},
        {"IStream::Clone", Slot(&IStream::Clone), 13},
        {"IMAPIAdviseSink::OnNotify", Slot(&IMAPIAdviseSink::OnNotify), 3},
    };
    for (const SlotCase& c : cases) {
        EXPECT_EQ(c.actual, c.expected) << c.method;
    }
}

TEST(MapiLayoutTest, TStrCarriesEitherWidthInOnePointer) {
    const char narrow[] = "Select Mailbox";
    const char16_t wide[] = u"TavrelSynch";
    ADRPARM params{};
    TStr title = narrow;
    params.lpszCaption = narrow;
    params.lppszDestTitles = &title;
    EXPECT_EQ(std::string(params.lpszCaption.a()), "Select Mailbox");
    EXPECT_EQ(params.lppszDestTitles[0].a(), narrow);
    const TStr w = wide;
    EXPECT_EQ(std::u16string(w.w()), u"TavrelSynch");
    EXPECT_FALSE(TStr{});
}

}  // namespace
}  // namespace mapi

// The COM interfaces of Extended MAPI and of the Exchange store manager that the library uses,
// as abstract classes whose virtual functions are in the SDK's vtable order (mapidefs.h,
// mapix.h, edkmdb.h, objidl.h). Each class adds its methods after those of its base, so the
// layout of an object's vtable is the one MAPI32 and its providers call through.
//
// Rules that keep the layout: no virtual destructor, no data members, single inheritance only,
// and MAPI_CALL on every method. String arguments typed LPTSTR carry 8-bit or UTF-16 text as
// the call's flags say (MAPI_UNICODE).
#pragma once

#include "mapi/mapi_guids.h"
#include "mapi/mapi_structs.h"
#include "mapi/mapi_types.h"

namespace mapi {

class IUnknown;
class IMAPIAdviseSink;
class IMAPIProgress;
class IMAPIProp;
class IMAPIContainer;
class IMAPIFolder;
class IMAPITable;
class IMsgStore;
class IMessage;
class IAttach;
class IMAPISession;
class IAddrBook;
class IABContainer;
class IMailUser;
class IDistList;
class IProfSect;
class IProfAdmin;
class IMsgServiceAdmin;
class IProviderAdmin;
class IExchangeManageStore;
class ISequentialStream;
class IStream;

using LPUNKNOWN = IUnknown*;
using LPMAPIADVISESINK = IMAPIAdviseSink*;
using LPMAPIPROGRESS = IMAPIProgress*;
using LPMAPIPROP = IMAPIProp*;
using LPMAPICONTAINER = IMAPIContainer*;
using LPMAPIFOLDER = IMAPIFolder*;
using LPMAPITABLE = IMAPITable*;
using LPMDB = IMsgStore*;
using LPMESSAGE = IMessage*;
using LPATTACH = IAttach*;
using LPMAPISESSION = IMAPISession*;
using LPADRBOOK = IAddrBook*;
using LPABCONT = IABContainer*;
using LPMAILUSER = IMailUser*;
using LPDISTLIST = IDistList*;
using LPPROFSECT = IProfSect*;
using LPPROFADMIN = IProfAdmin*;
using LPSERVICEADMIN = IMsgServiceAdmin*;
using LPPROVIDERADMIN = IProviderAdmin*;
using LPEXCHANGEMANAGESTORE = IExchangeManageStore*;
using LPSTREAM = IStream*;

class IUnknown {
  public:
    virtual HRESULT MAPI_CALL QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG MAPI_CALL AddRef() = 0;
    virtual ULONG MAPI_CALL Release() = 0;

  protected:
    // Objects are destroyed by their last Release, never through an interface pointer.
    ~IUnknown() = default;
};

class IMAPIAdviseSink : public IUnknown {
  public:
    virtual ULONG MAPI_CALL OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) = 0;
};

class IMAPIProgress : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL Progress(ULONG ulValue, ULONG ulCount, ULONG ulTotal) = 0;
    virtual HRESULT MAPI_CALL GetFlags(ULONG* lpulFlags) = 0;
    virtual HRESULT MAPI_CALL GetMax(ULONG* lpulMax) = 0;
    virtual HRESULT MAPI_CALL GetMin(ULONG* lpulMin) = 0;
    virtual HRESULT MAPI_CALL SetLimits(ULONG* lpulMin, ULONG* lpulMax, ULONG* lpulFlags) = 0;
};

class IMAPIProp : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL GetLastError(HRESULT hResult, ULONG ulFlags,
                                           LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT MAPI_CALL SaveChanges(ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags,
                                       ULONG* lpcValues, LPSPropValue* lppPropArray) = 0;
    virtual HRESULT MAPI_CALL GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
    virtual HRESULT MAPI_CALL OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions,
                                           ULONG ulFlags, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT MAPI_CALL SetProps(ULONG cValues, LPSPropValue lpPropArray,
                                       LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT MAPI_CALL DeleteProps(LPSPropTagArray lpPropTagArray,
                                          LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT MAPI_CALL CopyTo(ULONG ciidExclude, LPCIID rgiidExclude,
                                     LPSPropTagArray lpExcludeProps, ULONG_PTR ulUIParam,
                                     LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                                     LPVOID lpDestObj, ULONG ulFlags,
                                     LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT MAPI_CALL CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR ulUIParam,
                                        LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                                        LPVOID lpDestObj, ULONG ulFlags,
                                        LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT MAPI_CALL GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid,
                                              ULONG ulFlags, ULONG* lpcPropNames,
                                              LPMAPINAMEID** lpppPropNames) = 0;
    virtual HRESULT MAPI_CALL GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames,
                                              ULONG ulFlags, LPSPropTagArray* lppPropTags) = 0;
};

class IMAPIContainer : public IMAPIProp {
  public:
    virtual HRESULT MAPI_CALL GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                        ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT MAPI_CALL SetSearchCriteria(LPSRestriction lpRestriction,
                                                LPENTRYLIST lpContainerList,
                                                ULONG ulSearchFlags) = 0;
    virtual HRESULT MAPI_CALL GetSearchCriteria(ULONG ulFlags, LPSRestriction* lppRestriction,
                                                LPENTRYLIST* lppContainerList,
                                                ULONG* lpulSearchState) = 0;
};

class IMAPIFolder : public IMAPIContainer {
  public:
    virtual HRESULT MAPI_CALL CreateMessage(LPCIID lpInterface, ULONG ulFlags,
                                            LPMESSAGE* lppMessage) = 0;
    virtual HRESULT MAPI_CALL CopyMessages(LPENTRYLIST lpMsgList, LPCIID lpInterface,
                                           LPVOID lpDestFolder, ULONG_PTR ulUIParam,
                                           LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL DeleteMessages(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam,
                                             LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL CreateFolder(ULONG ulFolderType, LPTSTR lpszFolderName,
                                           LPTSTR lpszFolderComment, LPCIID lpInterface,
                                           ULONG ulFlags, LPMAPIFOLDER* lppFolder) = 0;
    virtual HRESULT MAPI_CALL CopyFolder(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                         LPVOID lpDestFolder, LPTSTR lpszNewFolderName,
                                         ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                         ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL DeleteFolder(ULONG cbEntryID, LPENTRYID lpEntryID,
                                           ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                           ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL SetReadFlags(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam,
                                           LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL GetMessageStatus(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulFlags,
                                               ULONG* lpulMessageStatus) = 0;
    virtual HRESULT MAPI_CALL SetMessageStatus(ULONG cbEntryID, LPENTRYID lpEntryID,
                                               ULONG ulNewStatus, ULONG ulNewStatusMask,
                                               ULONG* lpulOldStatus) = 0;
    virtual HRESULT MAPI_CALL SaveContentsSort(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL EmptyFolder(ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                          ULONG ulFlags) = 0;
};

class IMAPITable : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL GetLastError(HRESULT hResult, ULONG ulFlags,
                                           LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT MAPI_CALL Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                                     ULONG* lpulConnection) = 0;
    virtual HRESULT MAPI_CALL Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT MAPI_CALL GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
    virtual HRESULT MAPI_CALL SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
    virtual HRESULT MAPI_CALL GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
    virtual HRESULT MAPI_CALL SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
    virtual HRESULT MAPI_CALL SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) = 0;
    virtual HRESULT MAPI_CALL QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator,
                                            ULONG* lpulDenominator) = 0;
    virtual HRESULT MAPI_CALL FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin,
                                      ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL CreateBookmark(BOOKMARK* lpbkPosition) = 0;
    virtual HRESULT MAPI_CALL FreeBookmark(BOOKMARK bkPosition) = 0;
    virtual HRESULT MAPI_CALL SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL QuerySortOrder(LPSSortOrderSet* lppSortCriteria) = 0;
    virtual HRESULT MAPI_CALL QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
    virtual HRESULT MAPI_CALL Abort() = 0;
    virtual HRESULT MAPI_CALL ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount,
                                        ULONG ulFlags, LPSRowSet* lppRows, ULONG* lpulMoreRows) = 0;
    virtual HRESULT MAPI_CALL CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags,
                                          ULONG* lpulRowCount) = 0;
    virtual HRESULT MAPI_CALL WaitForCompletion(ULONG ulFlags, ULONG ulTimeout,
                                                ULONG* lpulTableStatus) = 0;
    virtual HRESULT MAPI_CALL GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey,
                                               LPBYTE lpbInstanceKey, ULONG* lpcbCollapseState,
                                               LPBYTE* lppbCollapseState) = 0;
    virtual HRESULT MAPI_CALL SetCollapseState(ULONG ulFlags, ULONG cbCollapseState,
                                               LPBYTE pbCollapseState, BOOKMARK* lpbkLocation) = 0;
};

class IMsgStore : public IMAPIProp {
  public:
    virtual HRESULT MAPI_CALL Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                     LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    virtual HRESULT MAPI_CALL Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT MAPI_CALL CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1,
                                              ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG ulFlags,
                                              ULONG* lpulResult) = 0;
    virtual HRESULT MAPI_CALL OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                        ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT MAPI_CALL SetReceiveFolder(LPTSTR lpszMessageClass, ULONG ulFlags,
                                               ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    virtual HRESULT MAPI_CALL GetReceiveFolder(LPTSTR lpszMessageClass, ULONG ulFlags,
                                               ULONG* lpcbEntryID, LPENTRYID* lppEntryID,
                                               LPTSTR* lppszExplicitClass) = 0;
    virtual HRESULT MAPI_CALL GetReceiveFolderTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL StoreLogoff(ULONG* lpulFlags) = 0;
    virtual HRESULT MAPI_CALL AbortSubmit(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL GetOutgoingQueue(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL SetLockState(LPMESSAGE lpMessage, ULONG ulLockState) = 0;
    virtual HRESULT MAPI_CALL FinishedMsg(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    virtual HRESULT MAPI_CALL NotifyNewMail(LPNOTIFICATION lpNotification) = 0;
};

class IMessage : public IMAPIProp {
  public:
    virtual HRESULT MAPI_CALL GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags,
                                         LPATTACH* lppAttach) = 0;
    virtual HRESULT MAPI_CALL CreateAttach(LPCIID lpInterface, ULONG ulFlags,
                                           ULONG* lpulAttachmentNum, LPATTACH* lppAttach) = 0;
    virtual HRESULT MAPI_CALL DeleteAttach(ULONG ulAttachmentNum, ULONG_PTR ulUIParam,
                                           LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) = 0;
    virtual HRESULT MAPI_CALL SubmitMessage(ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL SetReadFlag(ULONG ulFlags) = 0;
};

class IAttach : public IMAPIProp {};

class IProfSect : public IMAPIProp {};

class IMailUser : public IMAPIProp {};

class IABContainer : public IMAPIContainer {
  public:
    virtual HRESULT MAPI_CALL CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                          LPMAPIPROP* lppMAPIPropEntry) = 0;
    virtual HRESULT MAPI_CALL CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam,
                                          LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags,
                                           LPADRLIST lpAdrList, LPFlagList lpFlagList) = 0;
};

class IDistList : public IMAPIContainer {
  public:
    virtual HRESULT MAPI_CALL CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                          LPMAPIPROP* lppMAPIPropEntry) = 0;
    virtual HRESULT MAPI_CALL CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam,
                                          LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags,
                                           LPADRLIST lpAdrList, LPFlagList lpFlagList) = 0;
};

class IAddrBook : public IMAPIProp {
  public:
    virtual HRESULT MAPI_CALL OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                        ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT MAPI_CALL CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1,
                                              ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG ulFlags,
                                              ULONG* lpulResult) = 0;
    virtual HRESULT MAPI_CALL Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                     LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    virtual HRESULT MAPI_CALL Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT MAPI_CALL CreateOneOff(LPTSTR lpszName, LPTSTR lpszAdrType, LPTSTR lpszAddress,
                                           ULONG ulFlags, ULONG* lpcbEntryID,
                                           LPENTRYID* lppEntryID) = 0;
    virtual HRESULT MAPI_CALL NewEntry(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cbEIDContainer,
                                       LPENTRYID lpEIDContainer, ULONG cbEIDNewEntryTpl,
                                       LPENTRYID lpEIDNewEntryTpl, ULONG* lpcbEIDNewEntry,
                                       LPENTRYID* lppEIDNewEntry) = 0;
    virtual HRESULT MAPI_CALL ResolveName(ULONG_PTR ulUIParam, ULONG ulFlags,
                                          LPTSTR lpszNewEntryTitle, LPADRLIST lpAdrList) = 0;
    virtual HRESULT MAPI_CALL Address(ULONG_PTR* lpulUIParam, LPADRPARM lpAdrParms,
                                      LPADRLIST* lppAdrList) = 0;
    virtual HRESULT MAPI_CALL Details(ULONG_PTR* lpulUIParam, LPFNDISMISS lpfnDismiss,
                                      LPVOID lpvDismissContext, ULONG cbEntryID,
                                      LPENTRYID lpEntryID, LPFNBUTTON lpfButtonCallback,
                                      LPVOID lpvButtonContext, LPTSTR lpszButtonText,
                                      ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL RecipOptions(ULONG_PTR ulUIParam, ULONG ulFlags,
                                           LPADRENTRY lpRecip) = 0;
    virtual HRESULT MAPI_CALL QueryDefaultRecipOpt(LPTSTR lpszAdrType, ULONG ulFlags,
                                                   ULONG* lpcValues, LPSPropValue* lppOptions) = 0;
    virtual HRESULT MAPI_CALL GetPAB(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    virtual HRESULT MAPI_CALL SetPAB(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    virtual HRESULT MAPI_CALL GetDefaultDir(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    virtual HRESULT MAPI_CALL SetDefaultDir(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    virtual HRESULT MAPI_CALL GetSearchPath(ULONG ulFlags, LPSRowSet* lppSearchPath) = 0;
    virtual HRESULT MAPI_CALL SetSearchPath(ULONG ulFlags, LPSRowSet lpSearchPath) = 0;
    virtual HRESULT MAPI_CALL PrepareRecips(ULONG ulFlags, LPSPropTagArray lpPropTagArray,
                                            LPADRLIST lpRecipList) = 0;
};

class IMAPISession : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL GetLastError(HRESULT hResult, ULONG ulFlags,
                                           LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT MAPI_CALL GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL OpenMsgStore(ULONG_PTR ulUIParam, ULONG cbEntryID,
                                           LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                           LPMDB* lppMDB) = 0;
    virtual HRESULT MAPI_CALL OpenAddressBook(ULONG_PTR ulUIParam, LPCIID lpInterface,
                                              ULONG ulFlags, LPADRBOOK* lppAdrBook) = 0;
    virtual HRESULT MAPI_CALL OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags,
                                                 LPPROFSECT* lppProfSect) = 0;
    virtual HRESULT MAPI_CALL GetStatusTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                        ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT MAPI_CALL CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1,
                                              ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG ulFlags,
                                              ULONG* lpulResult) = 0;
    virtual HRESULT MAPI_CALL Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                     LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    virtual HRESULT MAPI_CALL Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT MAPI_CALL MessageOptions(ULONG_PTR ulUIParam, ULONG ulFlags, LPTSTR lpszAdrType,
                                             LPMESSAGE lpMessage) = 0;
    virtual HRESULT MAPI_CALL QueryDefaultMessageOpt(LPTSTR lpszAdrType, ULONG ulFlags,
                                                     ULONG* lpcValues,
                                                     LPSPropValue* lppOptions) = 0;
    virtual HRESULT MAPI_CALL EnumAdrTypes(ULONG ulFlags, ULONG* lpcAdrTypes,
                                           LPTSTR** lpppszAdrTypes) = 0;
    virtual HRESULT MAPI_CALL QueryIdentity(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    virtual HRESULT MAPI_CALL Logoff(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;
    virtual HRESULT MAPI_CALL SetDefaultStore(ULONG ulFlags, ULONG cbEntryID,
                                              LPENTRYID lpEntryID) = 0;
    virtual HRESULT MAPI_CALL AdminServices(ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) = 0;
    virtual HRESULT MAPI_CALL ShowForm(ULONG_PTR ulUIParam, LPMDB lpMsgStore,
                                       LPMAPIFOLDER lpParentFolder, LPCIID lpInterface,
                                       ULONG ulMessageToken, LPMESSAGE lpMessageSent, ULONG ulFlags,
                                       ULONG ulMessageStatus, ULONG ulMessageFlags, ULONG ulAccess,
                                       LPSTR lpszMessageClass) = 0;
    virtual HRESULT MAPI_CALL PrepareForm(LPCIID lpInterface, LPMESSAGE lpMessage,
                                          ULONG* lpulMessageToken) = 0;
};

class IProfAdmin : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL GetLastError(HRESULT hResult, ULONG ulFlags,
                                           LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT MAPI_CALL GetProfileTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL CreateProfile(LPTSTR lpszProfileName, LPTSTR lpszPassword,
                                            ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL DeleteProfile(LPTSTR lpszProfileName, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL ChangeProfilePassword(LPTSTR lpszProfileName, LPTSTR lpszOldPassword,
                                                    LPTSTR lpszNewPassword, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL CopyProfile(LPTSTR lpszOldProfileName, LPTSTR lpszOldPassword,
                                          LPTSTR lpszNewProfileName, ULONG_PTR ulUIParam,
                                          ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL RenameProfile(LPTSTR lpszOldProfileName, LPTSTR lpszOldPassword,
                                            LPTSTR lpszNewProfileName, ULONG_PTR ulUIParam,
                                            ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL SetDefaultProfile(LPTSTR lpszProfileName, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL AdminServices(LPTSTR lpszProfileName, LPTSTR lpszPassword,
                                            ULONG_PTR ulUIParam, ULONG ulFlags,
                                            LPSERVICEADMIN* lppServiceAdmin) = 0;
};

class IMsgServiceAdmin : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL GetLastError(HRESULT hResult, ULONG ulFlags,
                                           LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT MAPI_CALL GetMsgServiceTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL CreateMsgService(LPTSTR lpszService, LPTSTR lpszDisplayName,
                                               ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL DeleteMsgService(LPMAPIUID lpUID) = 0;
    virtual HRESULT MAPI_CALL CopyMsgService(LPMAPIUID lpUID, LPTSTR lpszDisplayName,
                                             LPCIID lpInterfaceToCopy, LPCIID lpInterfaceDst,
                                             LPVOID lpObjectDst, ULONG_PTR ulUIParam,
                                             ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL RenameMsgService(LPMAPIUID lpUID, ULONG ulFlags,
                                               LPTSTR lpszDisplayName) = 0;
    virtual HRESULT MAPI_CALL ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR ulUIParam,
                                                  ULONG ulFlags, ULONG cValues,
                                                  LPSPropValue lpProps) = 0;
    virtual HRESULT MAPI_CALL OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags,
                                                 LPPROFSECT* lppProfSect) = 0;
    virtual HRESULT MAPI_CALL MsgServiceTransportOrder(ULONG cUID, LPMAPIUID lpUIDList,
                                                       ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL AdminProviders(LPMAPIUID lpUID, ULONG ulFlags,
                                             LPPROVIDERADMIN* lppProviderAdmin) = 0;
    virtual HRESULT MAPI_CALL SetPrimaryIdentity(LPMAPIUID lpUID, ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL GetProviderTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
};

class IProviderAdmin : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL GetLastError(HRESULT hResult, ULONG ulFlags,
                                           LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT MAPI_CALL GetProviderTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT MAPI_CALL CreateProvider(LPTSTR lpszProvider, ULONG cValues,
                                             LPSPropValue lpProps, ULONG_PTR ulUIParam,
                                             ULONG ulFlags, MAPIUID* lpUID) = 0;
    virtual HRESULT MAPI_CALL DeleteProvider(LPMAPIUID lpUID) = 0;
    virtual HRESULT MAPI_CALL OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags,
                                                 LPPROFSECT* lppProfSect) = 0;
};

// The Exchange store manager, obtained from a message store with QueryInterface. Its DNs are
// 8-bit strings.
class IExchangeManageStore : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL CreateStoreEntryID(LPSTR lpszMsgStoreDN, LPSTR lpszMailboxDN,
                                                 ULONG ulFlags, ULONG* lpcbEntryID,
                                                 LPENTRYID* lppEntryID) = 0;
    virtual HRESULT MAPI_CALL EntryIDFromSourceKey(ULONG cFolderKeySize, BYTE* lpFolderSourceKey,
                                                   ULONG cMessageKeySize, BYTE* lpMessageSourceKey,
                                                   ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    virtual HRESULT MAPI_CALL GetRights(ULONG cbUserEntryID, LPENTRYID lpUserEntryID,
                                        ULONG cbEntryID, LPENTRYID lpEntryID,
                                        ULONG* lpulRights) = 0;
    virtual HRESULT MAPI_CALL GetMailboxTable(LPSTR lpszServerName, LPMAPITABLE* lppTable,
                                              ULONG ulFlags) = 0;
    virtual HRESULT MAPI_CALL GetPublicFolderTable(LPSTR lpszServerName, LPMAPITABLE* lppTable,
                                                   ULONG ulFlags) = 0;
};

class ISequentialStream : public IUnknown {
  public:
    virtual HRESULT MAPI_CALL Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT MAPI_CALL Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

class IStream : public ISequentialStream {
  public:
    virtual HRESULT MAPI_CALL Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                   ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT MAPI_CALL SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT MAPI_CALL CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT MAPI_CALL Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT MAPI_CALL Revert() = 0;
    virtual HRESULT MAPI_CALL LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                         DWORD dwLockType) = 0;
    virtual HRESULT MAPI_CALL UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                           DWORD dwLockType) = 0;
    virtual HRESULT MAPI_CALL Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT MAPI_CALL Clone(IStream** ppstm) = 0;
};

// The interface identifier that belongs to each interface class, for QueryInterface through
// ComPtr::As. Interfaces without an identifier have no specialisation.
template <class T>
struct InterfaceId;

#define MAPI_DECLARE_INTERFACE_ID(I)                 \
    template <>                                      \
    struct InterfaceId<I> {                          \
        static constexpr const IID& value = IID_##I; \
    }

MAPI_DECLARE_INTERFACE_ID(IUnknown);
MAPI_DECLARE_INTERFACE_ID(IMAPIAdviseSink);
MAPI_DECLARE_INTERFACE_ID(IMAPIProgress);
MAPI_DECLARE_INTERFACE_ID(IMAPIProp);
MAPI_DECLARE_INTERFACE_ID(IMAPIContainer);
MAPI_DECLARE_INTERFACE_ID(IMAPIFolder);
MAPI_DECLARE_INTERFACE_ID(IMAPITable);
MAPI_DECLARE_INTERFACE_ID(IMsgStore);
MAPI_DECLARE_INTERFACE_ID(IMessage);
MAPI_DECLARE_INTERFACE_ID(IMAPISession);
MAPI_DECLARE_INTERFACE_ID(IAddrBook);
MAPI_DECLARE_INTERFACE_ID(IABContainer);
MAPI_DECLARE_INTERFACE_ID(IMailUser);
MAPI_DECLARE_INTERFACE_ID(IDistList);
MAPI_DECLARE_INTERFACE_ID(IProfSect);
MAPI_DECLARE_INTERFACE_ID(IProfAdmin);
MAPI_DECLARE_INTERFACE_ID(IMsgServiceAdmin);
MAPI_DECLARE_INTERFACE_ID(IProviderAdmin);
MAPI_DECLARE_INTERFACE_ID(IExchangeManageStore);
MAPI_DECLARE_INTERFACE_ID(ISequentialStream);
MAPI_DECLARE_INTERFACE_ID(IStream);

template <>
struct InterfaceId<IAttach> {
    static constexpr const IID& value = IID_IAttachment;
};

#undef MAPI_DECLARE_INTERFACE_ID

}  // namespace mapi

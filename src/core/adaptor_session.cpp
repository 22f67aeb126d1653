#include "core/adaptor_session.h"

#include <new>
#include <string>

#include "core/default_msg_store.h"
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
#include "core/profile_name.h"
#include "core/resource_text.h"
#include "platform/com_apartment.h"

namespace tav {
namespace {

constexpr char16_t kOpInitialize[] = u"ExchangeAdaptorDLL::Initialize";
constexpr char16_t kOpUninitialize[] = u"ExchangeAdaptorDLL::Uninitialize";

// MAPI_UNICODE | MAPI_NO_MAIL | MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE | MAPI_NEW_SESSION |
// MAPI_LOGON_UI: a new, private, extended session on exactly this profile.
constexpr mapi::ULONG kLogonFlags = 0x80008033;

void ReleaseHandles(AdaptorSession& s) {
    s.xms.Reset();
    s.defaultMsgStore.Reset();
    s.addrBook.Reset();
    s.session.Reset();
}

// The steps of Initialize up to the store manager; a failing step logs and stops.
void InitializeSteps(AdaptorSession& s, std::u16string& profile, EntryIdRecordPtr& storeId,
                     bool& mapiStarted) {
    mapi::HRESULT hr = platform::InitializeCom();
    if (mapi::FAILED(hr)) {
        WriteLog(kOpInitialize, kLogFatal, u"Error in CoInitialize, result=0x%08x.", hr);
        return;
    }
    ++s.comInitializations;

    mapi::MAPIINIT_0 init{0, 0};
    hr = mapi::MAPIInitialize(&init);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpInitialize, kLogFatal, u"Error in MAPIInitialize, result=0x%08x.", hr);
        return;
    }
    ++s.mapiInitializations;
    mapiStarted = true;

    hr = GetProfileName(profile);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpInitialize, kLogError, u"Failed in GetProfileName, result=0x%08x.", hr);
        return;
    }
    hr = mapi::MAPILogonEx(s.uiParam, profile.c_str(), nullptr, kLogonFlags, s.session.Put());
    hr = mapi::Obtained(hr, s.session);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpInitialize, kLogError, u"Failed in MAPILogonEx, profile='%s', result=0x%08x.",
                 profile, hr);
        return;
    }
    hr = s.session->OpenAddressBook(0, nullptr, mapi::AB_NO_DIALOG, s.addrBook.Put());
    hr = mapi::Obtained(hr, s.addrBook);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpInitialize, kLogError, u"Could not get MAPI Address Book, result=0x%08x.", hr);
        return;
    }
    // From here on the session counts as initialised: the address book works without a store.
    s.isInitialized = true;

    EntryIdRecord* record = nullptr;
    hr = GetDefaultMsgStore(s.session.Get(), &record);
    storeId.reset(record);
    if (mapi::FAILED(hr)) {
        ShowWarningBox(ResourceText::FormatText(kTextDefaultStoreFailed, profile));
        WriteLog(kOpInitialize, kLogError, u"Failed to get default message store, result=0x%08x.",
                 hr);
        return;
    }
    hr = s.session->OpenMsgStore(0, storeId->count, reinterpret_cast<mapi::LPENTRYID>(storeId->bytes),
                                 nullptr, mapi::MDB_WRITE, s.defaultMsgStore.Put());
    hr = mapi::Obtained(hr, s.defaultMsgStore);
    if (mapi::FAILED(hr)) {
        ShowWarningBox(ResourceText::FormatText(kTextDefaultStoreFailed, profile));
        WriteLog(kOpInitialize, kLogError, u"Failed to open default message store, result=0x%08x.",
                 hr);
        return;
    }
    hr = s.defaultMsgStore.As(s.xms);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpInitialize, kLogError, u"Failed to get XMS, result=0x%08x.", hr);
    }
}

}  // namespace

AdaptorSession& Session() {
    // Constructed in static storage and never destroyed.
    alignas(AdaptorSession) static unsigned char storage[sizeof(AdaptorSession)];
    static AdaptorSession& session = *new (storage) AdaptorSession;
    return session;
}

bool InitializeSession() {
    ClearLog();
    AdaptorSession& s = Session();
    // A repeated Initialize starts afresh, so that its result describes its own session and no
    // later operation reaches the objects of the one before.
    ReleaseHandles(s);
    s.isInitialized = false;
    std::u16string profile;
    EntryIdRecordPtr storeId;
    bool mapiStarted = false;
    try {
        InitializeSteps(s, profile, storeId, mapiStarted);
    } catch (...) {
        LogCaughtException(kOpInitialize);
        s.isInitialized = false;
    }
    storeId.reset();
    if (!s.isInitialized) {
        try {
            ShowWarningBox(ResourceText::FormatText(kTextInitializeFailed, profile));
        } catch (...) {
            // The handles and MAPI below must go all the same.
            LogCaughtException(kOpInitialize);
        }
        // No handle may outlive MAPI.
        ReleaseHandles(s);
        if (mapiStarted) {
            mapi::MAPIUninitialize();
            --s.mapiInitializations;
        }
    }
    return s.isInitialized;
}

bool IsSessionInitialized() {
    ClearLog();
    return Session().isInitialized;
}

bool UninitializeSession() {
    ClearLog();
    // A line that cannot be written must not keep the session (and MAPI) alive.
    bool logged = true;
    try {
        WriteLog(kOpUninitialize, kLogTrace, u"Uninitializing MAPI connection.");
    } catch (...) {
        LogCaughtException(kOpUninitialize);
        logged = false;
    }
    AdaptorSession& s = Session();
    ReleaseHandles(s);
    // Only what this library initialised, so a second call uninitialises nothing twice.
    for (; s.mapiInitializations > 0; --s.mapiInitializations) mapi::MAPIUninitialize();
    for (; s.comInitializations > 0; --s.comInitializations) platform::UninitializeCom();
    s.isInitialized = false;
    return logged;
}

}  // namespace tav

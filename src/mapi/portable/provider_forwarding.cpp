// MAPIInitialize, MAPIUninitialize, MAPILogonEx and MAPIAdminProfiles, forwarded to the
// registered provider (mapi_provider.h).
#include "mapi/portable/runtime_lock.h"

#include "mapi/mapi_codes.h"
#include "mapi/mapi_runtime.h"
#include "mapi/portable/mapi_provider.h"

namespace mapi::portable {
namespace {

struct Registration {
    RuntimeLock mutex;
    bool present = false;
    Provider provider;
};

Registration& TheRegistration() {
    static Registration* registration = new Registration;
    return *registration;
}

// A copy of the registered entries, taken under the lock; the call itself runs outside it, so
// a provider may call back into the runtime.
Provider Current() {
    Registration& r = TheRegistration();
    RuntimeGuard lock(r.mutex);
    return r.present ? r.provider : Provider{};
}

}  // namespace

void SetProvider(const Provider* provider) {
    Registration& r = TheRegistration();
    RuntimeGuard lock(r.mutex);
    r.present = provider != nullptr;
    r.provider = provider ? *provider : Provider{};
}

bool HasProvider() {
    Registration& r = TheRegistration();
    RuntimeGuard lock(r.mutex);
    return r.present;
}

}  // namespace mapi::portable

extern "C" {

mapi::HRESULT MAPI_CALL MAPIInitialize(mapi::LPVOID lpMapiInit) {
    const mapi::portable::Provider p = mapi::portable::Current();
    return p.initialize ? p.initialize(lpMapiInit) : mapi::MAPI_E_NOT_INITIALIZED;
}

void MAPI_CALL MAPIUninitialize() {
    const mapi::portable::Provider p = mapi::portable::Current();
    if (p.uninitialize) p.uninitialize();
}

mapi::HRESULT MAPI_CALL MAPILogonEx(mapi::ULONG_PTR ulUIParam, mapi::LPTSTR lpszProfileName,
                                    mapi::LPTSTR lpszPassword, mapi::ULONG flFlags,
                                    mapi::LPMAPISESSION* lppSession) {
    const mapi::portable::Provider p = mapi::portable::Current();
    if (!p.logonEx) {
        if (lppSession) *lppSession = nullptr;
        return mapi::MAPI_E_NOT_INITIALIZED;
    }
    return p.logonEx(ulUIParam, lpszProfileName, lpszPassword, flFlags, lppSession);
}

mapi::HRESULT MAPI_CALL MAPIAdminProfiles(mapi::ULONG ulFlags, mapi::LPPROFADMIN* lppProfAdmin) {
    const mapi::portable::Provider p = mapi::portable::Current();
    if (!p.adminProfiles) {
        if (lppProfAdmin) *lppProfAdmin = nullptr;
        return mapi::MAPI_E_NOT_INITIALIZED;
    }
    return p.adminProfiles(ulFlags, lppProfAdmin);
}

}  // extern "C"

#include "sim/provider.h"

#include "mapi/portable/mapi_provider.h"
#include "sim/object_base.h"
#include "sim/profile_admin.h"
#include "sim/session.h"
#include "sim/simulator.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

HRESULT MAPI_CALL SimMapiInitialize(mapi::LPVOID lpMapiInit) try {
    const ProviderScope inProvider;
        if (Taping()) TapeFunction([init = lpMapiInit ? std::optional<mapi::MAPIINIT_0>(
                                            *static_cast<const mapi::MAPIINIT_0*>(lpMapiInit))
                                      : std::nullopt]() mutable {
            return SimMapiInitialize(init ? &*init : nullptr);
        });
    const auto* init = static_cast<const mapi::MAPIINIT_0*>(lpMapiInit);
    Call call =
        init ? EnterFunction("MAPIInitialize",
                             {{"version", ArgDec(init->ulVersion)}, {"flags", ArgHex(init->ulFlags)}})
             : EnterFunction("MAPIInitialize", {{"init", "null"}});
    if (!call) return call.Result();
    // Everything that may fail first, so that a failing call initialises nothing.
    SyncProfileKeys();
    Simulator::Instance().NoteMapiInitialize();
    return call.Return(mapi::S_OK);
} catch (...) {
    return ProviderFailure();
}

void MAPI_CALL SimMapiUninitialize() {
    const ProviderScope inProvider;
        if (Taping()) TapeFunction([] {
            SimMapiUninitialize();
            return mapi::HRESULT(mapi::S_OK);
        });
    // MAPIUninitialize cannot fail: it takes effect even when its record cannot be made.
    Simulator::Instance().NoteMapiUninitialize();
    try {
        Call call = EnterFunction("MAPIUninitialize");
        if (call) call.Return(mapi::S_OK);
    } catch (...) {
    }
}

HRESULT MAPI_CALL SimMapiLogonEx(mapi::ULONG_PTR ulUIParam, mapi::LPTSTR lpszProfileName,
                                 mapi::LPTSTR lpszPassword, ULONG flFlags,
                                 mapi::LPMAPISESSION* lppSession) try {
    const ProviderScope inProvider;
        if (Taping()) TapeFunction([ulUIParam, profile = KeptText(lpszProfileName, flFlags & mapi::MAPI_UNICODE),
                      password = KeptText(lpszPassword, flFlags & mapi::MAPI_UNICODE), flFlags] {
            mapi::LPMAPISESSION session = nullptr;  // released by the taped Release
            return SimMapiLogonEx(ulUIParam, profile.Get(), password.Get(), flFlags, &session);
        });
    const bool unicode = (flFlags & mapi::MAPI_UNICODE) != 0;
    Call call = EnterFunction("MAPILogonEx", {{"uiParam", ArgHex(ULONG(ulUIParam))},
                                              {"profile", ArgTStr(lpszProfileName, unicode)},
                                              {"password", lpszPassword ? "set" : "null"},
                                              {"flags", ArgHex(flFlags)}});
    if (lppSession) *lppSession = nullptr;
    if (!call) return call.Result();
    if (!lppSession) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
    if (Simulator::Instance().MapiInitializeBalance() <= 0) {
        return call.Return(mapi::MAPI_E_NOT_INITIALIZED);
    }
    Profile* profile =
        Simulator::Instance().Org().FindProfile(ProfileNameArg(lpszProfileName, unicode));
    if (!profile || profile->name.empty()) return call.Return(mapi::MAPI_E_LOGON_FAILED);
    MsgService* service = ExchangeService(*profile);
    if (!service) return call.Return(mapi::MAPI_E_LOGON_FAILED);
    if (!service->configured) {
        if (!(flFlags & mapi::MAPI_LOGON_UI)) return call.Return(mapi::MAPI_E_LOGON_FAILED);
        HRESULT hr = ShowServiceDialog(*profile, *service, "MAPILogonEx", flFlags);
        if (mapi::FAILED(hr)) return call.Return(hr);
    }
    SessionInfo info;
    info.profile = profile->name;
    info.serverDn = service->server;
    info.mailboxDn = service->mailbox;
    info.publicFolders = profile->publicFolders;
    info.extraStoreRows = profile->extraStoreRows;
    info.unicode = unicode;
    HandOut(MakeSession(std::move(info)), lppSession);
    return call.Return(mapi::S_OK);
} catch (...) {
    return ProviderFailure();
}

HRESULT MAPI_CALL SimMapiAdminProfiles(ULONG ulFlags, mapi::LPPROFADMIN* lppProfAdmin) try {
    const ProviderScope inProvider;
        if (Taping()) TapeFunction([ulFlags] {
            mapi::LPPROFADMIN admin = nullptr;  // released by the taped Release
            return SimMapiAdminProfiles(ulFlags, &admin);
        });
    Call call = EnterFunction("MAPIAdminProfiles", {{"flags", ArgHex(ulFlags)}});
    if (lppProfAdmin) *lppProfAdmin = nullptr;
    if (!call) return call.Result();
    if (!lppProfAdmin) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
    SyncProfileKeys();
    HandOut(MakeProfAdmin(), lppProfAdmin);
    return call.Return(mapi::S_OK);
} catch (...) {
    return ProviderFailure();
}

void InstallProvider() {
    mapi::portable::Provider provider;
    provider.initialize = SimMapiInitialize;
    provider.uninitialize = SimMapiUninitialize;
    provider.logonEx = SimMapiLogonEx;
    provider.adminProfiles = SimMapiAdminProfiles;
    mapi::portable::SetProvider(&provider);
}

}  // namespace sim

// The provider behind the portable MAPI runtime's session entry points.
//
// On Windows, MAPI32.DLL forwards MAPIInitialize, MAPIUninitialize, MAPILogonEx and
// MAPIAdminProfiles to the installed MAPI subsystem. The portable runtime does the same with
// the provider registered here (the simulated Exchange organisation registers itself). Without
// a provider, or for an entry the provider leaves null, the three HRESULT functions return
// MAPI_E_NOT_INITIALIZED and MAPIUninitialize does nothing.
#pragma once

#include "mapi/mapi_interfaces.h"
#include "mapi/mapi_types.h"

namespace mapi::portable {

struct Provider {
    HRESULT(MAPI_CALL* initialize)(LPVOID lpMapiInit) = nullptr;
    void(MAPI_CALL* uninitialize)() = nullptr;
    HRESULT(MAPI_CALL* logonEx)
    (ULONG_PTR ulUIParam, LPTSTR lpszProfileName, LPTSTR lpszPassword, ULONG flFlags,
     LPMAPISESSION* lppSession) = nullptr;
    HRESULT(MAPI_CALL* adminProfiles)(ULONG ulFlags, LPPROFADMIN* lppProfAdmin) = nullptr;
};

// Registers a copy of *provider; nullptr removes the registered one.
MAPI_RUNTIME_API void SetProvider(const Provider* provider);

// True while a provider is registered.
MAPI_RUNTIME_API bool HasProvider();

}  // namespace mapi::portable

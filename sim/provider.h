// The simulator's entry points of the MAPI subsystem, registered with the portable MAPI runtime
// by InstallProvider (declared in sim/simulator.h). They are recorded as calls without an object
// label, and faults can be injected by their names.
//
//   MAPIInitialize(lpMapiInit)  records the MAPIINIT_0 version and flags ("null" without one) and
//       counts the call in Simulator::MapiInitializeBalance. It also gives the organisation's
//       profiles their registry keys (SyncProfileKeys, sim/profile_admin.h).
//   MAPIUninitialize()          undoes one MAPIInitialize; a surplus call changes nothing but is
//       counted in Simulator::MapiUninitializeUnmatched.
//   MAPILogonEx(ui, profile, password, flags, session)  the profile name is UTF-16 with
//       MAPI_UNICODE, else 8-bit. MAPI_E_NOT_INITIALIZED before MAPIInitialize. Logs on only to
//       an existing profile (no default profile is chosen for a missing name) that has an
//       "MSEMS" service, else MAPI_E_LOGON_FAILED. An unconfigured service is configured in its
//       dialog when MAPI_LOGON_UI allows prompting (ShowServiceDialog, recorded with method
//       "MAPILogonEx"; a cancel gives MAPI_E_USER_CANCEL), and fails the logon with
//       MAPI_E_LOGON_FAILED when it does not. Passwords are not checked. Every logon makes a new
//       session (sim/session.h), shared or not.
//   MAPIAdminProfiles(flags, admin)  IProfAdmin (sim/profile_admin.h); works without
//       MAPIInitialize, as MAPI's does. It syncs the profile keys as MAPIInitialize does.
#pragma once

#include "mapi/mapi.h"

namespace sim {

mapi::HRESULT MAPI_CALL SimMapiInitialize(mapi::LPVOID lpMapiInit);
void MAPI_CALL SimMapiUninitialize();
mapi::HRESULT MAPI_CALL SimMapiLogonEx(mapi::ULONG_PTR ulUIParam, mapi::LPTSTR lpszProfileName,
                                       mapi::LPTSTR lpszPassword, mapi::ULONG flFlags,
                                       mapi::LPMAPISESSION* lppSession);
mapi::HRESULT MAPI_CALL SimMapiAdminProfiles(mapi::ULONG ulFlags, mapi::LPPROFADMIN* lppProfAdmin);

}  // namespace sim

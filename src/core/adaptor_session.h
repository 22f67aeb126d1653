// The process-wide MAPI session of the library: what Initialize obtained, read by every
// operation and released only by Uninitialize.
#pragma once

#include "mapi/mapi.h"

namespace tav {

struct AdaptorSession {
    bool isInitialized = false;
    // Parent-window value for MAPI user interface; always 0, so MAPI's dialogs have no owner.
    mapi::ULONG_PTR uiParam = 0;
    mapi::ComPtr<mapi::IMAPISession> session;
    mapi::ComPtr<mapi::IAddrBook> addrBook;
    mapi::ComPtr<mapi::IMsgStore> defaultMsgStore;
    mapi::ComPtr<mapi::IExchangeManageStore> xms;
    // Successful CoInitialize and MAPIInitialize calls not yet balanced by an uninitialise.
    int comInitializations = 0;
    int mapiInitializations = 0;
};

// The single session record. It is never destroyed: a library unloaded without Uninitialize
// leaves its MAPI objects unreleased rather than releasing them after MAPI is gone.
AdaptorSession& Session();

bool InitializeSession();
bool IsSessionInitialized();
bool UninitializeSession();

}  // namespace tav

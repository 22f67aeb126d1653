// TavSimProvider.dll: the simulated organisation as the MAPI provider that MAPI32.DLL forwards
// its entry points to (HKLM\Software\Clients\Mail\<client>, value DLLPathEx). It exports the
// MAPI functions of the portable runtime, which reach the simulator once DllMain has
// registered it, and TavSimControl for the console emulator.
#include <windows.h>

#include <string>

#include "sim/control.h"
#include "sim/simulator.h"

extern "C" __declspec(dllexport) const char* __cdecl TavSimControl(const char* request) {
    // The reply stays valid until the next call; the console runs one thread.
    static std::string reply;
    reply = sim::ControlText(request ? request : "");
    return reply.c_str();
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) sim::InstallProvider();
    return TRUE;
}

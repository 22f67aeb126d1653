// Loads the built library the way the console does, by path and then each export by its plain
// name, and prints what it finds and the log container it is handed.
#include <dlfcn.h>

#include <cstdio>

#include "core/text.h"
#include "core/wide_string_list.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "libTavMgrExchangeAdaptor.so";
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    const char* exports[] = {"Initialize",
                             "IsInitialized",
                             "Uninitialize",
                             "GetMailStoreType",
                             "GetDebugLogInfo",
                             "GetABItem",
                             "FreeABItem",
                             "GetABItemList",
                             "FreeABItemList",
                             "SendBulletinByEmail",
                             "GetTavrelServiceNameForUser",
                             "RemoveUserFromLegacyServer",
                             "SetPendingServiceAndRoutingInfoForUser",
                             "EditFolderRedirectionSettings"};
    for (const char* name : exports)
        std::printf("%-40s %s\n", name, dlsym(library, name) ? "exported" : "not built yet");

    using GetDebugLogInfoFn = bool (*)(tav::WideStringList**);
    auto getLog = reinterpret_cast<GetDebugLogInfoFn>(dlsym(library, "GetDebugLogInfo"));
    if (!getLog) return 1;
    tav::WideStringList* log = nullptr;
    if (!getLog(&log) || !log) return 1;
    std::printf("log container at %p holds %u lines\n", static_cast<void*>(log), log->count);
    auto lines = tav::ReadList(log);
    if (!lines) return 1;
    for (const auto& line : *lines) std::printf("  %s\n", tav::Utf16ToUtf8(line).c_str());
    dlclose(library);
    return 0;
}

// The library loaded with LoadLibraryW, as the management console loads it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "tools/console/library.h"

namespace console {

Library::Library(const std::filesystem::path& path) {
    handle_ = LoadLibraryW(path.c_str());
    if (!handle_)
        throw LibraryError("cannot load " + path.string() + ": error " +
                           std::to_string(GetLastError()));
}

Library::~Library() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* Library::Find(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

const char* LibraryFileName() {
    return "TavMgrExchangeAdaptor.dll";
}

std::filesystem::path ExecutableDir() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return length && length < MAX_PATH ? std::filesystem::path(self).parent_path()
                                       : std::filesystem::path();
}

void PrepareStandardOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace console

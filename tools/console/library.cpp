#include "tools/console/library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <system_error>

#ifndef TAV_CONSOLE_LIBRARY_PATH
#define TAV_CONSOLE_LIBRARY_PATH "libTavMgrExchangeAdaptor.so"
#endif
#ifndef TAV_CONSOLE_SOURCE_DIR
#define TAV_CONSOLE_SOURCE_DIR "."
#endif

namespace console {
namespace {

#ifdef _WIN32
constexpr const char* kLibraryName = "TavMgrExchangeAdaptor.dll";
#else
constexpr const char* kLibraryName = "libTavMgrExchangeAdaptor.so";
#endif
constexpr const char* kDemoScenario = "examples/demo.scenario.json";

std::filesystem::path ExecutableDir() {
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return length && length < MAX_PATH ? std::filesystem::path(self).parent_path()
                                       : std::filesystem::path();
#else
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
#endif
}

}  // namespace

#ifdef _WIN32
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
#else
Library::Library(const std::filesystem::path& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        throw LibraryError("cannot load " + path.string() + ": " + (reason ? reason : "unknown"));
    }
}

Library::~Library() {
    if (handle_) dlclose(handle_);
}

void* Library::Find(const char* name) const {
    return dlsym(handle_, name);
}
#endif

std::filesystem::path DefaultLibraryPath() {
    std::error_code error;
    std::filesystem::path beside = ExecutableDir() / kLibraryName;
    if (std::filesystem::exists(beside, error)) return beside;
    return TAV_CONSOLE_LIBRARY_PATH;
}

std::filesystem::path DefaultScenarioPath() {
    std::error_code error;
    if (std::filesystem::exists(kDemoScenario, error)) return kDemoScenario;
    return std::filesystem::path(TAV_CONSOLE_SOURCE_DIR) / kDemoScenario;
}

}  // namespace console

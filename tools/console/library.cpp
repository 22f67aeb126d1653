#include "tools/console/library.h"

#include <dlfcn.h>

#include <system_error>

#ifndef TAV_CONSOLE_LIBRARY_PATH
#define TAV_CONSOLE_LIBRARY_PATH "libTavMgrExchangeAdaptor.so"
#endif
#ifndef TAV_CONSOLE_SOURCE_DIR
#define TAV_CONSOLE_SOURCE_DIR "."
#endif

namespace console {
namespace {

constexpr const char* kLibraryName = "libTavMgrExchangeAdaptor.so";
constexpr const char* kDemoScenario = "examples/demo.scenario.json";

std::filesystem::path ExecutableDir() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
}

}  // namespace

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

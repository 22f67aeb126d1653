// The library loaded with dlopen.
#include <dlfcn.h>

#include "tools/console/library.h"

namespace console {

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

const char* LibraryFileName() {
    return "libTavMgrExchangeAdaptor.so";
}

std::filesystem::path ExecutableDir() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
}

void PrepareStandardOutput() {}

}  // namespace console

#include "platform/module.h"

#include <dlfcn.h>

namespace platform {

ModuleHandle ModuleOfAddress(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info)) return nullptr;
    return info.dli_fbase;
}

}  // namespace platform

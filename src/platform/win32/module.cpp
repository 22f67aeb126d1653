#include "platform/module.h"

#include <windows.h>

namespace platform {

ModuleHandle ModuleOfAddress(const void* address) {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(address), &module);
    return module;
}

}  // namespace platform

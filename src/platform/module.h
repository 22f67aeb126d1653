// Module seam: the handle of the loaded module that contains a given address, the handle that
// resources are loaded from.
#pragma once

namespace platform {

using ModuleHandle = void*;

ModuleHandle ModuleOfAddress(const void* address);

}  // namespace platform

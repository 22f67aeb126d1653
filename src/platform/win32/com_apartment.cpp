#include "platform/com_apartment.h"

#include <objbase.h>
#include <windows.h>

namespace platform {

std::int32_t InitializeCom() { return ::CoInitialize(nullptr); }
void UninitializeCom() { ::CoUninitialize(); }

}  // namespace platform

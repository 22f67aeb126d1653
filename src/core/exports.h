// The functions the library exports to the console, by their plain names, with the C calling
// convention and one-byte boolean results.
#pragma once

#include <cstdint>

#include "core/wide_string_list.h"
#include "platform/export.h"

extern "C" {

TAV_EXPORT bool Initialize();
TAV_EXPORT bool IsInitialized();
TAV_EXPORT bool Uninitialize();
// The mail-store type the library serves: always 1.
TAV_EXPORT std::int32_t GetMailStoreType();
// Stores the address of the log container, the same for the whole life of the library.
TAV_EXPORT bool GetDebugLogInfo(tav::WideStringList** container);

}

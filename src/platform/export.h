// Marks the library's exported functions. On Windows the export list comes from the module
// definition file; on Linux everything else is hidden.
#pragma once

#if defined(_WIN32)
#define TAV_EXPORT
#else
#define TAV_EXPORT __attribute__((visibility("default")))
#endif

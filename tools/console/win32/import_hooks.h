// Replaces entries of a loaded module's import address table, so that the console sees (and,
// where a scenario asks for it, decides) what the library asks of the system: the clock, COM
// initialisation, registry handles, message boxes and dialogs. Every replacement forwards to the
// real function unless the scenario injects a result.
#pragma once

#include <windows.h>

namespace console::win32 {

// Points the module's import of `function` from `dll` (case-insensitive, by name) at
// `replacement`; returns the address it held, or null when the module does not import it.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

}  // namespace console::win32

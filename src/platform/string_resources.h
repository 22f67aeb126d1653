// String-resource seam: LoadStringW on a module's string table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/module.h"

namespace platform {

// One entry of a module's string table: a text in one language.
struct StringResource {
    std::uint16_t language;  // LANGID, e.g. 1033
    std::uint32_t id;
    const char16_t* text;
};

// Copies at most capacity-1 characters and a terminator into buffer and returns the number of
// characters copied (terminator not counted); 0 when the string does not exist.
int LoadStringResource(ModuleHandle module, std::uint32_t id, char16_t* buffer, int capacity);

// Makes a module's string table known to the loader. On Windows the table is in the module's
// resources already and this does nothing.
void RegisterStringTable(ModuleHandle module, std::span<const StringResource> table);

}  // namespace platform

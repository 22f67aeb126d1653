// The library's string table as the portable resource loader takes it.
#pragma once

#include <span>

#include "platform/string_resources.h"

namespace tav::res {

std::span<const platform::StringResource> StringTable();

}  // namespace tav::res

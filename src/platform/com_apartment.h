// COM apartment seam.
#pragma once

#include <cstdint>

namespace platform {

std::int32_t InitializeCom();
void UninitializeCom();

}  // namespace platform

#include "core/export_boundary.h"

#include "core/diagnostic_log.h"

namespace tav {

void LogCaughtException(const char16_t* operation) noexcept {
    try {
        WriteLog(operation, kLogFatal, u"Exception caught.");
    } catch (...) {
        // Out of memory even for the line: the failure result alone must do.
    }
}

}  // namespace tav

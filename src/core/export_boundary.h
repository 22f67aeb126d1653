// The exception boundary of the exports: nothing thrown inside the library may cross into the
// console, which would end it. Each export runs its body through ExportBoundary once.
#pragma once

namespace tav {

// Writes level 1 "Exception caught." under the operation; a failure to write is swallowed.
void LogCaughtException(const char16_t* operation) noexcept;

// The body's result, or failure (after the "Exception caught." line) when the body throws.
template <class R, class Body>
R ExportBoundary(const char16_t* operation, R failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        LogCaughtException(operation);
        return failure;
    }
}

}  // namespace tav

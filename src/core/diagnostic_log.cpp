#include "core/diagnostic_log.h"

namespace tav {
namespace {

// Static, so that writing a line allocates only its node and text.
char16_t g_lineFormat[DiagnosticLog::kFormatBufferSize];
char16_t g_line[DiagnosticLog::kLineBufferSize];

}  // namespace

DiagnosticLog& DiagnosticLog::Instance() {
    static DiagnosticLog log;
    return log;
}

DiagnosticLog::DiagnosticLog() { InitList(container_); }
DiagnosticLog::~DiagnosticLog() { DestroyList(container_); }

bool DiagnosticLog::WriteArgs(const char16_t* operation, int level, std::u16string_view format,
                              std::span<const FormatArg> args) {
    // The level and the operation name go into the format first, so the caller's conversions
    // (and its "%%") are expanded only once, in the second pass.
    if (operation && *operation)
        FormatWide(g_lineFormat, kFormatBufferSize, u"%d:[%s] %s", level, operation, format);
    else
        FormatWide(g_lineFormat, kFormatBufferSize, u"%d:%s", level, format);
    std::size_t length = FormatInto(g_line, kLineBufferSize, g_lineFormat, args);
    AppendToList(container_, std::u16string_view(g_line, length));
    return true;
}

void DiagnosticLog::Clear() { ClearList(container_); }

}  // namespace tav

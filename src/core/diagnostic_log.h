// The library's diagnostic log: an in-memory list of lines that the exports clear at entry and
// the console reads in place after each call.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/wide_format.h"
#include "core/wide_string_list.h"

namespace tav {

// Levels: 1 start-up failures and caught exceptions, 2 failures on a main path, 3 failures of an
// operation on a user's configuration or the profile, 4 traces.
inline constexpr int kLogFatal = 1;
inline constexpr int kLogError = 2;
inline constexpr int kLogWarning = 3;
inline constexpr int kLogTrace = 4;

class DiagnosticLog {
public:
    // Characters of the line-format buffer and of the line buffer, terminators included.
    static constexpr std::size_t kFormatBufferSize = 4096;
    static constexpr std::size_t kLineBufferSize = 8192;

    // The process-wide log; its container keeps its address for the life of the library.
    static DiagnosticLog& Instance();

    // Appends "level:[operation] message", or "level:message" without an operation name.
    bool WriteArgs(const char16_t* operation, int level, std::u16string_view format,
                   std::span<const FormatArg> args);
    void Clear();

    WideStringList* Container() { return &container_; }
    std::vector<std::u16string> Lines() const { return ListEntries(container_); }

    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

private:
    DiagnosticLog();
    ~DiagnosticLog();

    WideStringList container_{};
};

template <class... A>
bool WriteLog(const char16_t* operation, int level, std::u16string_view format, const A&... args) {
    const FormatArg packed[] = {FormatArg(args)..., FormatArg(std::int32_t{0})};
    return DiagnosticLog::Instance().WriteArgs(operation, level, format,
                                               std::span<const FormatArg>(packed, sizeof...(A)));
}

inline void ClearLog() { DiagnosticLog::Instance().Clear(); }

}  // namespace tav

#include "tools/console/library.h"

#include <system_error>

#ifndef TAV_CONSOLE_LIBRARY_PATH
#define TAV_CONSOLE_LIBRARY_PATH "libTavMgrExchangeAdaptor.so"
#endif
#ifndef TAV_CONSOLE_SOURCE_DIR
#define TAV_CONSOLE_SOURCE_DIR "."
#endif

namespace console {
namespace {

constexpr const char* kDemoScenario = "examples/demo.scenario.json";

}  // namespace

std::filesystem::path DefaultLibraryPath() {
    std::error_code error;
    std::filesystem::path beside = ExecutableDir() / LibraryFileName();
    if (std::filesystem::exists(beside, error)) return beside;
    return TAV_CONSOLE_LIBRARY_PATH;
}

std::filesystem::path DefaultScenarioPath() {
    std::error_code error;
    if (std::filesystem::exists(kDemoScenario, error)) return kDemoScenario;
    return std::filesystem::path(TAV_CONSOLE_SOURCE_DIR) / kDemoScenario;
}

}  // namespace console

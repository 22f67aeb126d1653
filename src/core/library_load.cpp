// What loading the library does: record the module instance that texts are loaded from, make its
// string table known to the resource loader, and create the empty log container. No MAPI or COM
// work happens here.
#include "core/diagnostic_log.h"
#include "core/resource_text.h"
#include "platform/module.h"
#include "platform/string_resources.h"
#include "res/string_table.h"

namespace tav {
namespace {

const char g_anchor = 0;

// Runs when the library is loaded. Nothing here may throw: an exception while the library
// loads would end the console's process.
struct LibraryLoad {
    LibraryLoad() noexcept {
        platform::ModuleHandle module = platform::ModuleOfAddress(&g_anchor);
        ResourceText::SetModule(module);
        platform::RegisterStringTable(module, res::StringTable());
        DiagnosticLog::Instance();
    }
};

const LibraryLoad g_load;

}  // namespace
}  // namespace tav

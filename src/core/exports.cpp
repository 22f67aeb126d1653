#include "core/exports.h"

#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"

extern "C" {

bool Initialize() { return tav::InitializeSession(); }

bool IsInitialized() { return tav::IsSessionInitialized(); }

bool Uninitialize() { return tav::UninitializeSession(); }

std::int32_t GetMailStoreType() { return 1; }

bool GetDebugLogInfo(tav::WideStringList** container) {
    if (!container) return false;
    *container = tav::DiagnosticLog::Instance().Container();
    return true;
}

}

#include "core/exports.h"

#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"

extern "C" {

bool Initialize() {
    return tav::ExportBoundary(u"ExchangeAdaptorDLL::Initialize", false,
                               [] { return tav::InitializeSession(); });
}

bool IsInitialized() {
    return tav::ExportBoundary(u"ExchangeAdaptorDLL::IsInitialized", false,
                               [] { return tav::IsSessionInitialized(); });
}

bool Uninitialize() {
    return tav::ExportBoundary(u"ExchangeAdaptorDLL::Uninitialize", false,
                               [] { return tav::UninitializeSession(); });
}

// Its only answer is also what it answers after an exception.
std::int32_t GetMailStoreType() {
    return tav::ExportBoundary(u"ExchangeAdaptorDLL::GetMailStoreType", std::int32_t{1},
                               [] { return std::int32_t{1}; });
}

bool GetDebugLogInfo(tav::WideStringList** container) {
    return tav::ExportBoundary(u"ExchangeAdaptorDLL::GetDebugLogInfo", false, [&] {
        if (!container) return false;
        *container = tav::DiagnosticLog::Instance().Container();
        return true;
    });
}

}

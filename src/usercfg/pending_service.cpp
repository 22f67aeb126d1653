// SetPendingServiceAndRoutingInfoForUser: records a pending service and routing information in
// the user's configuration message.
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
#include "core/exports.h"
#include "usercfg/user_config_message.h"

namespace tav {
namespace {

constexpr char16_t kOp[] = u"ExchangeAdaptorDLL::SetPendingServiceAndRoutingInfoForUser";
constexpr mapi::ULONG kPendingServiceNameTag = 0x601A001F;
constexpr mapi::ULONG kPendingRoutingInfoTag = 0x601B001F;

bool SetPending(std::u16string_view userDn, std::u16string_view serverDn,
                const std::u16string& service, const std::u16string& routingInfo) {
    UserConfigMessage config;
    if (!config.Open(userDn, serverDn)) return false;
    mapi::SPropValue values[2] = {};
    values[0].ulPropTag = kPendingServiceNameTag;
    values[0].Value.lpszW = const_cast<char16_t*>(service.c_str());
    values[1].ulPropTag = kPendingRoutingInfoTag;
    values[1].Value.lpszW = const_cast<char16_t*>(routingInfo.c_str());
    if (mapi::FAILED(config.message->SetProps(2, values, nullptr))) {
        WriteLog(kOp, kLogWarning,
                 u"Failed to set PENDING_SERVICE_NAME='%s', PENDING_ROUTING_INFO='%s' for "
                 u"user=%s.",
                 service, routingInfo, userDn);
        return false;
    }
    if (mapi::FAILED(config.message->SaveChanges(mapi::FORCE_SAVE))) {
        WriteLog(kOp, kLogWarning, u"SaveChanges failed.");
        return false;
    }
    return true;
}

}  // namespace
}  // namespace tav

extern "C" bool SetPendingServiceAndRoutingInfoForUser(const tav::WideStringSlot* userDn,
                                                       const tav::WideStringSlot* serverDn,
                                                       const tav::WideStringSlot* service,
                                                       const tav::WideStringSlot* routingInfo) {
    using namespace tav;
    return ExportBoundary(kOp, false, [&] {
        ClearLog();
        std::optional<std::u16string> user = ReadSlot(userDn);
        std::optional<std::u16string> server = ReadSlot(serverDn);
        std::optional<std::u16string> pendingService = ReadSlot(service);
        std::optional<std::u16string> routing = ReadSlot(routingInfo);
        if (!user || !server || !pendingService || !routing) {
            WriteLog(kOp, kLogTrace, u"Bad parameters.");
            return false;
        }
        WriteLog(kOp, kLogTrace, u"UserDN=%s, ServerDN=%s, Service=%s, RoutingInfo=%s",
                 *user, *server, *pendingService, *routing);
        bool done = SetPending(*user, *server, *pendingService, *routing);
        if (!done) WriteLog(kOp, kLogWarning, u"Failed for UserDN=%s", *user);
        return done;
    });
}

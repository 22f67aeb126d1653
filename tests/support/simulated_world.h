// What the tests and the benchmarks share to drive the library against the simulated
// organisation: the administrator's DNs, the export arguments in the console's slot form, a
// fresh world (simulator, registry, message boxes, dialogs, COM, clock, log) and the
// administrator's organisation. No test framework here.
#pragma once

#include <string_view>

#include "core/diagnostic_log.h"
#include "core/wide_string_slot.h"
#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_dialog.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/simulator.h"

namespace tav::testing {

inline constexpr char16_t kServerDn[] =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EXCH01";
inline constexpr char16_t kAdminDn[] =
    u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=tavadmin";
inline constexpr char16_t kSettingsKey[] =
    u"Software\\Morvane\\Tavrel Enterprise Server\\Manager\\ExchangeAdaptor";

// A wide string in the console's slot form, for the string arguments of the exports.
class WideArg {
public:
    WideArg(std::u16string_view text) {
        InitSlot(slot_);
        AssignSlot(slot_, text);
    }
    ~WideArg() { FreeSlot(slot_); }
    WideArg(const WideArg&) = delete;
    WideArg& operator=(const WideArg&) = delete;
    const WideStringSlot* get() const { return &slot_; }
    operator const WideStringSlot*() const { return &slot_; }

private:
    WideStringSlot slot_;
};

// Fresh simulator, registry, message boxes, dialogs and COM, the clock fixed, US English, the
// MAPI buffer counters and the log cleared.
inline void ResetSimulatedWorld() {
    namespace portable = platform::portable;
    portable::ResetRegistry();
    portable::ResetMessageBoxes();
    portable::ResetDialogs();
    portable::ResetCom();
    portable::FixSystemTime(133000000000000000ULL);  // 2022-06-16
    portable::SetUiLanguage(1033);
    sim::Simulator::Instance().Reset();
    sim::InstallProvider();
    mapi::portable::ResetBufferCounters();
    ClearLog();
}

// An administrator's mailbox with the standard folders, logged on through the configured
// profile "TavrelManager" that the registry names.
inline sim::MailboxBuilder& AdminOrganisation(sim::OrgBuilder& builder) {
    builder.Server(kServerDn, u"EXCH01");
    sim::MailboxBuilder& admin = builder.Mailbox(kAdminDn, kServerDn).StandardFolders();
    builder.User(u"Tavrel Administrator", admin).Smtp(u"tavadmin@example.com");
    builder.Profile("TavrelManager").ExchangeService(kServerDn, kAdminDn);
    platform::portable::PutRegistryString(platform::RegistryRoot::CurrentUser, kSettingsKey,
                                          "MAPIProfile", "TavrelManager");
    return admin;
}

}  // namespace tav::testing

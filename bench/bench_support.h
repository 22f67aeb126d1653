// The frame of the benchmarks: a fresh simulated organisation with the administrator's mailbox and
// the profile the registry names, the portable platform reset, and the library initialised when
// asked. The benchmark programs time one export at a time against it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/diagnostic_log.h"
#include "core/exports.h"
#include "core/wide_string_slot.h"
#include "platform/portable/portable_dialog.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/simulator.h"

namespace tav::bench {

inline constexpr char16_t kServerDn[] =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EXCH01";
inline constexpr char16_t kAdminDn[] =
    u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=tavadmin";
inline constexpr char16_t kRecipients[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=";
inline constexpr char16_t kSettingsKey[] =
    u"Software\\Morvane\\Tavrel Enterprise Server\\Manager\\ExchangeAdaptor";

// Empties the simulator and the platform's state; the library's session is ended first.
inline void ResetWorld() {
    namespace portable = platform::portable;
    Uninitialize();
    portable::ResetRegistry();
    portable::ResetMessageBoxes();
    portable::ResetDialogs();
    portable::ResetCom();
    portable::FixSystemTime(133000000000000000ULL);
    portable::SetUiLanguage(1033);
    sim::Simulator::Instance().Reset();
    sim::InstallProvider();
    ClearLog();
}

// The administrator's mailbox with the standard folders and the profile "TavrelManager" that
// logs on to it, named in the registry as the adaptor's profile.
inline sim::MailboxBuilder& AdminOrganisation(sim::OrgBuilder& builder) {
    builder.Server(kServerDn, u"EXCH01");
    sim::MailboxBuilder& admin = builder.Mailbox(kAdminDn, kServerDn).StandardFolders();
    builder.User(u"Tavrel Administrator", admin).Smtp(u"tavadmin@example.com");
    builder.Profile("TavrelManager").ExchangeService(kServerDn, kAdminDn);
    platform::portable::PutRegistryString(platform::RegistryRoot::CurrentUser, kSettingsKey,
                                          "MAPIProfile", "TavrelManager");
    return admin;
}

// A wide string in the console's slot form.
class WideArg {
  public:
    explicit WideArg(std::u16string_view text) {
        InitSlot(slot_);
        AssignSlot(slot_, text);
    }
    ~WideArg() { FreeSlot(slot_); }
    WideArg(const WideArg&) = delete;
    WideArg& operator=(const WideArg&) = delete;
    const WideStringSlot* get() const { return &slot_; }

  private:
    WideStringSlot slot_;
};

// Stops the benchmark when an export that must succeed fails: a figure of a failing export would
// measure the wrong work.
inline bool Require(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
    return ok;
}

// MAPI calls the last export made, as the simulator counted them; with `prescribed` (the calls
// its steps make for this input, counted from the algorithm) also the ratio made / prescribed.
inline void CountCalls(benchmark::State& state, double prescribed = 0) {
    const auto made = static_cast<double>(sim::Simulator::Instance().CallCount());
    state.counters["mapi_calls"] = made;
    if (prescribed > 0) state.counters["calls_ratio"] = made / prescribed;
}

// A number in decimal as UTF-16, for generated names.
inline std::u16string Number(std::uint64_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace tav::bench

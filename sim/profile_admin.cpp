#include "sim/profile_admin.h"

#include <algorithm>
#include <cstring>

#include "platform/code_page.h"
#include "platform/portable/portable_platform.h"
#include "sim/object_base.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/table.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

constexpr std::size_t kProfileKeyBytes = 64;
constexpr ULONG kDefaultProfile = 0x3D04000B;    // PR_DEFAULT_PROFILE
constexpr ULONG kServiceDllName = 0x3D0A001E;    // PR_SERVICE_DLL_NAME_A
constexpr ULONG kServiceEntryName = 0x3D0B001E;  // PR_SERVICE_ENTRY_NAME_A
constexpr char kExchangeServiceName[] = "MSEMS";
constexpr char16_t kExchangeDisplayName[] = u"Microsoft Exchange";
// The first twelve bytes of the UIDs CreateMsgService gives; a counter follows.
constexpr std::uint8_t kServiceUidBase[12] = {0x9F, 0x3B, 0x61, 0x0D, 0xE2, 0x47,
                                              0x4A, 0x18, 0xB5, 0x7C, 0x13, 0x6E};

Organisation& Org() {
    return Simulator::Instance().Org();
}

bool Unicode(ULONG flags) {
    return (flags & mapi::MAPI_UNICODE) != 0;
}

// True when another profile than `except` makes the same registry key.
bool KeyShared(std::string_view key, const Profile* except) {
    for (const Profile& profile : Org().profiles) {
        if (&profile != except && profile.registryKey &&
            EqualsAsciiNoCase(EscapedProfileKeyName(profile.name), key)) {
            return true;
        }
    }
    return false;
}

MsgService* FindService(Profile& profile, const mapi::MAPIUID* uid) {
    if (!uid) return nullptr;
    for (MsgService& service : profile.services) {
        if (service.uid.size() == sizeof uid->ab &&
            std::memcmp(service.uid.data(), uid->ab, sizeof uid->ab) == 0) {
            return &service;
        }
    }
    return nullptr;
}

ArgView ArgUid(const mapi::MAPIUID* uid) {
    return uid ? ArgBytes(uid->ab, sizeof uid->ab) : ArgNull();
}

Bytes NewServiceUid(const Profile& profile) {
    for (std::uint32_t counter = static_cast<std::uint32_t>(profile.services.size()) + 1;;
         ++counter) {
        Bytes uid(kServiceUidBase, kServiceUidBase + sizeof kServiceUidBase);
        for (int shift = 24; shift >= 0; shift -= 8) uid.push_back(std::uint8_t(counter >> shift));
        bool taken = std::any_of(profile.services.begin(), profile.services.end(),
                                 [&](const MsgService& s) { return s.uid == uid; });
        if (!taken) return uid;
    }
}

std::vector<Row> ServiceRows(std::string_view profileName) {
    std::vector<Row> rows;
    Profile* profile = Org().FindProfile(profileName);
    if (!profile) return rows;
    for (const MsgService& service : profile->services) {
        Row row;
        row[mapi::PR_SERVICE_NAME_A] = service.name;
        row[mapi::PR_SERVICE_UID] = service.uid;
        row[mapi::PR_DISPLAY_NAME_W] = service.displayName;
        if (EqualsAsciiNoCase(service.name, kExchangeServiceName)) {
            row[kServiceDllName] = std::string("emsui.dll");
            row[kServiceEntryName] = std::string("EMSCfg");
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Row> ProfileRows() {
    std::vector<Row> rows;
    for (const Profile& profile : Org().profiles) {
        Row row;
        row[mapi::PR_DISPLAY_NAME_A] = profile.name;
        row[kDefaultProfile] = false;
        rows.push_back(std::move(row));
    }
    return rows;
}

class MsgServiceAdmin final : public ComObject<mapi::IMsgServiceAdmin> {
  public:
    explicit MsgServiceAdmin(std::string profile)
        : ComObject("IMsgServiceAdmin", "serviceadmin:" + From8Bit(profile),
                    {mapi::IID_IMsgServiceAdmin}),
          profile_(std::move(profile)) {}

    HRESULT MAPI_CALL GetLastError(HRESULT hr, ULONG flags, mapi::LPMAPIERROR* error) override try {
        const ProviderScope inProvider;
        return this->NoExtendedError(hr, flags, error);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL GetMsgServiceTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        auto call = Enter("GetMsgServiceTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        TableOptions options;
        options.label = "services:" + From8Bit(profile_);
        options.unicode = Unicode(flags);
        options.columns = {mapi::PR_INSTANCE_KEY, mapi::PR_SERVICE_UID,
                           options.unicode ? mapi::PR_SERVICE_NAME_W : mapi::PR_SERVICE_NAME_A,
                           options.unicode ? mapi::PR_DISPLAY_NAME_W : mapi::PR_DISPLAY_NAME_A};
        std::string profile = profile_;
        HandOut(MakeLiveTable(std::move(options), [profile] { return ServiceRows(profile); }),
                table);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CreateMsgService(mapi::LPTSTR service, mapi::LPTSTR displayName,
                                       mapi::ULONG_PTR uiParam, ULONG flags) override try {
        const ProviderScope inProvider;
        const bool unicode = Unicode(flags);
        auto call = Enter("CreateMsgService", {{"service", ArgTStr(service, unicode)},
                                               {"displayName", ArgTStr(displayName, unicode)},
                                               {"uiParam", ArgHex(ULONG(uiParam))},
                                               {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!service) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        Profile* profile = Org().FindProfile(profile_);
        if (!profile) return call.Return(mapi::MAPI_E_OBJECT_DELETED);
        // Services are known from MAPISVC.INF; Exchange's entry is there only when its client
        // components are installed.
        const std::string name = ProfileNameArg(service, unicode);
        if (!EqualsAsciiNoCase(name, kExchangeServiceName) || !Org().exchangeServiceInstalled) {
            return call.Return(mapi::MAPI_E_NOT_FOUND);
        }
        MsgService added;
        added.name = kExchangeServiceName;
        if (displayName) {
            added.displayName = unicode ? std::u16string(displayName.w())
                                        : platform::FromSystemCodePage(displayName.a());
        }
        if (added.displayName.empty()) added.displayName = kExchangeDisplayName;
        added.uid = NewServiceUid(*profile);
        call.AddArg("uid", ArgBytes(added.uid));
        profile->services.push_back(std::move(added));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL DeleteMsgService(mapi::LPMAPIUID uid) override try {
        const ProviderScope inProvider;
        auto call = Enter("DeleteMsgService", {{"uid", ArgUid(uid)}});
        if (!call) return call.Result();
        if (!uid) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        Profile* profile = Org().FindProfile(profile_);
        if (!profile) return call.Return(mapi::MAPI_E_OBJECT_DELETED);
        MsgService* service = FindService(*profile, uid);
        if (!service) return call.Return(mapi::MAPI_E_NOT_FOUND);
        profile->services.erase(profile->services.begin() + (service - profile->services.data()));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CopyMsgService(mapi::LPMAPIUID, mapi::LPTSTR, mapi::LPCIID, mapi::LPCIID,
                                     mapi::LPVOID, mapi::ULONG_PTR, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("CopyMsgService");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL RenameMsgService(mapi::LPMAPIUID, ULONG, mapi::LPTSTR) override try {
        const ProviderScope inProvider;
        return Unsupported("RenameMsgService");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL ConfigureMsgService(mapi::LPMAPIUID uid, mapi::ULONG_PTR uiParam, ULONG flags,
                                          ULONG count, mapi::LPSPropValue props) override try {
        const ProviderScope inProvider;
        auto call = Enter("ConfigureMsgService", {{"uid", ArgUid(uid)},
                                                  {"uiParam", ArgHex(ULONG(uiParam))},
                                                  {"flags", ArgHex(flags)},
                                                  {"count", ArgDec(count)},
                                                  {"tags", DescribePropTags(count, props)}});
        if (!call) return call.Result();
        if (!uid || (count && !props)) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        Profile* profile = Org().FindProfile(profile_);
        if (!profile) return call.Return(mapi::MAPI_E_OBJECT_DELETED);
        MsgService* service = FindService(*profile, uid);
        if (!service) return call.Return(mapi::MAPI_E_NOT_FOUND);
        const bool always = (flags & mapi::SERVICE_UI_ALWAYS) != 0;
        const bool allowed = (flags & mapi::SERVICE_UI_ALLOWED) != 0;
        if (always || (allowed && !service->configured)) {
            return call.Return(ShowServiceDialog(*profile, *service,
                                                 "IMsgServiceAdmin::ConfigureMsgService", flags));
        }
        return call.Return(service->configured ? mapi::S_OK : mapi::MAPI_E_UNCONFIGURED);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL OpenProfileSection(mapi::LPMAPIUID, mapi::LPCIID, ULONG,
                                         mapi::LPPROFSECT* section) override try {
        const ProviderScope inProvider;
        if (section) *section = nullptr;
        return Unsupported("OpenProfileSection");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL MsgServiceTransportOrder(ULONG, mapi::LPMAPIUID, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("MsgServiceTransportOrder");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL AdminProviders(mapi::LPMAPIUID, ULONG,
                                     mapi::LPPROVIDERADMIN* admin) override try {
        const ProviderScope inProvider;
        if (admin) *admin = nullptr;
        return Unsupported("AdminProviders");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetPrimaryIdentity(mapi::LPMAPIUID, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("SetPrimaryIdentity");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetProviderTable(ULONG, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (table) *table = nullptr;
        return Unsupported("GetProviderTable");
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    bool ModelObjectDeleted() const override { return !Org().FindProfile(profile_); }

  private:
    std::string profile_;
};

class ProfAdmin final : public ComObject<mapi::IProfAdmin> {
  public:
    ProfAdmin() : ComObject("IProfAdmin", "profadmin", {mapi::IID_IProfAdmin}) {}

    HRESULT MAPI_CALL GetLastError(HRESULT hr, ULONG flags, mapi::LPMAPIERROR* error) override try {
        const ProviderScope inProvider;
        return this->NoExtendedError(hr, flags, error);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL GetProfileTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](ProfAdmin& self) {
            mapi::LPMAPITABLE out = nullptr;  // released by the taped Release
            return self.GetProfileTable(flags, &out);
        });
        auto call = Enter("GetProfileTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        TableOptions options;
        options.label = "profiles";
        options.unicode = Unicode(flags);
        options.columns = {options.unicode ? mapi::PR_DISPLAY_NAME_W : mapi::PR_DISPLAY_NAME_A,
                           kDefaultProfile};
        HandOut(MakeLiveTable(std::move(options), ProfileRows), table);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CreateProfile(mapi::LPTSTR name, mapi::LPTSTR password,
                                    mapi::ULONG_PTR uiParam, ULONG flags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [name = KeptText(name, Unicode(flags)), password = KeptText(password, Unicode(flags)),
                        uiParam, flags](ProfAdmin& self) {
            return self.CreateProfile(name.Get(), password.Get(), uiParam, flags);
        });
        const bool unicode = Unicode(flags);
        auto call = Enter("CreateProfile", {{"name", ArgTStr(name, unicode)},
                                            {"password", password ? "set" : "null"},
                                            {"uiParam", ArgHex(ULONG(uiParam))},
                                            {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        const std::string profileName = ProfileNameArg(name, unicode);
        if (profileName.empty()) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        if (Org().FindProfile(profileName)) return call.Return(mapi::MAPI_E_NO_ACCESS);
        Profile profile;
        profile.name = profileName;
        profile.password = ProfileNameArg(password, unicode);
        Org().profiles.push_back(std::move(profile));
        platform::portable::AddRegistryKey(platform::RegistryRoot::CurrentUser,
                                           ProfileKeyPath(profileName));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL DeleteProfile(mapi::LPTSTR name, ULONG flags) override try {
        const ProviderScope inProvider;
        const bool unicode = Unicode(flags);
        auto call =
            Enter("DeleteProfile", {{"name", ArgTStr(name, unicode)}, {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        const std::string profileName = ProfileNameArg(name, unicode);
        Profile* profile = Org().FindProfile(profileName);
        if (!profile) return call.Return(mapi::MAPI_E_NOT_FOUND);
        const std::string key = EscapedProfileKeyName(profile->name);
        if (!KeyShared(key, profile)) {
            platform::portable::DeleteRegistryKey(platform::RegistryRoot::CurrentUser,
                                                  ProfileKeyPath(profile->name));
        }
        auto& profiles = Org().profiles;
        profiles.erase(profiles.begin() + (profile - profiles.data()));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL ChangeProfilePassword(mapi::LPTSTR, mapi::LPTSTR, mapi::LPTSTR,
                                            ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("ChangeProfilePassword");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL CopyProfile(mapi::LPTSTR, mapi::LPTSTR, mapi::LPTSTR, mapi::ULONG_PTR,
                                  ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("CopyProfile");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL RenameProfile(mapi::LPTSTR, mapi::LPTSTR, mapi::LPTSTR, mapi::ULONG_PTR,
                                    ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("RenameProfile");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL SetDefaultProfile(mapi::LPTSTR name, ULONG flags) override try {
        const ProviderScope inProvider;
        const bool unicode = Unicode(flags);
        auto call = Enter("SetDefaultProfile",
                          {{"name", ArgTStr(name, unicode)}, {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (name && !Org().FindProfile(ProfileNameArg(name, unicode))) {
            return call.Return(mapi::MAPI_E_NOT_FOUND);
        }
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL AdminServices(mapi::LPTSTR name, mapi::LPTSTR password,
                                    mapi::ULONG_PTR uiParam, ULONG flags,
                                    mapi::LPSERVICEADMIN* admin) override try {
        const ProviderScope inProvider;
        const bool unicode = Unicode(flags);
        auto call = Enter("AdminServices",
                          {{"name", ArgTStr(name, unicode)},
                           {"password", password ? "set" : "null"},
                           {"uiParam", ArgHex(ULONG(uiParam))},
                           {"flags", ArgHex(flags)}},
                          admin);
        if (!call) return call.Result();
        if (!admin) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *admin = nullptr;
        Profile* profile = Org().FindProfile(ProfileNameArg(name, unicode));
        if (!profile) return call.Return(mapi::MAPI_E_NOT_FOUND);
        HandOut(MakeMsgServiceAdmin(profile->name), admin);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

};

}  // namespace

std::string EscapedProfileKeyName(std::string_view profileName) {
    std::string key;
    for (unsigned char byte : profileName.substr(0, kProfileKeyBytes)) {
        if (byte < 0x80) {
            key.push_back(static_cast<char>(byte));
        } else {
            key.push_back('[');
            key.push_back(static_cast<char>(0x70 + (byte & 0x0F)));
            key.push_back(static_cast<char>(0x70 + (byte >> 4)));
        }
    }
    return key;
}

std::u16string ProfileKeyPath(std::string_view profileName) {
    std::u16string path(kProfilesKey);
    path += u'\\';
    path += platform::FromSystemCodePage(EscapedProfileKeyName(profileName));
    return path;
}

void SyncProfileKeys() {
    for (const Profile& profile : Org().profiles) {
        if (profile.registryKey) {
            platform::portable::AddRegistryKey(platform::RegistryRoot::CurrentUser,
                                               ProfileKeyPath(profile.name));
        }
    }
}

std::string ProfileNameArg(mapi::LPTSTR name, bool unicode) {
    if (!name) return {};
    return unicode ? platform::ToSystemCodePage(name.w()) : std::string(name.a());
}

MsgService* ExchangeService(Profile& profile) {
    for (MsgService& service : profile.services) {
        if (EqualsAsciiNoCase(service.name, kExchangeServiceName)) return &service;
    }
    return nullptr;
}

HRESULT ShowServiceDialog(Profile& profile, MsgService& service, std::string method, ULONG flags) {
    ServiceDialogRecord record;
    record.profile = From8Bit(profile.name);
    record.flags = flags;
    record.method = std::move(method);
    auto& answers = Org().serviceDialogAnswers;
    ServiceDialogAnswer answer;
    if (answers.empty()) {
        // Nobody scripted the dialog: the user closes it without filling it in.
        record.scripted = false;
        answer.cancel = true;
    } else {
        answer = std::move(answers.front());
        answers.erase(answers.begin());
    }
    record.cancelled = answer.cancel;
    if (!answer.cancel) {
        service.configured = true;
        service.server = answer.server;
        service.mailbox = answer.mailbox;
        record.server = ToUtf8(answer.server);
        record.mailbox = ToUtf8(answer.mailbox);
    }
    Simulator::Instance().RecordServiceDialog(std::move(record));
    return answer.cancel ? mapi::MAPI_E_USER_CANCEL : mapi::S_OK;
}

mapi::ComPtr<mapi::IProfAdmin> MakeProfAdmin() {
    return MakeObject<ProfAdmin>();
}

mapi::ComPtr<mapi::IMsgServiceAdmin> MakeMsgServiceAdmin(std::string_view profileName) {
    return MakeObject<MsgServiceAdmin>(std::string(profileName));
}

}  // namespace sim

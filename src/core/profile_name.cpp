#include "core/profile_name.h"

#include <algorithm>
#include <vector>

#include "core/diagnostic_log.h"
#include "core/registry_key.h"
#include "core/resource_text.h"
#include "mapi/mapi.h"
#include "platform/code_page.h"

namespace tav {
namespace {

constexpr char16_t kOp[] = u"ExchangeAdaptorDLL::GetProfileName";
constexpr std::uint32_t kNameBufferSize = 260;
constexpr std::size_t kProfileKeyNameBytes = 64;

// The adaptor's "MAPIProfile" setting; the default is written back when there is none.
std::string ReadProfileSetting() {
    char name[kNameBufferSize] = {};
    RegistryKey settings(platform::RegistryRoot::CurrentUser, kAdaptorSettingsKey);
    if (settings.Open(true) || settings.Create()) {
        settings.ReadString(kProfileValueName, name, kNameBufferSize, "");
        if (name[0] == 0) {
            std::copy_n(kDefaultProfileName, sizeof kDefaultProfileName, name);
            settings.WriteString(kProfileValueName, name);
        }
        settings.Close();
    }
    return name;
}

bool ProfileKeyExists(const std::string& name) {
    RegistryKey key(platform::RegistryRoot::CurrentUser, ProfileKeyPath(name));
    return key.Open(false);
}

// Asks the administrator whether to create the profile; false when Cancel was pressed.
bool ConfirmProfileCreation(const std::string& name) {
    std::u16string format = ResourceText::LoadString(kTextProfileMissing);
    std::vector<char16_t> text(std::min<std::size_t>(format.size() + name.size() + 1,
                                                     ResourceText::kFormatLimit));
    FormatWide(text.data(), text.size(), format, name.c_str());
    return ShowCaptionedBox(nullptr, text.data(), platform::kMbOkCancel) != platform::kIdCancel;
}

// Deletes the profile this call created when the call fails.
class CreatedProfile {
public:
    CreatedProfile(mapi::IProfAdmin* admin, const std::string& name, const mapi::HRESULT& result)
        : admin_(admin), name_(name), result_(result) {}
    ~CreatedProfile() {
        if (created_ && mapi::FAILED(result_)) admin_->DeleteProfile(name_.c_str(), 0);
    }
    CreatedProfile(const CreatedProfile&) = delete;
    CreatedProfile& operator=(const CreatedProfile&) = delete;
    void Created() { created_ = true; }

private:
    mapi::IProfAdmin* admin_;
    const std::string& name_;
    const mapi::HRESULT& result_;
    bool created_ = false;
};

// Adds the Exchange service to the new profile and lets the administrator configure it.
mapi::HRESULT ConfigureNewProfile(mapi::IProfAdmin* admin, const std::string& name) {
    const char* profile = name.c_str();
    mapi::ComPtr<mapi::IMsgServiceAdmin> services;
    mapi::ComPtr<mapi::IMAPITable> serviceTable;
    mapi::RowSetPtr rows;

    WriteLog(kOp, kLogWarning, u"Profile '%S' doesn't exist. Creating it.", profile);
    mapi::HRESULT hr = admin->AdminServices(profile, "", 0, mapi::MAPI_DIALOG, services.Put());
    hr = mapi::Obtained(hr, services);
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning, u"Failed to configure MAPI profile '%S', result=0x%08x",
                 profile, hr);
        return hr;
    }
    hr = services->CreateMsgService("MSEMS", "Microsoft Exchange", 0, 0);
    if (hr == mapi::MAPI_E_NOT_FOUND) {
        WriteLog(kOp, kLogWarning,
                 u"Failed in CreateMsgService for profile '%S', result=0x%08x: Unable to find "
                 u"Exchange Server MAPI component.",
                 profile, hr);
        return hr;
    }
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning, u"Failed in CreateMsgService for profile '%S', result=0x%08x.",
                 profile, hr);
        return hr;
    }
    hr = services->GetMsgServiceTable(0, serviceTable.Put());
    hr = mapi::Obtained(hr, serviceTable);
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning,
                 u"Failed in GetMsgServiceTable for profile '%S', result=0x%08x.", profile, hr);
        return hr;
    }
    mapi::SizedSPropTagArray<2> columns{2, {mapi::PR_SERVICE_NAME_W, mapi::PR_SERVICE_UID}};
    hr = mapi::HrQueryAllRows(serviceTable.Get(), columns.get(), nullptr, nullptr, 0, rows.Put());
    hr = mapi::Obtained(hr, rows);
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning, u"Failed in HrQueryAllRows for profile '%S', result=0x%08x.",
                 profile, hr);
        return hr;
    }
    const mapi::SRow* first = rows.Count() ? &rows[0] : nullptr;
    bool valid = first && first->cValues >= 2 &&
                 mapi::PROP_ID(first->lpProps[0].ulPropTag) == 0x3D09 &&
                 mapi::PROP_ID(first->lpProps[1].ulPropTag) == 0x3D0C &&
                 first->lpProps[1].ulPropTag == mapi::PR_SERVICE_UID &&
                 first->lpProps[1].Value.bin.cb == sizeof(mapi::MAPIUID);
    if (!valid) {
        // A profile without a usable Exchange service cannot log on: fail, so it is deleted.
        hr = mapi::E_FAIL;
        WriteLog(kOp, kLogWarning,
                 u"Invalid properties in MsgSvcTable for profile '%S', result=0x%08x.", profile,
                 hr);
        return hr;
    }
    auto* uid = reinterpret_cast<mapi::MAPIUID*>(first->lpProps[1].Value.bin.lpb);
    hr = services->ConfigureMsgService(uid, 0, mapi::SERVICE_UI_ALWAYS | mapi::SERVICE_UI_ALLOWED,
                                       0, nullptr);
    if (hr == mapi::MAPI_E_USER_CANCEL) {
        WriteLog(kOp, kLogWarning,
                 u"User Cancelled in ConfigureMsgService for profile '%S', result=0x%08x.",
                 profile, hr);
    } else if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning,
                 u"Failed in ConfigureMsgService for profile '%S', result=0x%08x.", profile, hr);
    } else {
        hr = mapi::S_OK;
    }
    return hr;
}

}  // namespace

std::string ProfileKeyPath(std::string_view profileName) {
    std::string path = kProfilesKey;
    for (char c : profileName.substr(0, kProfileKeyNameBytes)) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            path.push_back(c);
        } else {
            path.push_back('[');
            path.push_back(char(0x70 + (byte & 0x0F)));
            path.push_back(char(0x70 + (byte >> 4)));
        }
    }
    return path;
}

mapi::HRESULT GetProfileName(std::u16string& name) {
    const std::string profile = ReadProfileSetting();
    WriteLog(kOp, kLogTrace, u"Using MAPI profile '%S'.", profile);

    mapi::ComPtr<mapi::IProfAdmin> admin;
    mapi::HRESULT hr = mapi::MAPIAdminProfiles(0, admin.Put());
    hr = mapi::Obtained(hr, admin);
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning, u"Failed to obtain Profile Admin object, result=0x%08x", hr);
        return hr;
    }
    CreatedProfile created(admin.Get(), profile, hr);

    hr = admin->CreateProfile(profile.c_str(), "", 0, 0);
    if (hr == mapi::MAPI_E_NO_ACCESS) {
        // The name is taken: the profile exists when MAPI keeps a key for it.
        if (ProfileKeyExists(profile)) {
            hr = mapi::S_OK;
        } else {
            WriteLog(kOp, kLogWarning, u"Failed to create profile '%S', result=0x%08x", profile,
                     hr);
            return hr;
        }
    } else if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning, u"Failed to create profile '%S', result=0x%08x", profile, hr);
        return hr;
    } else {
        created.Created();
        hr = ConfirmProfileCreation(profile) ? ConfigureNewProfile(admin.Get(), profile)
                                             : mapi::MAPI_E_USER_CANCEL;
        if (mapi::FAILED(hr)) return hr;
    }
    if (!profile.empty()) name = platform::FromSystemCodePage(profile);
    return hr;
}

}  // namespace tav

#include "usercfg/folder_redirection_properties.h"

#include <limits>

#include "core/diagnostic_log.h"
#include "usercfg/user_config_message.h"

namespace tav {
namespace {

constexpr char16_t kOpGet[] = u"ExchangeAdaptorDLL::GetFolderRedirectionProperties";
constexpr char16_t kOpUpdate[] = u"ExchangeAdaptorDLL::UpdateFolderRedirectionProperties";

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

std::int32_t AsFlag(bool value) { return value ? 1 : 0; }

bool ReadSettings(std::u16string_view userDn, std::u16string_view serverDn,
                  FolderRedirectionSettings& settings) {
    UserConfigMessage config;
    if (!config.Open(userDn, serverDn)) return false;

    mapi::MapiBuffer<mapi::SPropValue> sentItems;
    mapi::HRESULT hr = mapi::HrGetOneProp(config.message.Get(), kRedirSentItemsTag, sentItems.Put());
    hr = mapi::Obtained(hr, sentItems);
    if (hr == mapi::MAPI_E_NOT_FOUND) {
        settings.RedirSentItems = true;
    } else if (mapi::FAILED(hr)) {
        WriteLog(kOpGet, kLogWarning, u"Failed to get properties for user=%s, prop=%d.", userDn,
                 static_cast<std::int32_t>(kRedirSentItemsTag));
        return false;
    } else {
        settings.RedirSentItems = sentItems->Value.l != 0;
    }
    sentItems.Reset();

    mapi::SizedSPropTagArray<4> tags{
        4, {kNumSelectedFoldersTag, kRedirTimeTag, kSentActivationTimeTag, kRedirSelectedTag}};
    mapi::ULONG count = 0;
    mapi::MapiBuffer<mapi::SPropValue> values;
    hr = config.message->GetProps(tags.get(), 0, &count, values.Put());
    hr = mapi::Obtained(hr, values);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpGet, kLogWarning, u"Failed to get properties for user=%s.", userDn);
        return false;
    }
    WriteLog(kOpGet, kLogTrace, u"Number of props returned = %d.", count);
    for (mapi::ULONG i = 0; values && i < count; ++i) {
        const mapi::SPropValue& value = values[i];
        switch (value.ulPropTag) {
            case kNumSelectedFoldersTag: settings.NumSelectedFolders = value.Value.l; break;
            case kRedirTimeTag: FileTimeToUnixTime(value.Value.ft, settings.Time); break;
            case kSentActivationTimeTag:
                FileTimeToUnixTime(value.Value.ft, settings.SentActivationTime);
                break;
            case kRedirSelectedTag: settings.RedirSelected = value.Value.l != 0; break;
            default: break;  // an error value for a missing property
        }
    }
    WriteLog(kOpGet, kLogTrace,
             u"UserDN=%s, ServerDN=%s, RedirSelected=%d, NumSelectedFolders=%d, Time=%d, "
             u"SentActivationTime=%d, RedirSentItems=%d",
             userDn, serverDn, AsFlag(settings.RedirSelected), settings.NumSelectedFolders,
             settings.Time, settings.SentActivationTime, AsFlag(settings.RedirSentItems));
    return true;
}

bool WriteSettings(std::u16string_view userDn, std::u16string_view serverDn,
                   const FolderRedirectionSettings& settings) {
    UserConfigMessage config;
    if (!config.Open(userDn, serverDn)) return false;
    mapi::SPropValue values[5] = {};
    values[0].ulPropTag = kNumSelectedFoldersTag;
    values[0].Value.l = settings.NumSelectedFolders;
    values[1].ulPropTag = kRedirTimeTag;
    values[1].Value.ft = UnixTimeToFileTime(settings.Time);
    values[2].ulPropTag = kRedirSentItemsTag;
    values[2].Value.l = AsFlag(settings.RedirSentItems);
    values[3].ulPropTag = kSentActivationTimeTag;
    values[3].Value.ft = UnixTimeToFileTime(settings.SentActivationTime);
    values[4].ulPropTag = kRedirSelectedTag;
    values[4].Value.l = AsFlag(settings.RedirSelected);
    if (mapi::FAILED(config.message->SetProps(5, values, nullptr))) {
        WriteLog(kOpUpdate, kLogWarning, u"Failed to update properties for user=%s.", userDn);
        return false;
    }
    if (mapi::FAILED(config.message->SaveChanges(mapi::FORCE_SAVE))) {
        WriteLog(kOpUpdate, kLogWarning, u"SaveChanges failed.");
        return false;
    }
    return true;
}

}  // namespace

mapi::FILETIME UnixTimeToFileTime(std::int32_t seconds) {
    auto ticks = static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * kTicksPerSecond);
    return {static_cast<mapi::DWORD>(ticks), static_cast<mapi::DWORD>(ticks >> 32)};
}

bool FileTimeToUnixTime(const mapi::FILETIME& fileTime, std::int32_t& target) {
    std::uint64_t ticks =
        (static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    // A FILETIME with the top bit set is no time at all (and would overflow the subtraction as
    // a signed number): refused before any arithmetic, like the other times out of range.
    if (ticks > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
    std::int64_t seconds =
        (static_cast<std::int64_t>(ticks) - kTicksFrom1601To1970) / kTicksPerSecond;
    // Outside 32 bits either way (after 2038-01-19 03:14:07, before 1901-12-13 20:45:52).
    if (seconds > std::numeric_limits<std::int32_t>::max() ||
        seconds < std::numeric_limits<std::int32_t>::min())
        return false;
    target = static_cast<std::int32_t>(seconds);
    return true;
}

bool GetFolderRedirectionProperties(std::u16string_view userDn, std::u16string_view serverDn,
                                    FolderRedirectionSettings& settings) {
    bool done = ReadSettings(userDn, serverDn, settings);
    if (!done) WriteLog(kOpGet, kLogWarning, u"Failed for UserDN=%s", userDn);
    return done;
}

bool UpdateFolderRedirectionProperties(std::u16string_view userDn, std::u16string_view serverDn,
                                       const FolderRedirectionSettings& settings) {
    WriteLog(kOpUpdate, kLogTrace,
             u"UserDN=%s, ServerDN=%s, NumSelectedFolders=%d, Time=%d, SentActivationTime=%d, "
             u"RedirSentItems=%d",
             userDn, serverDn, settings.NumSelectedFolders, settings.Time,
             settings.SentActivationTime, AsFlag(settings.RedirSentItems));
    bool done = WriteSettings(userDn, serverDn, settings);
    if (!done) WriteLog(kOpUpdate, kLogWarning, u"Failed for UserDN=%s", userDn);
    return done;
}

}  // namespace tav

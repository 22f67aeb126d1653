// GetTavrelServiceNameForUser: the service a user belongs to, from SERVICE_NAME of the user's
// configuration message.
#include <algorithm>

#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
#include "core/exports.h"
#include "core/text.h"
#include "mailbox/config_message.h"
#include "mailbox/open_msg_store.h"
#include "mailbox/open_named_folder.h"

namespace tav {
namespace {

constexpr char16_t kOp[] = u"ExchangeAdaptorDLL::GetTavrelServiceNameForUser";
constexpr mapi::ULONG kServiceNameTag = 0x600C001F;

bool GetServiceName(std::u16string_view userDn, std::u16string_view serverDn, char16_t* buffer,
                    std::uint32_t capacity) {
    WriteLog(kOp, kLogTrace, u"UserDN=%s, ServerDN=%s", userDn, serverDn);
    mapi::ComPtr<mapi::IMsgStore> store;
    mapi::ComPtr<mapi::IMAPIFolder> root;
    mapi::ComPtr<mapi::IMAPIFolder> folder;
    EntryIdRecordPtr record;
    mapi::ComPtr<mapi::IMessage> message;

    if (mapi::FAILED(OpenMsgStore(userDn, serverDn, store.Put())) || !store) {
        WriteLog(kOp, kLogTrace, u"OpenMsgStore failed.");
        return false;
    }
    if (mapi::FAILED(OpenRootFolder(store.Get(), root.Put())) || !root) {
        WriteLog(kOp, kLogTrace, u"OpenRootFolder failed.");
        return false;
    }
    mapi::HRESULT hr = OpenNamedFolder(root.Get(), kHandheldInfoFolder, folder.Put());
    if (hr == mapi::MAPI_E_NO_ACCESS) {
        WriteLog(kOp, kLogWarning, u"OpenNamedFolder failed, Access Denied, result=0x%08x.", hr);
        return false;
    }
    if (hr == mapi::MAPI_E_NOT_FOUND) {
        // No configuration folder: the user has no service, which is no failure.
        WriteLog(kOp, kLogWarning, u"OpenNamedFolder failed, Not Found, result=0x%08x.", hr);
        return true;
    }
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogTrace, u"OpenNamedFolder failed, result=0x%08x.", hr);
        return false;
    }
    EntryIdRecord* found = nullptr;
    hr = GetHandheldConfigMessageEntryId(folder.Get(), &found);
    record.reset(found);
    if (mapi::FAILED(hr) || !record) {
        WriteLog(kOp, kLogTrace, u"GetHandheldConfigMessageEntryId failed.");
        return false;
    }
    if (mapi::FAILED(OpenMessageByEntryId(folder.Get(), record.get(), message.Put()))) {
        WriteLog(kOp, kLogTrace, u"OpenMessageByEntryId failed.");
        return false;
    }
    if (!message) return false;

    mapi::MapiBuffer<mapi::SPropValue> value;
    hr = mapi::HrGetOneProp(message.Get(), kServiceNameTag, value.Put());
    hr = mapi::Obtained(hr, value);
    if (hr == mapi::MAPI_E_NOT_FOUND) return true;
    if (mapi::FAILED(hr)) {
        WriteLog(kOp, kLogWarning, u"Failed to get SERVICE_NAME for user=%s.", userDn);
        return false;
    }
    std::u16string_view name = WideView(value->Value.lpszW);
    if (name.size() >= capacity) {
        // Handing out a cut or unterminated name would name another service.
        WriteLog(kOp, kLogWarning,
                 u"SERVICE_NAME for user=%s does not fit into %u characters; its length is %u.",
                 userDn, capacity, static_cast<std::uint32_t>(name.size()));
        return false;
    }
    WriteLog(kOp, kLogTrace, u"Found SERVICE_NAME='%s' for user=%s.", name, userDn);
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
    return true;
}

}  // namespace
}  // namespace tav

extern "C" bool GetTavrelServiceNameForUser(const tav::WideStringSlot* userDn,
                                            const tav::WideStringSlot* serverDn,
                                            char16_t* serviceName, std::uint32_t capacity) {
    using namespace tav;
    return ExportBoundary(kOp, false, [&] {
        ClearLog();
        if (!Session().session) {
            WriteLog(kOp, kLogTrace, u"No session.");
            return false;
        }
        std::optional<std::u16string> user = ReadSlot(userDn);
        std::optional<std::u16string> server = ReadSlot(serverDn);
        if (!serviceName || !user || !server) {
            WriteLog(kOp, kLogTrace, u"Bad parameters.");
            return false;
        }
        std::fill_n(serviceName, capacity, u'\0');
        return GetServiceName(*user, *server, serviceName, capacity);
    });
}

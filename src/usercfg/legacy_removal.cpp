// RemoveUserFromLegacyServer: deletes a user's handheld record, and the statistics record where
// there is one, from a legacy server's administrator mailbox.
#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
#include "core/exports.h"
#include "mailbox/config_message.h"
#include "mailbox/open_msg_store.h"
#include "mailbox/open_named_folder.h"

namespace tav {
namespace {

constexpr char16_t kOp[] = u"ExchangeAdaptorDLL::RemoveUserFromLegacyServer";
constexpr char16_t kHandheldsFolder[] = u"Handhelds";
constexpr char16_t kHandheldStatsFolder[] = u"HandheldStats";

// Finds the user's record in the folder and deletes it.
bool DeleteUserRecord(mapi::IMAPIFolder* folder, std::u16string_view userDn, bool alternate) {
    EntryIdRecord* found = nullptr;
    mapi::HRESULT hr = GetUserMessageEntryId(folder, userDn, alternate, &found);
    EntryIdRecordPtr record(found);
    if (mapi::FAILED(hr) || !record) return false;
    return mapi::SUCCEEDED(DeleteMessageByEntryId(folder, record.get()));
}

bool RemoveUser(std::u16string_view userDn, std::u16string_view adminDn,
                std::u16string_view adminServerDn, std::u16string_view service) {
    mapi::ComPtr<mapi::IMsgStore> store;
    mapi::ComPtr<mapi::IMAPIFolder> root;
    mapi::ComPtr<mapi::IMAPIFolder> serviceFolder;
    mapi::ComPtr<mapi::IMAPIFolder> handhelds;
    mapi::ComPtr<mapi::IMAPIFolder> stats;
    if (mapi::FAILED(OpenMsgStore(adminDn, adminServerDn, store.Put())) || !store) return false;
    if (mapi::FAILED(OpenRootFolder(store.Get(), root.Put())) || !root) return false;
    if (mapi::FAILED(OpenNamedFolder(root.Get(), service, serviceFolder.Put())) || !serviceFolder)
        return false;
    if (mapi::FAILED(OpenNamedFolder(serviceFolder.Get(), kHandheldsFolder, handhelds.Put())) ||
        !handhelds)
        return false;
    if (!DeleteUserRecord(handhelds.Get(), userDn, false)) return false;

    // The statistics record goes too where there is one; its absence changes nothing.
    if (mapi::SUCCEEDED(OpenNamedFolder(serviceFolder.Get(), kHandheldStatsFolder, stats.Put())) &&
        stats)
        DeleteUserRecord(stats.Get(), userDn, true);
    return true;
}

}  // namespace
}  // namespace tav

extern "C" bool RemoveUserFromLegacyServer(const tav::WideStringSlot* userDn,
                                           const tav::WideStringSlot* adminDn,
                                           const tav::WideStringSlot* adminServerDn,
                                           const tav::WideStringSlot* service) {
    using namespace tav;
    return ExportBoundary(kOp, false, [&] {
        ClearLog();
        if (!Session().session) {
            WriteLog(kOp, kLogTrace, u"No session.");
            return false;
        }
        std::optional<std::u16string> user = ReadSlot(userDn);
        std::optional<std::u16string> admin = ReadSlot(adminDn);
        std::optional<std::u16string> server = ReadSlot(adminServerDn);
        std::optional<std::u16string> serviceName = ReadSlot(service);
        if (!user || !admin || !server || !serviceName) {
            WriteLog(kOp, kLogTrace, u"Bad parameters.");
            return false;
        }
        WriteLog(kOp, kLogTrace, u"UserDN=%s, AdminDN=%s, AdminServerDN=%s, Service=%s",
                 *user, *admin, *server, *serviceName);
        return RemoveUser(*user, *admin, *server, *serviceName);
    });
}

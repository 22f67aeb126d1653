// EditFolderRedirectionSettings: a user's folder-redirection settings read from the user's
// configuration message, edited in the "Choose Folders" dialog and written back on OK.
#include "core/diagnostic_log.h"
#include "core/exports.h"
#include "core/resource_text.h"
#include "redirect/choose_folders_dialog.h"
#include "usercfg/folder_redirection_properties.h"

namespace tav {
namespace {

constexpr char16_t kOp[] = u"ExchangeAdaptorDLL::EditFolderRedirectionSettings";

struct CallerSettings {
    bool* redirSelected;
    std::int32_t* numSelectedFolders;
    std::int32_t* time;
    std::int32_t* sentActivationTime;
    bool* redirSentItems;

    bool Complete() const {
        return redirSelected && numSelectedFolders && time && sentActivationTime && redirSentItems;
    }
    FolderRedirectionSettings Read() const {
        return {*redirSelected, *numSelectedFolders, *time, *sentActivationTime, *redirSentItems};
    }
    void Write(const FolderRedirectionSettings& settings) const {
        *redirSelected = settings.RedirSelected;
        *numSelectedFolders = settings.NumSelectedFolders;
        *time = settings.Time;
        *sentActivationTime = settings.SentActivationTime;
        *redirSentItems = settings.RedirSentItems;
    }
};

bool EditSettings(std::u16string_view displayName, std::u16string_view userDn,
                  std::u16string_view serverDn, const CallerSettings& caller) {
    // The caller's values are the defaults of properties the message lacks.
    FolderRedirectionSettings settings = caller.Read();
    bool read = GetFolderRedirectionProperties(userDn, serverDn, settings);
    caller.Write(settings);
    if (!read) {
        ShowWarningBox(ResourceText::LoadString(kTextRedirectionReadFailed));
        return false;
    }
    ChooseFoldersDialog dialog(displayName, userDn, serverDn);
    dialog.Seed(settings);
    if (!dialog.ShowModal()) return false;
    caller.Write(dialog.Settings());
    if (!UpdateFolderRedirectionProperties(userDn, serverDn, dialog.Settings())) {
        ShowWarningBox(ResourceText::LoadString(kTextRedirectionUpdateFailed));
        return false;
    }
    return true;
}

}  // namespace
}  // namespace tav

extern "C" bool EditFolderRedirectionSettings(const tav::WideStringSlot* displayName,
                                              const tav::WideStringSlot* userDn,
                                              const tav::WideStringSlot* serverDn,
                                              bool* redirSelected, std::int32_t* numSelectedFolders,
                                              std::int32_t* time, std::int32_t* sentActivationTime,
                                              bool* redirSentItems) {
    using namespace tav;
    ClearLog();
    std::optional<std::u16string> name = ReadSlot(displayName);
    std::optional<std::u16string> user = ReadSlot(userDn);
    std::optional<std::u16string> server = ReadSlot(serverDn);
    CallerSettings caller{redirSelected, numSelectedFolders, time, sentActivationTime,
                          redirSentItems};
    if (!name || !user || !server || !caller.Complete()) {
        WriteLog(kOp, kLogTrace, u"Bad parameters.");
        return false;
    }
    return EditSettings(*name, *user, *server, caller);
}

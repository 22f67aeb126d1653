// EditFolderRedirectionSettings: a user's folder-redirection settings read from the user's
// configuration message, edited in the "Choose Folders" dialog and written back on OK.
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
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

// True when OK left the markers as the administrator chose them (or had no markers to save);
// otherwise logs why not.
bool MarkersSaved(const ChooseFoldersDialog& dialog, std::u16string_view userDn) {
    switch (dialog.Markers()) {
        case MarkerOutcome::kUntouched:
        case MarkerOutcome::kSaved:
            return true;
        case MarkerOutcome::kNoFolderTree:
            WriteLog(kOp, kLogWarning,
                     u"Failed to read the folders of user=%s; no folder marker was saved.", userDn);
            return false;
        case MarkerOutcome::kTagsUnresolved:
            WriteLog(kOp, kLogWarning,
                     u"Failed to resolve the folder marker properties for user=%s, "
                     u"result=0x%08x; no folder marker was saved.",
                     userDn, dialog.MarkerTagsResult());
            return false;
        case MarkerOutcome::kSaveFailed:
            break;
    }
    const MarkerSaveReport& save = dialog.MarkerSave();
    WriteLog(kOp, kLogWarning,
             u"Failed to save the folder markers for user=%s: %s failed, result=0x%08x.", userDn,
             std::u16string_view(save.failedCall ? save.failedCall : u"a call"), save.result);
    return false;
}

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
    bool markersSaved = MarkersSaved(dialog, userDn);
    // Settings that describe the markers the mailbox holds are stored even when the markers
    // are not the administrator's whole selection; without that description nothing is.
    bool describesMailbox = markersSaved || (dialog.Markers() == MarkerOutcome::kSaveFailed &&
                                             dialog.MarkerSave().counted);
    if (describesMailbox) {
        caller.Write(dialog.Settings());
        if (!UpdateFolderRedirectionProperties(userDn, serverDn, dialog.Settings()))
            markersSaved = false;
    }
    if (!markersSaved) ShowWarningBox(ResourceText::LoadString(kTextRedirectionUpdateFailed));
    return markersSaved && describesMailbox;
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
    return ExportBoundary(kOp, false, [&] {
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
    });
}

// The modal "Choose Folders" dialog: whether a user's mail is redirected to the handheld from
// the Inbox alone or from chosen folders, and which folders. It opens the user's mailbox itself,
// shows its folder tree with a check box per selectable folder, and on OK rewrites the folder
// markers and hands the edited settings back.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mapi/mapi.h"
#include "platform/dialog_host.h"
#include "redirect/folder_tree_model.h"
#include "usercfg/folder_redirection_properties.h"

namespace tav {

// The dialog's resources and controls.
inline constexpr int kChooseFoldersTemplate = 200;
inline constexpr int kFolderImagesBitmap = 201;
inline constexpr int kFolderImageSize = 16;
inline constexpr int kFolderTreeControl = 1000;
inline constexpr int kInboxOnlyButton = 1001;
inline constexpr int kSelectedFoldersButton = 1002;
inline constexpr int kSelectHintText = 1003;
inline constexpr int kShiftHintText = 1004;
inline constexpr int kSentItemsNoteText = 1006;

// Images of the tree items; an item's image is its check state.
inline constexpr int kImageMailbox = 0;  // no check box
inline constexpr int kImageUnchecked = 1;
inline constexpr int kImageChecked = 2;

// What OK in the selected-folders mode did with the folder markers.
enum class MarkerOutcome {
    kUntouched,       // no OK in that mode: the markers were not to be changed
    kSaved,           // the markers are the selection
    kNoFolderTree,    // the mailbox or its folder tree could not be read: nothing was saved
    kTagsUnresolved,  // the markers' named properties could not be resolved: nothing was saved
    kSaveFailed,      // a call failed part way: see MarkerSave()
};

class ChooseFoldersDialog final : private platform::DialogHandler {
  public:
    ChooseFoldersDialog(std::u16string_view displayName, std::u16string_view userDn,
                        std::u16string_view serverDn);
    ~ChooseFoldersDialog();
    ChooseFoldersDialog(const ChooseFoldersDialog&) = delete;
    ChooseFoldersDialog& operator=(const ChooseFoldersDialog&) = delete;

    // The stored settings. Seeding also fixes, for the life of the dialog, whether the Inbox
    // shows ticked without a marker: while the Inbox alone is redirected.
    void Seed(const FolderRedirectionSettings& settings);
    // Runs the dialog owned by the calling thread's active window; true when it closed with OK.
    bool ShowModal();
    // After OK, the settings to store. When the markers could not be saved they are the
    // seeded settings, or, when the markers were counted afterwards, settings that describe the
    // markers the mailbox now holds.
    const FolderRedirectionSettings& Settings() const { return settings_; }
    MarkerOutcome Markers() const { return markerOutcome_; }
    // The failing call of the save and whether the markers were counted, after kSaveFailed.
    const MarkerSaveReport& MarkerSave() const { return markerSave_; }
    mapi::HRESULT MarkerTagsResult() const { return model_ ? model_->MarkerTagsResult() : 0; }

  private:
    bool OnInitDialog(platform::DialogHost& host) override;
    std::intptr_t OnTreeClick(platform::DialogHost& host, int tree) override;
    std::intptr_t OnTreeKeyDown(platform::DialogHost& host, int tree,
                                std::uint16_t virtualKey) override;
    void OnCommand(platform::DialogHost& host, int control, std::uint16_t notification) override;

    platform::TreeItem InsertTree(platform::DialogHost& host, FolderNode& node,
                                  platform::TreeItem parent);
    void SetSelected(platform::DialogHost& host, platform::TreeItem item, bool selected);
    void Toggle(platform::DialogHost& host, platform::TreeItem item);
    void EnableFolderChoice(platform::DialogHost& host, bool enabled);
    void ChangeMode(platform::DialogHost& host);
    void Confirm(platform::DialogHost& host);
    void CollectSelection(platform::DialogHost& host, platform::TreeItem item);
    void SaveSelection();

    std::u16string displayName_;
    std::u16string userDn_;
    std::u16string serverDn_;
    // The store outlives the model, which is destroyed first.
    mapi::ComPtr<mapi::IMsgStore> store_;
    std::unique_ptr<FolderTreeModel> model_;
    FolderNode* rootNode_ = nullptr;
    std::int32_t selectedCount_ = 0;
    FolderRedirectionSettings settings_;
    FolderRedirectionSettings seeded_;
    bool inboxDefaultChecked_ = false;
    // The mode whose radio button is checked; none until initialisation checks one.
    std::optional<bool> selectedFoldersMode_;
    MarkerOutcome markerOutcome_ = MarkerOutcome::kUntouched;
    MarkerSaveReport markerSave_;
};

}  // namespace tav

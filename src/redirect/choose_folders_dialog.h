// The modal "Choose Folders" dialog: whether a user's mail is redirected to the handheld from
// the Inbox alone or from chosen folders, and which folders. It opens the user's mailbox itself,
// shows its folder tree with a check box per selectable folder, and on OK rewrites the folder
// markers and hands the edited settings back.
#pragma once

#include <cstdint>
#include <memory>
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
    // After OK, the settings to store.
    const FolderRedirectionSettings& Settings() const { return settings_; }

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

    std::u16string displayName_;
    std::u16string userDn_;
    std::u16string serverDn_;
    // The store outlives the model, which is destroyed first.
    mapi::ComPtr<mapi::IMsgStore> store_;
    std::unique_ptr<FolderTreeModel> model_;
    FolderNode* rootNode_ = nullptr;
    std::int32_t selectedCount_ = 0;
    FolderRedirectionSettings settings_;
    bool inboxDefaultChecked_ = false;
};

}  // namespace tav

#include "redirect/choose_folders_dialog.h"

#include <algorithm>
#include <new>

#include "core/resource_text.h"
#include "mailbox/open_msg_store.h"
#include "platform/clock.h"

namespace tav {
namespace {

using platform::DialogHost;
using platform::TreeItem;
using platform::TreeRelation;

bool IsShown(const FolderNode& node) {
    return !(node.flags & kFolderNotSelectable);
}

int ItemImage(DialogHost& host, TreeItem item) {
    platform::TreeItemState state;
    return host.GetTreeItem(kFolderTreeControl, item, state) ? state.image : kImageMailbox;
}

}  // namespace

ChooseFoldersDialog::ChooseFoldersDialog(std::u16string_view displayName,
                                         std::u16string_view userDn, std::u16string_view serverDn)
    : displayName_(displayName), userDn_(userDn), serverDn_(serverDn) {}

ChooseFoldersDialog::~ChooseFoldersDialog() = default;

void ChooseFoldersDialog::Seed(const FolderRedirectionSettings& settings) {
    settings_ = settings;
    seeded_ = settings;
    inboxDefaultChecked_ = !settings.RedirSelected;
}

bool ChooseFoldersDialog::ShowModal() {
    return platform::RunModalDialog(kChooseFoldersTemplate, platform::ActiveWindow(), *this) ==
           platform::kIdOk;
}

// Without a mailbox (or a model) the dialog shows an empty tree, no radio button checked and
// every control enabled, where the template put it.
bool ChooseFoldersDialog::OnInitDialog(DialogHost& host) {
    host.SetTreeImageList(kFolderTreeControl, kFolderImagesBitmap, kFolderImageSize);
    if (mapi::FAILED(OpenMsgStore(userDn_, serverDn_, store_.Put())) || !store_) return true;
    model_.reset(new (std::nothrow) FolderTreeModel(displayName_));
    if (!model_) return true;
    model_->SetSentItemsSelected(settings_.RedirSentItems);
    model_->SetInboxDefaultChecked(inboxDefaultChecked_);
    rootNode_ = model_->BuildTree(store_.Get());

    TreeItem rootItem = rootNode_ ? InsertTree(host, *rootNode_, nullptr) : nullptr;
    host.ExpandTreeItem(kFolderTreeControl, rootItem);
    host.SelectTreeItem(kFolderTreeControl, rootItem);
    host.SetButtonCheck(settings_.RedirSelected ? kSelectedFoldersButton : kInboxOnlyButton, true);
    selectedFoldersMode_ = settings_.RedirSelected;
    EnableFolderChoice(host, settings_.RedirSelected);
    host.SetControlText(kSentItemsNoteText, ResourceText::LoadString(kTextSentItemsNote));
    host.CentreDialog();
    return false;
}

// A node that cannot be selected is not shown below a parent; its children go to the top level.
TreeItem ChooseFoldersDialog::InsertTree(DialogHost& host, FolderNode& node, TreeItem parent) {
    bool shown = IsShown(node);
    TreeItem item = nullptr;
    if (shown || !parent) {
        platform::TreeInsert insert;
        insert.parent = parent;
        insert.sorted = parent != nullptr;
        insert.text = node.name;
        insert.image = !shown                            ? kImageMailbox
                       : (node.checked & kFolderChecked) ? kImageChecked
                                                         : kImageUnchecked;
        insert.param = reinterpret_cast<std::intptr_t>(&node);
        insert.hasChildren = std::any_of(node.children.begin(), node.children.end(),
                                         [](const auto& child) { return IsShown(*child); });
        item = host.InsertTreeItem(kFolderTreeControl, insert);
    }
    for (auto& child : node.children) InsertTree(host, *child, item);
    return item;
}

std::intptr_t ChooseFoldersDialog::OnTreeClick(DialogHost& host, int tree) {
    if (tree != kFolderTreeControl) return 0;
    platform::Point cursor = host.ScreenToClient(kFolderTreeControl, host.MessagePosition());
    platform::TreeHit hit = host.HitTestTree(kFolderTreeControl, cursor);
    // Only a click on the check box toggles; the label and the rest of the row do not.
    if (hit.item && (hit.flags & platform::kTreeHitOnIcon)) Toggle(host, hit.item);
    return 0;
}

std::intptr_t ChooseFoldersDialog::OnTreeKeyDown(DialogHost& host, int tree,
                                                 std::uint16_t virtualKey) {
    if (tree != kFolderTreeControl || virtualKey != platform::kVirtualKeySpace) return 0;
    TreeItem caret = host.NextTreeItem(kFolderTreeControl, nullptr, TreeRelation::Caret);
    if (!caret) return 0;
    Toggle(host, caret);
    return 1;
}

void ChooseFoldersDialog::Toggle(DialogHost& host, TreeItem item) {
    int image = ItemImage(host, item);
    if (image != kImageMailbox) SetSelected(host, item, image != kImageChecked);
}

// With SHIFT down the whole subtree takes the new state. The nodes change only on OK.
void ChooseFoldersDialog::SetSelected(DialogHost& host, TreeItem item, bool selected) {
    host.SetTreeItemImage(kFolderTreeControl, item, selected ? kImageChecked : kImageUnchecked);
    if (!host.IsShiftDown()) return;
    platform::TreeItemState state;
    if (!host.GetTreeItem(kFolderTreeControl, item, state) || state.children == 0) return;
    for (TreeItem child = host.NextTreeItem(kFolderTreeControl, item, TreeRelation::Child); child;
         child = host.NextTreeItem(kFolderTreeControl, child, TreeRelation::Next)) {
        SetSelected(host, child, selected);
    }
}

void ChooseFoldersDialog::OnCommand(DialogHost& host, int control, std::uint16_t notification) {
    if (control == platform::kIdOk) {
        Confirm(host);
    } else if (control == platform::kIdCancel) {
        host.EndDialog(platform::kIdCancel);
    } else if ((control == kInboxOnlyButton || control == kSelectedFoldersButton) &&
               notification == platform::kButtonClicked) {
        ChangeMode(host);
    }
}

void ChooseFoldersDialog::EnableFolderChoice(DialogHost& host, bool enabled) {
    for (int control : {kSelectHintText, kShiftHintText, kFolderTreeControl}) {
        host.EnableControl(control, enabled);
    }
}

// Acts only when the checked button changes: clicking the checked one again changes nothing.
void ChooseFoldersDialog::ChangeMode(DialogHost& host) {
    bool selectedFolders = host.IsButtonChecked(kSelectedFoldersButton);
    if (selectedFoldersMode_ == selectedFolders) return;
    selectedFoldersMode_ = selectedFolders;
    EnableFolderChoice(host, selectedFolders);
    settings_.RedirSelected = selectedFolders;
    settings_.RedirSentItems = !selectedFolders;
}

void ChooseFoldersDialog::Confirm(DialogHost& host) {
    if (host.IsButtonChecked(kSelectedFoldersButton)) {
        // Every top-level item: the mailbox item and the folders shown beside it because their
        // parent cannot be selected.
        selectedCount_ = 0;
        for (TreeItem item = host.NextTreeItem(kFolderTreeControl, nullptr, TreeRelation::Root);
             item; item = host.NextTreeItem(kFolderTreeControl, item, TreeRelation::Next)) {
            CollectSelection(host, item);
        }
        if (selectedCount_ == 0 &&
            ShowCaptionedBox(host.Window(), ResourceText::LoadString(kTextNoFoldersSelected),
                             platform::kMbYesNo) == platform::kIdNo) {
            return;
        }
        SaveSelection();
    } else {
        settings_.RedirSelected = false;
        settings_.RedirSentItems = true;
    }
    host.EndDialog(platform::kIdOk);
}

// Rewrites the markers and sets the settings that describe them. What could not be saved
// leaves the seeded settings, unless the markers were counted after a part-way failure: then
// the settings tell what the mailbox holds.
void ChooseFoldersDialog::SaveSelection() {
    if (!model_ || !rootNode_) {
        markerOutcome_ = MarkerOutcome::kNoFolderTree;
        settings_ = seeded_;
        return;
    }
    if (!model_->MarkerTagsResolved()) {
        markerOutcome_ = MarkerOutcome::kTagsUnresolved;
        settings_ = seeded_;
        return;
    }
    std::int32_t saved = 0;
    bool stored = model_->SaveMarkers(saved);
    markerSave_ = model_->LastSave();
    markerOutcome_ = stored ? MarkerOutcome::kSaved : MarkerOutcome::kSaveFailed;
    if (!markerSave_.counted) {
        settings_ = seeded_;
        return;
    }
    auto now = static_cast<std::int32_t>(platform::CurrentTimeSeconds());
    settings_.RedirSelected = true;
    settings_.NumSelectedFolders = saved;
    settings_.Time = now;
    if (model_->SentItemsInTree()) {
        bool sentItems = model_->SentItemsSelected();
        if (sentItems && !settings_.RedirSentItems) settings_.SentActivationTime = now;
        settings_.RedirSentItems = sentItems;
    } else {
        // Sent Items was not in the tree: its selection stays as stored.
        settings_.RedirSentItems = seeded_.RedirSentItems;
        settings_.SentActivationTime = seeded_.SentActivationTime;
    }
}

// Writes the check states of item and the items below it into their nodes, and counts the
// ticked ones.
void ChooseFoldersDialog::CollectSelection(DialogHost& host, TreeItem item) {
    platform::TreeItemState state;
    if (host.GetTreeItem(kFolderTreeControl, item, state)) {
        // The item's lParam is the node it shows, put there by InsertTree.
        auto* node = reinterpret_cast<FolderNode*>(state.param);  // NOLINT(performance-no-int-to-ptr)
        if (state.image == kImageUnchecked && node) {
            node->checked &= ~kFolderChecked;
        } else if (state.image == kImageChecked) {
            if (node) node->checked |= kFolderChecked;
            ++selectedCount_;
        }
    }
    for (TreeItem child = host.NextTreeItem(kFolderTreeControl, item, TreeRelation::Child); child;
         child = host.NextTreeItem(kFolderTreeControl, child, TreeRelation::Next)) {
        CollectSelection(host, child);
    }
}

}  // namespace tav

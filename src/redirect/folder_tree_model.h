// The folder tree of one user's mailbox for the "Choose Folders" dialog: which folders may be
// picked for redirection, which are picked now (a marker message per folder in the hidden folder
// "TavrelHandheldInfo/TavrelSynch"), and which are the Inbox and Sent Items.
//
// One model per dialog: built once from the user's store, its nodes' checked fields changed by
// the dialog, its markers rewritten at most once on OK, destroyed with the dialog. The model owns
// the node tree and every MAPI object it opens; it borrows the store.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "mapi/mapi.h"
#include "redirect/entry_blob.h"
#include "redirect/folder_node.h"

namespace tav {

inline constexpr char16_t kMarkerMessageClass[] = u"KVO.Tavrel.Synch";
inline constexpr char16_t kSynchFolderName[] = u"TavrelSynch";
// The longest root label, terminator included.
inline constexpr std::size_t kRootLabelLimit = 256;

// markerTags: the three named properties in the order they are resolved.
enum MarkerTag : std::size_t { kSynchStateTag = 0, kSynchEntryIdTag = 1, kSelectTimeTag = 2 };

// How the last SaveMarkers went.
struct MarkerSaveReport {
    // Every marker of the selection is stored and no other one is left.
    bool saved = false;
    // The count describes the markers the folder holds now (and the Sent Items selection).
    bool counted = false;
    // The first MAPI call that failed, and its result; null when none did.
    const char16_t* failedCall = nullptr;
    mapi::HRESULT result = mapi::S_OK;
};

class FolderTreeModel {
  public:
    // userName is kept only when it has at least one character.
    explicit FolderTreeModel(std::u16string_view userName);
    ~FolderTreeModel();
    FolderTreeModel(const FolderTreeModel&) = delete;
    FolderTreeModel& operator=(const FolderTreeModel&) = delete;

    // Inputs, set before the tree is built: the Inbox shows as selected without a marker; the
    // selection of Sent Items (RedirSentItems). SaveMarkers sets SentItemsSelected anew.
    void SetInboxDefaultChecked(bool checked) { inboxDefaultChecked_ = checked; }
    void SetSentItemsSelected(bool selected) { sentItemsSelected_ = selected; }
    bool SentItemsSelected() const { return sentItemsSelected_; }

    // Builds the tree from store and returns its root, which lives as long as the model. A
    // failure part way leaves what was built; null only when the mailbox node itself could not
    // be made.
    FolderNode* BuildTree(mapi::IMsgStore* store);
    FolderNode* Root() const { return root_.get(); }

    // The named properties of the markers, created in the store's name map when missing.
    bool ResolveMarkerTags();
    // Opens (creating them when missing) the store's root folder, "TavrelHandheldInfo" and
    // "TavrelSynch", whichever is not open yet.
    bool OpenMarkerFolder();
    // Reads the source keys of the markers into MarkerKeys.
    bool ReadMarkers();
    // Rewrites the markers after the dialog set the nodes' checked fields: count receives the
    // messages left in "TavrelSynch", plus one when Sent Items is selected. Only markers of
    // folders the tree holds are deleted when the build stopped part way; without the marker
    // tags nothing is touched. False when the selection was not stored whole (see LastSave).
    bool SaveMarkers(std::int32_t& count);
    const MarkerSaveReport& LastSave() const { return lastSave_; }

    // The named properties were resolved, so markers can be read and written.
    bool MarkerTagsResolved() const { return tagsResolved_; }
    mapi::HRESULT MarkerTagsResult() const { return tagsResult_; }
    // Every level of the hierarchy was read.
    bool TreeComplete() const { return treeComplete_; }
    // Sent Items was met by the walk: its selection is the tree's. Otherwise the stored
    // selection stays.
    bool SentItemsInTree() const { return !sentItemsKey_.Empty(); }

    const std::array<mapi::ULONG, 3>& MarkerTags() const { return markerTags_; }
    const std::vector<EntryBlob>& MarkerKeys() const { return markerKeys_; }

  private:
    bool ReadSpecialFolders();
    bool Walk();
    bool MakeRoot();
    bool CollectUnselectable();
    bool AddFolder(const mapi::SRow& row);
    bool Descend(FolderNode& node, const mapi::SBinary& entryId);
    bool IsSelectable(const mapi::SBinary& entryId) const;
    bool IsExcluded(const mapi::SBinary& entryId) const;
    void IndexMarkerKeys();
    bool IsMarked(const EntryBlob& key) const;
    // The store reports both ids equal; a failing comparison counts as not equal.
    bool SameEntry(const EntryBlob& known, const mapi::SBinary& entryId) const;
    mapi::HRESULT OpenRoot(mapi::ULONG flags, mapi::ComPtr<mapi::IMAPIFolder>& folder) const;
    using KeyCounts = std::unordered_map<EntryBlob, std::size_t, EntryBlobHash>;
    std::vector<EntryBlob> WantedKeys();
    bool PruneMarkers(KeyCounts& unmatched, KeyCounts& kept);
    void CollectTreeKeys();
    bool MayDelete(const mapi::SPropValue& key) const;
    bool CreateMarker(const EntryBlob& key);
    bool CountMarkers(std::int32_t& count);
    bool Fail(const char16_t* call, mapi::HRESULT result);

    mapi::IMsgStore* store_ = nullptr;  // borrowed
    mapi::ComPtr<mapi::IMAPIFolder> topFolder_;
    mapi::IMAPIFolder* currentFolder_ = nullptr;
    FolderNode* currentParent_ = nullptr;
    bool firstLevel_ = false;
    EntryBlob ipmSubtreeId_;
    EntryBlob inboxId_;
    EntryBlob sentItemsId_;
    std::vector<EntryBlob> excludedIds_;
    std::vector<EntryBlob> unselectableIds_;
    std::array<EntryBlob, 2> noDescentIds_;
    std::vector<EntryBlob> markerKeys_;
    // The hash of every marker key with its index in markerKeys_, sorted: the walk looks up
    // every folder's key, and one contiguous array answers that from the cache where a
    // node-based set of ten thousand keys missed it several times per lookup.
    std::vector<std::pair<std::size_t, std::size_t>> markerHashes_;
    // The keys of the folders the walk put in the tree, collected only for a walk that stopped
    // part way (MayDelete).
    std::unordered_set<EntryBlob, EntryBlobHash> treeKeys_;
    bool treeComplete_ = false;
    std::array<mapi::ULONG, 3> markerTags_{};
    bool tagsResolved_ = false;
    mapi::HRESULT tagsResult_ = mapi::S_OK;
    MarkerSaveReport lastSave_;
    mapi::ComPtr<mapi::IMAPIFolder> rootFolder_;
    mapi::ComPtr<mapi::IMAPIFolder> handheldInfoFolder_;
    mapi::ComPtr<mapi::IMAPIFolder> synchFolder_;
    std::optional<std::u16string> userName_;
    EntryBlob sentItemsKey_;
    bool inboxDefaultChecked_ = false;
    bool sentItemsSelected_ = false;
    std::unique_ptr<FolderNode> root_;
};

}  // namespace tav

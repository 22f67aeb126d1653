// FolderTreeModel's marker operations: the named properties of the marker messages, the marker
// folders, and reading and rewriting the markers in "TavrelHandheldInfo/TavrelSynch".
#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "mailbox/config_message.h"
#include "platform/clock.h"
#include "redirect/folder_tree_model.h"
#include "redirect/marker_names.h"

namespace tav {
namespace {

using mapi::FAILED;
using mapi::ULONG;

constexpr const char16_t* kMarkerNames[] = {kSynchStateName.units, kSynchEntryIdName.units,
                                            kSelectTimeName.units};
constexpr ULONG kMarkerTypes[] = {mapi::PT_BINARY, mapi::PT_BINARY, mapi::PT_SYSTIME};

mapi::HRESULT OpenOrCreateFolder(mapi::IMAPIFolder& parent, const char16_t* name,
                                 mapi::ComPtr<mapi::IMAPIFolder>& folder) {
    mapi::HRESULT hr = parent.CreateFolder(mapi::FOLDER_GENERIC, name, nullptr, nullptr,
                                           mapi::MAPI_UNICODE | mapi::OPEN_IF_EXISTS, folder.Put());
    return mapi::Obtained(hr, folder);
}

void CollectCheckedKeys(const FolderNode& node, std::vector<EntryBlob>& keys) {
    if (node.checked & kFolderChecked) keys.push_back(node.key);
    for (const auto& child : node.children) CollectCheckedKeys(*child, keys);
}

// A folder with an empty key names no marker.
void CollectKeys(const FolderNode& node, std::unordered_set<EntryBlob, EntryBlobHash>& keys) {
    if (!node.key.Empty()) keys.insert(node.key);
    for (const auto& child : node.children) CollectKeys(*child, keys);
}

}  // namespace

bool FolderTreeModel::ResolveMarkerTags() {
    if (!store_) return false;
    mapi::MAPINAMEID names[std::size(kMarkerNames)] = {};
    mapi::LPMAPINAMEID list[std::size(kMarkerNames)] = {};
    for (std::size_t i = 0; i < std::size(kMarkerNames); ++i) {
        names[i].lpguid = const_cast<mapi::LPGUID>(&mapi::PS_PUBLIC_STRINGS);
        names[i].ulKind = mapi::MNID_STRING;
        names[i].Kind.lpwstrName = const_cast<char16_t*>(kMarkerNames[i]);
        list[i] = &names[i];
    }
    mapi::ComPtr<mapi::IMAPIFolder> root;
    tagsResult_ = OpenRoot(mapi::MAPI_MODIFY, root);
    if (FAILED(tagsResult_)) return false;
    mapi::MapiBuffer<mapi::SPropTagArray> ids;
    tagsResult_ = root->GetIDsFromNames(std::size(names), list, mapi::MAPI_CREATE, ids.Put());
    tagsResult_ = mapi::Obtained(tagsResult_, ids);
    if (FAILED(tagsResult_)) return false;
    if (ids->cValues < std::size(names)) {
        tagsResult_ = mapi::MAPI_E_CALL_FAILED;
        return false;
    }
    // With MAPI_W_ERRORS_RETURNED a name that could not be mapped comes back as PT_ERROR.
    for (std::size_t i = 0; i < std::size(names); ++i) {
        if (mapi::PROP_TYPE(ids->aulPropTag[i]) == mapi::PT_ERROR) return false;
    }
    for (std::size_t i = 0; i < std::size(names); ++i) {
        markerTags_[i] = (ids->aulPropTag[i] & 0xFFFF0000u) | kMarkerTypes[i];
    }
    tagsResolved_ = true;
    return true;
}

bool FolderTreeModel::OpenMarkerFolder() {
    if (!store_) return false;
    mapi::HRESULT hr = mapi::S_OK;
    if (!rootFolder_ && FAILED(hr = OpenRoot(mapi::MAPI_MODIFY, rootFolder_))) {
        return Fail(u"OpenEntry", hr);
    }
    if (!handheldInfoFolder_ &&
        FAILED(hr = OpenOrCreateFolder(*rootFolder_, kHandheldInfoFolder, handheldInfoFolder_))) {
        return Fail(u"CreateFolder", hr);
    }
    if (!synchFolder_ &&
        FAILED(hr = OpenOrCreateFolder(*handheldInfoFolder_, kSynchFolderName, synchFolder_))) {
        return Fail(u"CreateFolder", hr);
    }
    return true;
}

// Without the marker tags no marker can be recognised: the tree shows none.
bool FolderTreeModel::ReadMarkers() {
    markerKeys_.clear();
    markerHashes_.clear();
    if (!tagsResolved_) return true;
    if (!OpenMarkerFolder()) return false;
    mapi::ComPtr<mapi::IMAPITable> table;
    mapi::HRESULT hr = synchFolder_->GetContentsTable(0, table.Put());
    if (FAILED(mapi::Obtained(hr, table))) return false;
    mapi::SizedSPropTagArray<2> columns{2,
                                        {mapi::PR_MESSAGE_CLASS_W, markerTags_[kSynchEntryIdTag]}};
    if (FAILED(table->SetColumns(columns.get(), 0))) return false;
    while (true) {
        mapi::RowSetPtr rows;
        hr = table->QueryRows(1, 0, rows.Put());
        if (FAILED(mapi::Obtained(hr, rows))) return false;
        if (rows.Count() == 0) {
            IndexMarkerKeys();
            return true;
        }
        const mapi::SRow& row = rows[0];
        if (row.cValues < 2 || !row.lpProps) continue;
        const mapi::SPropValue& messageClass = row.lpProps[0];
        const mapi::SPropValue& key = row.lpProps[1];
        if (messageClass.ulPropTag == mapi::PR_MESSAGE_CLASS_W &&
            key.ulPropTag == markerTags_[kSynchEntryIdTag] &&
            EqualsIgnoreAsciiCase(WideView(messageClass.Value.lpszW), kMarkerMessageClass)) {
            markerKeys_.push_back(EntryBlob::FromBinary(key.Value.bin));
        }
    }
}

// Once every marker is read: a read that stopped part way leaves no index, and the walk stops.
void FolderTreeModel::IndexMarkerKeys() {
    markerHashes_.reserve(markerKeys_.size());
    for (std::size_t i = 0; i < markerKeys_.size(); ++i) {
        markerHashes_.emplace_back(markerKeys_[i].Hash(), i);
    }
    std::sort(markerHashes_.begin(), markerHashes_.end());
}

bool FolderTreeModel::IsMarked(const EntryBlob& key) const {
    const std::size_t hash = key.Hash();
    for (auto it = std::lower_bound(markerHashes_.begin(), markerHashes_.end(),
                                    std::pair<std::size_t, std::size_t>(hash, 0));
         it != markerHashes_.end() && it->first == hash; ++it) {
        if (markerKeys_[it->second] == key) return true;
    }
    return false;
}

// Records the first call that failed during a save (SaveMarkers starts the record afresh).
bool FolderTreeModel::Fail(const char16_t* call, mapi::HRESULT result) {
    if (!lastSave_.failedCall) {
        lastSave_.failedCall = call;
        lastSave_.result = FAILED(result) ? result : mapi::MAPI_E_CALL_FAILED;
    }
    return false;
}

bool FolderTreeModel::SaveMarkers(std::int32_t& count) {
    count = 0;
    lastSave_ = {};
    // Without the tags a marker could be neither recognised nor written: nothing is touched.
    if (!tagsResolved_) return Fail(u"GetIDsFromNames", tagsResult_);
    if (!OpenMarkerFolder()) return false;
    std::vector<EntryBlob> wanted = WantedKeys();
    KeyCounts unmatched;
    for (const EntryBlob& key : wanted) ++unmatched[key];
    KeyCounts kept;
    // The markers are created only when the prune went through, so that a failing prune leaves
    // the folder as it was as far as it got.
    bool stored = PruneMarkers(unmatched, kept);
    if (stored) {
        for (const EntryBlob& key : wanted) {
            auto found = kept.find(key);
            if (found != kept.end() && found->second > 0) {
                --found->second;  // an existing marker stands for this folder
                continue;
            }
            if (!CreateMarker(key)) stored = false;
        }
    }
    lastSave_.counted = CountMarkers(count);
    lastSave_.saved = stored && lastSave_.counted;
    return lastSave_.saved;
}

// The source keys of the checked nodes, a node before its children. Sent Items is not among
// them: it never gets a marker, and its tick is the Sent Items selection. When the walk never
// met Sent Items the selection stays as it was given.
std::vector<EntryBlob> FolderTreeModel::WantedKeys() {
    std::vector<EntryBlob> keys;
    if (root_) CollectCheckedKeys(*root_, keys);
    if (SentItemsInTree()) {
        auto sentItems = std::remove(keys.begin(), keys.end(), sentItemsKey_);
        sentItemsSelected_ = sentItems != keys.end();
        keys.erase(sentItems, keys.end());
    }
    return keys;
}

// Keeps one marker per wanted key (counted in kept, taken off unmatched); deletes the other
// messages that may go.
bool FolderTreeModel::PruneMarkers(KeyCounts& unmatched, KeyCounts& kept) {
    mapi::ComPtr<mapi::IMAPITable> table;
    mapi::HRESULT hr = mapi::Obtained(synchFolder_->GetContentsTable(0, table.Put()), table);
    if (FAILED(hr)) return Fail(u"GetContentsTable", hr);
    mapi::SizedSPropTagArray<3> columns{
        3, {mapi::PR_MESSAGE_CLASS_W, markerTags_[kSynchEntryIdTag], mapi::PR_ENTRYID}};
    hr = table->SetColumns(columns.get(), 0);
    if (FAILED(hr)) return Fail(u"SetColumns", hr);
    if (!treeComplete_) CollectTreeKeys();
    while (true) {
        mapi::RowSetPtr rows;
        hr = mapi::Obtained(table->QueryRows(1, 0, rows.Put()), rows);
        if (FAILED(hr)) return Fail(u"QueryRows", hr);
        if (rows.Count() == 0) return true;
        const mapi::SRow& row = rows[0];
        if (row.cValues < 3 || !row.lpProps) continue;
        const mapi::SPropValue& key = row.lpProps[1];
        if (key.ulPropTag == markerTags_[kSynchEntryIdTag]) {
            auto wanted = unmatched.find(EntryBlob::FromBinary(key.Value.bin));
            if (wanted != unmatched.end() && wanted->second > 0) {
                --wanted->second;
                ++kept[wanted->first];
                continue;
            }
        }
        // A message the table cannot name cannot be deleted.
        if (row.lpProps[2].ulPropTag != mapi::PR_ENTRYID || !MayDelete(key)) continue;
        mapi::ENTRYLIST list{1, &row.lpProps[2].Value.bin};
        hr = synchFolder_->DeleteMessages(&list, 0, nullptr, 0);
        if (FAILED(hr)) return Fail(u"DeleteMessages", hr);
    }
}

// The source keys of the tree's folders, for a build that stopped part way.
void FolderTreeModel::CollectTreeKeys() {
    treeKeys_.clear();
    if (root_) CollectKeys(*root_, treeKeys_);
}

// After a whole build every message that is not a wanted marker goes. After a build that
// stopped part way only the markers of folders the tree holds: the others name folders the
// administrator never saw.
bool FolderTreeModel::MayDelete(const mapi::SPropValue& key) const {
    if (treeComplete_) return true;
    return key.ulPropTag == markerTags_[kSynchEntryIdTag] &&
           treeKeys_.count(EntryBlob::FromBinary(key.Value.bin)) != 0;
}

// A failure anywhere leaves the folder without this marker; the next one is still tried.
bool FolderTreeModel::CreateMarker(const EntryBlob& key) {
    mapi::ComPtr<mapi::IMessage> message;
    mapi::HRESULT hr =
        mapi::Obtained(synchFolder_->CreateMessage(nullptr, 0, message.Put()), message);
    if (FAILED(hr)) return Fail(u"CreateMessage", hr);
    mapi::MapiBuffer<mapi::SPropValue> values;
    hr = values.Allocate(3 * sizeof(mapi::SPropValue));
    if (FAILED(hr)) return Fail(u"MAPIAllocateBuffer", hr);
    std::memset(values.Get(), 0, 3 * sizeof(mapi::SPropValue));

    void* text = nullptr;
    hr = mapi::MAPIAllocateMore(sizeof kMarkerMessageClass, values.Get(), &text);
    if (FAILED(hr)) return Fail(u"MAPIAllocateMore", hr);
    std::memcpy(text, kMarkerMessageClass, sizeof kMarkerMessageClass);
    values[0].ulPropTag = mapi::PR_MESSAGE_CLASS_W;
    values[0].Value.lpszW = static_cast<char16_t*>(text);

    void* bytes = nullptr;
    if (key.Count() != 0) {
        hr = mapi::MAPIAllocateMore(key.Count(), values.Get(), &bytes);
        if (FAILED(hr)) return Fail(u"MAPIAllocateMore", hr);
        std::memcpy(bytes, key.Bytes(), key.Count());
    }
    values[1].ulPropTag = markerTags_[kSynchEntryIdTag];
    values[1].Value.bin = {key.Count(), static_cast<mapi::BYTE*>(bytes)};

    std::uint64_t now = platform::SystemTimeAsFileTime();
    values[2].ulPropTag = markerTags_[kSelectTimeTag];
    values[2].Value.ft = {static_cast<mapi::DWORD>(now), static_cast<mapi::DWORD>(now >> 32)};

    mapi::MapiBuffer<mapi::SPropProblemArray> problems;
    hr = message->SetProps(3, values.Get(), problems.Put());
    if (FAILED(hr) || problems) return Fail(u"SetProps", hr);
    hr = message->SaveChanges(mapi::FORCE_SAVE);
    if (FAILED(hr)) return Fail(u"SaveChanges", hr);
    return true;
}

bool FolderTreeModel::CountMarkers(std::int32_t& count) {
    mapi::ComPtr<mapi::IMAPITable> table;
    mapi::HRESULT hr = mapi::Obtained(synchFolder_->GetContentsTable(0, table.Put()), table);
    if (FAILED(hr)) return Fail(u"GetContentsTable", hr);
    ULONG rows = 0;
    hr = table->GetRowCount(0, &rows);
    if (FAILED(hr)) return Fail(u"GetRowCount", hr);
    count = static_cast<std::int32_t>(rows) + (sentItemsSelected_ ? 1 : 0);
    return true;
}

}  // namespace tav

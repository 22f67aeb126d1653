// FolderTreeModel's marker operations: the named properties of the marker messages, the marker
// folders, and reading and rewriting the markers in "TavrelHandheldInfo/TavrelSynch".
#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "mailbox/config_message.h"
#include "platform/clock.h"
#include "redirect/folder_tree_model.h"

namespace tav {
namespace {

using mapi::FAILED;
using mapi::ULONG;

// A marker name as the store has it registered: the ASCII text was handed to GetIDsFromNames as
// if it were UTF-16, so each unit holds two characters, the first in the low byte, and a zero
// unit ends the name.
template <std::size_t N>
struct PackedName {
    static_assert(N % 2 == 1, "an even number of characters, so none is split");
    char16_t units[(N - 1) / 2 + 1] = {};

    constexpr explicit PackedName(const char (&text)[N]) {
        for (std::size_t i = 0; i + 1 < N; i += 2) {
            units[i / 2] = static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                                 static_cast<unsigned char>(text[i + 1]) << 8);
        }
    }
};

constexpr PackedName kSynchStateName("PR_KVO_SYNCH_STATE");
constexpr PackedName kSynchEntryIdName("PR_KVO_SYNCH_ENTRYID");
constexpr PackedName kSelectTimeName("PR_KVO_SELECT_TIME");

constexpr const char16_t* kMarkerNames[] = {kSynchStateName.units, kSynchEntryIdName.units,
                                            kSelectTimeName.units};
constexpr ULONG kMarkerTypes[] = {mapi::PT_BINARY, mapi::PT_BINARY, mapi::PT_SYSTIME};

mapi::HRESULT OpenOrCreateFolder(mapi::IMAPIFolder& parent, const char16_t* name,
                                 mapi::ComPtr<mapi::IMAPIFolder>& folder) {
    mapi::HRESULT hr = parent.CreateFolder(mapi::FOLDER_GENERIC, name, nullptr, nullptr,
                                           mapi::MAPI_UNICODE | mapi::OPEN_IF_EXISTS, folder.Put());
    if (mapi::SUCCEEDED(hr) && !folder) return mapi::E_FAIL;
    return hr;
}

void CollectCheckedKeys(const FolderNode& node, std::vector<EntryBlob>& keys) {
    if (node.checked & kFolderChecked) keys.push_back(node.key);
    for (const auto& child : node.children) CollectCheckedKeys(*child, keys);
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
    if (FAILED(OpenRoot(mapi::MAPI_MODIFY, root))) return false;
    mapi::MapiBuffer<mapi::SPropTagArray> ids;
    mapi::HRESULT hr = root->GetIDsFromNames(std::size(names), list, mapi::MAPI_CREATE, ids.Put());
    if (FAILED(hr) || !ids || ids->cValues < std::size(names)) return false;
    for (std::size_t i = 0; i < std::size(names); ++i) {
        markerTags_[i] = (ids->aulPropTag[i] & 0xFFFF0000u) | kMarkerTypes[i];
    }
    return true;
}

bool FolderTreeModel::OpenMarkerFolder() {
    if (!store_) return false;
    if (!rootFolder_ && FAILED(OpenRoot(mapi::MAPI_MODIFY, rootFolder_))) return false;
    if (!handheldInfoFolder_ &&
        FAILED(OpenOrCreateFolder(*rootFolder_, kHandheldInfoFolder, handheldInfoFolder_))) {
        return false;
    }
    if (!synchFolder_ &&
        FAILED(OpenOrCreateFolder(*handheldInfoFolder_, kSynchFolderName, synchFolder_))) {
        return false;
    }
    return true;
}

bool FolderTreeModel::ReadMarkers() {
    markerKeys_.clear();
    if (!OpenMarkerFolder()) return false;
    mapi::ComPtr<mapi::IMAPITable> table;
    if (FAILED(synchFolder_->GetContentsTable(0, table.Put())) || !table) return false;
    mapi::SizedSPropTagArray<2> columns{2,
                                        {mapi::PR_MESSAGE_CLASS_W, markerTags_[kSynchEntryIdTag]}};
    if (FAILED(table->SetColumns(columns.get(), 0))) return false;
    while (true) {
        mapi::RowSetPtr rows;
        if (FAILED(table->QueryRows(1, 0, rows.Put()))) return false;
        if (rows.Count() == 0) return true;
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

bool FolderTreeModel::SaveMarkers(std::int32_t& count) {
    count = 0;
    sentItemsSelected_ = false;
    if (!OpenMarkerFolder()) return false;
    std::vector<EntryBlob> wanted = WantedKeys();
    if (!PruneMarkers(wanted)) return false;
    for (const EntryBlob& key : wanted) {
        if (!sentItemsKey_.Empty() && key == sentItemsKey_) {
            // Sent Items never gets a marker: RedirSentItems carries its selection.
            sentItemsSelected_ = true;
            continue;
        }
        CreateMarker(key);
    }
    return CountMarkers(count);
}

// The source keys of the checked nodes, a node before its children.
std::vector<EntryBlob> FolderTreeModel::WantedKeys() const {
    std::vector<EntryBlob> keys;
    if (root_) CollectCheckedKeys(*root_, keys);
    return keys;
}

// Keeps one marker per wanted key, taking the key off the list; deletes every other message.
bool FolderTreeModel::PruneMarkers(std::vector<EntryBlob>& wanted) {
    mapi::ComPtr<mapi::IMAPITable> table;
    if (FAILED(synchFolder_->GetContentsTable(0, table.Put())) || !table) return false;
    mapi::SizedSPropTagArray<3> columns{
        3, {mapi::PR_MESSAGE_CLASS_W, markerTags_[kSynchEntryIdTag], mapi::PR_ENTRYID}};
    if (FAILED(table->SetColumns(columns.get(), 0))) return false;
    while (true) {
        mapi::RowSetPtr rows;
        if (FAILED(table->QueryRows(1, 0, rows.Put()))) return false;
        if (rows.Count() == 0) return true;
        const mapi::SRow& row = rows[0];
        if (row.cValues < 3 || !row.lpProps) continue;
        const mapi::SPropValue& key = row.lpProps[1];
        auto kept = wanted.end();
        // Sent Items never has a marker, so one found for it goes, and its selection reaches
        // RedirSentItems below.
        bool isMarker = key.ulPropTag == markerTags_[kSynchEntryIdTag];
        bool sentItemsMarker =
            isMarker && !sentItemsKey_.Empty() && sentItemsKey_.Matches(key.Value.bin);
        if (isMarker && !sentItemsMarker) {
            kept = std::find_if(wanted.begin(), wanted.end(),
                                [&](const EntryBlob& one) { return one.Matches(key.Value.bin); });
        }
        if (kept != wanted.end()) {
            wanted.erase(kept);
            continue;
        }
        // A message the table cannot name cannot be deleted.
        if (row.lpProps[2].ulPropTag != mapi::PR_ENTRYID) continue;
        mapi::ENTRYLIST list{1, &row.lpProps[2].Value.bin};
        if (FAILED(synchFolder_->DeleteMessages(&list, 0, nullptr, 0))) return false;
    }
}

// A failure anywhere leaves the folder without this marker, silently.
void FolderTreeModel::CreateMarker(const EntryBlob& key) {
    mapi::ComPtr<mapi::IMessage> message;
    if (FAILED(synchFolder_->CreateMessage(nullptr, 0, message.Put())) || !message) return;
    mapi::MapiBuffer<mapi::SPropValue> values;
    if (FAILED(values.Allocate(3 * sizeof(mapi::SPropValue)))) return;
    std::memset(values.Get(), 0, 3 * sizeof(mapi::SPropValue));

    void* text = nullptr;
    if (FAILED(mapi::MAPIAllocateMore(sizeof kMarkerMessageClass, values.Get(), &text))) return;
    std::memcpy(text, kMarkerMessageClass, sizeof kMarkerMessageClass);
    values[0].ulPropTag = mapi::PR_MESSAGE_CLASS_W;
    values[0].Value.lpszW = static_cast<char16_t*>(text);

    void* bytes = nullptr;
    if (key.Count() != 0) {
        if (FAILED(mapi::MAPIAllocateMore(key.Count(), values.Get(), &bytes))) return;
        std::memcpy(bytes, key.Bytes(), key.Count());
    }
    values[1].ulPropTag = markerTags_[kSynchEntryIdTag];
    values[1].Value.bin = {key.Count(), static_cast<mapi::BYTE*>(bytes)};

    std::uint64_t now = platform::SystemTimeAsFileTime();
    values[2].ulPropTag = markerTags_[kSelectTimeTag];
    values[2].Value.ft = {static_cast<mapi::DWORD>(now), static_cast<mapi::DWORD>(now >> 32)};

    mapi::MapiBuffer<mapi::SPropProblemArray> problems;
    if (FAILED(message->SetProps(3, values.Get(), problems.Put())) || problems) return;
    message->SaveChanges(mapi::FORCE_SAVE);
}

bool FolderTreeModel::CountMarkers(std::int32_t& count) {
    mapi::ComPtr<mapi::IMAPITable> table;
    ULONG rows = 0;
    if (FAILED(synchFolder_->GetContentsTable(0, table.Put())) || !table ||
        FAILED(table->GetRowCount(0, &rows))) {
        return false;
    }
    count = static_cast<std::int32_t>(rows) + (sentItemsSelected_ ? 1 : 0);
    return true;
}

}  // namespace tav

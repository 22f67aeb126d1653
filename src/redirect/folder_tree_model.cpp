// FolderTreeModel: its records and the walk that fills the tree from the mailbox hierarchy. The
// marker operations are in folder_markers.cpp.
#include "redirect/folder_tree_model.h"

#include <algorithm>

#include "core/resource_text.h"
#include "core/text.h"
#include "core/wide_format.h"

namespace tav {
namespace {

using mapi::FAILED;
using mapi::SPropValue;
using mapi::ULONG;

// Only mail folders, or folders of no class, may be redirected.
constexpr char16_t kRedirectableClass[] = u"IPF.Note";
constexpr mapi::LONG kRowsPerBatch = 1024;
constexpr std::size_t kAdditionalSpecialsUsed = 4;

// The columns of a hierarchy row, in this order.
enum Column { kEntryId, kName, kDepth, kSubfolders, kSourceKey, kContainerClass, kColumnCount };
constexpr ULONG kHierarchyColumns[kColumnCount] = {mapi::PR_ENTRYID,    mapi::PR_DISPLAY_NAME_W,
                                                   mapi::PR_DEPTH,      mapi::PR_SUBFOLDERS,
                                                   mapi::PR_SOURCE_KEY, mapi::PR_CONTAINER_CLASS_W};

// The special folders the store's root folder names.
constexpr ULONG kRootSpecialTags[] = {
    mapi::PR_IPM_APPOINTMENT_ENTRYID, mapi::PR_IPM_CONTACT_ENTRYID, mapi::PR_IPM_JOURNAL_ENTRYID,
    mapi::PR_IPM_NOTE_ENTRYID,        mapi::PR_IPM_TASK_ENTRYID,    mapi::PR_IPM_DRAFTS_ENTRYID,
    mapi::PR_ADDITIONAL_REN_ENTRYIDS};

struct Props {
    ULONG count = 0;
    mapi::MapiBuffer<SPropValue> values;

    // The i-th value when it came back with the tag asked for (not as an error value).
    const SPropValue* Returned(ULONG i, ULONG tag) const {
        return values && i < count && values[i].ulPropTag == tag ? &values[i] : nullptr;
    }
};

template <std::size_t N>
mapi::HRESULT GetProps(mapi::IMAPIProp* object, const ULONG (&tags)[N], Props& props) {
    mapi::SizedSPropTagArray<N> array;
    std::copy(std::begin(tags), std::end(tags), array.aulPropTag);
    mapi::HRESULT hr = object->GetProps(array.get(), 0, &props.count, props.values.Put());
    return mapi::Obtained(hr, props.values);
}

// Appends each value that came back with its own tag.
template <std::size_t N>
void AppendReturned(const Props& props, const ULONG (&tags)[N], std::vector<EntryBlob>& ids) {
    for (ULONG i = 0; i < N; ++i) {
        if (const SPropValue* value = props.Returned(i, tags[i])) {
            ids.push_back(EntryBlob::FromBinary(value->Value.bin));
        }
    }
}

// The root folder's special folders: each single-valued id, and of the additional special
// folders the non-empty ones among the first four.
void AppendRootSpecials(const Props& props, std::vector<EntryBlob>& ids) {
    constexpr ULONG kAdditional = std::size(kRootSpecialTags) - 1;
    for (ULONG i = 0; i < kAdditional; ++i) {
        if (const SPropValue* value = props.Returned(i, kRootSpecialTags[i])) {
            ids.push_back(EntryBlob::FromBinary(value->Value.bin));
        }
    }
    const SPropValue* additional = props.Returned(kAdditional, mapi::PR_ADDITIONAL_REN_ENTRYIDS);
    if (!additional) return;
    const mapi::SBinaryArray& values = additional->Value.MVbin;
    std::size_t used = std::min<std::size_t>(values.cValues, kAdditionalSpecialsUsed);
    for (std::size_t i = 0; i < used; ++i) {
        if (values.lpbin[i].cb) ids.push_back(EntryBlob::FromBinary(values.lpbin[i]));
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// String 50004 with the user's name, cut to the label limit without splitting a surrogate pair.
std::u16string MailboxLabel(std::u16string_view userName) {
    std::u16string format = ResourceText::LoadString(kTextMailboxOfUser);
    std::u16string label = FormatWideString(kRootLabelLimit - 1, format, userName);
    if (label.size() == kRootLabelLimit - 1 && IsHighSurrogate(label.back())) label.pop_back();
    return label;
}

}  // namespace

FolderTreeModel::FolderTreeModel(std::u16string_view userName) {
    if (!userName.empty()) userName_ = std::u16string(userName);
}

FolderTreeModel::~FolderTreeModel() = default;

FolderNode* FolderTreeModel::BuildTree(mapi::IMsgStore* store) {
    if (!store) return nullptr;
    store_ = store;
    firstLevel_ = true;
    currentParent_ = nullptr;
    ResolveMarkerTags();
    ReadSpecialFolders();

    // Without the IPM subtree's id there is no top folder: an empty id would open the store's
    // root, whose folders are not mail folders. The tree then holds the mailbox node alone.
    if (!ipmSubtreeId_.Empty()) {
        ULONG type = 0;
        mapi::ComPtr<mapi::IUnknown> top;
        mapi::HRESULT hr =
            store_->OpenEntry(ipmSubtreeId_.Count(), ipmSubtreeId_.EntryId(), nullptr,
                              mapi::MAPI_BEST_ACCESS, &type, top.PutUnknown());
        if (mapi::SUCCEEDED(mapi::Obtained(hr, top)) && type == mapi::MAPI_FOLDER) {
            topFolder_ = mapi::StaticPointerCast<mapi::IMAPIFolder>(std::move(top));
        }
    }
    currentFolder_ = topFolder_.Get();
    treeComplete_ = Walk();
    return currentParent_;
}

// Each step only when every call before it succeeded; what was read stays.
bool FolderTreeModel::ReadSpecialFolders() {
    constexpr ULONG kStoreIds[] = {mapi::PR_IPM_SUBTREE_ENTRYID, mapi::PR_IPM_SENTMAIL_ENTRYID};
    Props props;
    if (FAILED(GetProps(store_, kStoreIds, props))) return false;
    if (const SPropValue* value = props.Returned(0, kStoreIds[0])) {
        ipmSubtreeId_ = EntryBlob::FromBinary(value->Value.bin);
    }
    if (const SPropValue* value = props.Returned(1, kStoreIds[1])) {
        sentItemsId_ = EntryBlob::FromBinary(value->Value.bin);
    }

    ULONG inboxSize = 0;
    mapi::MapiBuffer<mapi::ENTRYID> inbox;
    mapi::HRESULT hr = store_->GetReceiveFolder(nullptr, 0, &inboxSize, inbox.Put(), nullptr);
    if (FAILED(mapi::Obtained(hr, inbox))) return false;
    inboxId_ = EntryBlob(reinterpret_cast<const mapi::BYTE*>(inbox.Get()), inboxSize);

    constexpr ULONG kOutbox[] = {mapi::PR_IPM_OUTBOX_ENTRYID};
    if (FAILED(GetProps(store_, kOutbox, props))) return false;
    AppendReturned(props, kOutbox, excludedIds_);

    mapi::ComPtr<mapi::IMAPIFolder> root;
    if (FAILED(OpenRoot(0, root))) return false;
    if (FAILED(GetProps(root.Get(), kRootSpecialTags, props))) return false;
    AppendRootSpecials(props, excludedIds_);
    root.Reset();

    constexpr ULONG kNoDescent[] = {mapi::PR_IPM_WASTEBASKET_ENTRYID,
                                    mapi::PR_IPM_SENTMAIL_ENTRYID};
    if (FAILED(GetProps(store_, kNoDescent, props))) return false;
    std::size_t slot = 0;
    for (ULONG i = 0; i < std::size(kNoDescent); ++i) {
        if (const SPropValue* value = props.Returned(i, kNoDescent[i])) {
            noDescentIds_[slot++] = EntryBlob::FromBinary(value->Value.bin);
        }
    }
    return true;
}

// Reads the subfolders of currentFolder_ into currentParent_, and theirs below them.
bool FolderTreeModel::Walk() {
    if (firstLevel_) {
        if (!MakeRoot() || !CollectUnselectable() || !ReadMarkers()) return false;
        firstLevel_ = false;
    }
    mapi::ComPtr<mapi::IMAPITable> table;
    if (!currentFolder_) return false;
    mapi::HRESULT hr = currentFolder_->GetHierarchyTable(0, table.Put());
    if (FAILED(mapi::Obtained(hr, table))) return false;
    mapi::SizedSPropTagArray<kColumnCount> columns;
    std::copy(std::begin(kHierarchyColumns), std::end(kHierarchyColumns), columns.aulPropTag);
    if (FAILED(table->SetColumns(columns.get(), mapi::TBL_BATCH))) return false;
    SPropValue depth{};
    depth.ulPropTag = mapi::PR_DEPTH;
    depth.Value.l = 1;
    mapi::SRestriction immediate{};
    immediate.rt = mapi::RES_PROPERTY;
    immediate.res.resProperty = {mapi::RELOP_EQ, mapi::PR_DEPTH, &depth};
    if (FAILED(table->Restrict(&immediate, mapi::TBL_BATCH))) return false;
    while (true) {
        mapi::RowSetPtr rows;
        hr = table->QueryRows(kRowsPerBatch, 0, rows.Put());
        if (FAILED(mapi::Obtained(hr, rows))) return false;
        if (rows.Count() == 0) return true;
        for (ULONG i = 0; i < rows.Count(); ++i) {
            if (!AddFolder(rows[i])) return false;
        }
    }
}

bool FolderTreeModel::MakeRoot() {
    constexpr ULONG kName[] = {mapi::PR_DISPLAY_NAME_W};
    Props props;
    if (FAILED(GetProps(store_, kName, props))) return false;
    auto root = std::make_unique<FolderNode>();
    if (props.count == 1) {
        if (const SPropValue* value = props.Returned(0, mapi::PR_DISPLAY_NAME_W)) {
            std::u16string_view name = WideView(value->Value.lpszW);
            if (!name.empty()) {
                root->name = name;
            } else if (userName_) {
                root->name = MailboxLabel(*userName_);
            } else {
                root->name = ResourceText::LoadString(kTextMailbox);
            }
        }
    }
    root->flags = kFolderNotSelectable;
    root_ = std::move(root);
    currentParent_ = root_.get();
    return true;
}

bool FolderTreeModel::CollectUnselectable() {
    constexpr ULONG kStoreIds[] = {mapi::PR_IPM_WASTEBASKET_ENTRYID, mapi::PR_IPM_OUTBOX_ENTRYID};
    Props props;
    if (FAILED(GetProps(store_, kStoreIds, props))) return false;
    AppendReturned(props, kStoreIds, unselectableIds_);
    if (FAILED(OpenRoot(mapi::MAPI_MODIFY, rootFolder_))) return false;
    if (FAILED(GetProps(rootFolder_.Get(), kRootSpecialTags, props))) return false;
    AppendRootSpecials(props, unselectableIds_);
    return true;
}

// One hierarchy row; false when the walk must stop (a malformed row or a failing call below).
bool FolderTreeModel::AddFolder(const mapi::SRow& row) {
    const SPropValue* values = row.lpProps;
    if (row.cValues != kColumnCount || !values) return false;
    for (int column : {kEntryId, kName, kDepth, kSubfolders}) {
        if (values[column].ulPropTag != kHierarchyColumns[column]) return false;
    }
    const SPropValue& folderClass = values[kContainerClass];
    if (folderClass.ulPropTag == mapi::PR_CONTAINER_CLASS_W &&
        !EqualsIgnoreAsciiCase(WideView(folderClass.Value.lpszW), kRedirectableClass)) {
        return true;
    }
    const mapi::SBinary& entryId = values[kEntryId].Value.bin;
    if (IsExcluded(entryId)) return true;

    currentParent_->children.push_back(std::make_unique<FolderNode>());
    FolderNode& node = *currentParent_->children.back();
    node.name = WideView(values[kName].Value.lpszW);
    bool isInbox = false;
    bool isSentItems = false;
    bool selected = false;
    if (values[kSourceKey].ulPropTag == mapi::PR_SOURCE_KEY) {
        node.key = EntryBlob::FromBinary(values[kSourceKey].Value.bin);
        bool selectable = IsSelectable(entryId);
        isInbox = SameEntry(inboxId_, entryId);
        isSentItems = SameEntry(sentItemsId_, entryId);
        bool marked = IsMarked(node.key);
        if (isSentItems) {
            selected = sentItemsSelected_;
        } else if (isInbox) {
            selected = marked || inboxDefaultChecked_;
        } else {
            selected = marked;
        }
        if (!selectable) node.flags = kFolderNotSelectable;
    } else {
        node.flags = kFolderNotSelectable;
    }
    if (isInbox) node.flags |= kFolderIsInbox;
    if (isSentItems) {
        node.flags |= kFolderIsSentItems;
        sentItemsKey_ = node.key;
    }
    if (selected) node.checked = kFolderChecked;

    bool descend = values[kSubfolders].Value.b != 0 && !SameEntry(noDescentIds_[0], entryId) &&
                   !SameEntry(noDescentIds_[1], entryId);
    return !descend || Descend(node, entryId);
}

// Reads the subfolders of the folder entryId into node, one level further down.
bool FolderTreeModel::Descend(FolderNode& node, const mapi::SBinary& entryId) {
    ULONG type = 0;
    mapi::ComPtr<mapi::IUnknown> opened;
    mapi::HRESULT hr = store_->OpenEntry(entryId.cb, reinterpret_cast<mapi::LPENTRYID>(entryId.lpb),
                                         nullptr, mapi::MAPI_MODIFY, &type, opened.PutUnknown());
    if (FAILED(mapi::Obtained(hr, opened)) || type != mapi::MAPI_FOLDER) return false;
    auto folder = mapi::StaticPointerCast<mapi::IMAPIFolder>(std::move(opened));

    mapi::IMAPIFolder* savedFolder = currentFolder_;
    FolderNode* savedParent = currentParent_;
    currentFolder_ = folder.Get();
    currentParent_ = &node;
    bool read = Walk();
    currentFolder_ = savedFolder;
    currentParent_ = savedParent;
    return read;
}

// Not one of the unselectable folders; a comparison that fails counts against it.
bool FolderTreeModel::IsSelectable(const mapi::SBinary& entryId) const {
    for (const EntryBlob& id : unselectableIds_) {
        ULONG equal = 0;
        mapi::HRESULT hr =
            store_->CompareEntryIDs(id.Count(), id.EntryId(), entryId.cb,
                                    reinterpret_cast<mapi::LPENTRYID>(entryId.lpb), 0, &equal);
        if (FAILED(hr) || equal) return false;
    }
    return true;
}

bool FolderTreeModel::IsExcluded(const mapi::SBinary& entryId) const {
    return std::any_of(excludedIds_.begin(), excludedIds_.end(),
                       [&](const EntryBlob& id) { return SameEntry(id, entryId); });
}

bool FolderTreeModel::SameEntry(const EntryBlob& known, const mapi::SBinary& entryId) const {
    ULONG equal = 0;
    mapi::HRESULT hr =
        store_->CompareEntryIDs(known.Count(), known.EntryId(), entryId.cb,
                                reinterpret_cast<mapi::LPENTRYID>(entryId.lpb), 0, &equal);
    return mapi::SUCCEEDED(hr) && equal != 0;
}

// The store's root folder, opened with an empty entry id.
mapi::HRESULT FolderTreeModel::OpenRoot(ULONG flags,
                                        mapi::ComPtr<mapi::IMAPIFolder>& folder) const {
    ULONG type = 0;
    mapi::HRESULT hr =
        store_->OpenEntry(0, nullptr, &mapi::IID_IMAPIFolder, flags, &type, folder.PutUnknown());
    return mapi::Obtained(hr, folder);
}

}  // namespace tav

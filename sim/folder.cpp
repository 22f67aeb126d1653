#include "sim/folder.h"

#include <span>
#include <algorithm>

#include "platform/code_page.h"
#include "sim/message.h"
#include "sim/object_base.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/table.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

constexpr ULONG kConvenientDepth = 0x00000001;
constexpr ULONG kShowSoftDeletes = 0x00000002;
constexpr ULONG kDeleteHardDelete = 0x00000010;
constexpr ULONG kAssocContentCount = 0x36170003;  // PR_ASSOC_CONTENT_COUNT
constexpr ULONG kStoreRecordKey = 0x0FFA0102;     // PR_STORE_RECORD_KEY

std::u16string NameOf(const Folder& folder) {
    const PropValue* name = FindProp(folder.props, mapi::PR_DISPLAY_NAME_W);
    if (!name) return {};
    auto text = ConvertProp(*name, mapi::PT_UNICODE);
    return text ? std::get<std::u16string>(*text) : std::u16string();
}

constexpr ULONG kHierarchyColumns[] = {mapi::PR_INSTANCE_KEY,   mapi::PR_ENTRYID,
                                              mapi::PR_DISPLAY_NAME_W, mapi::PR_DEPTH,
                                              mapi::PR_OBJECT_TYPE,    mapi::PR_SUBFOLDERS,
                                              mapi::PR_CONTENT_COUNT,  mapi::PR_CONTAINER_CLASS_W};
constexpr ULONG kContentsColumns[] = {mapi::PR_INSTANCE_KEY, mapi::PR_ENTRYID,
                                             mapi::PR_OBJECT_TYPE,  mapi::PR_MESSAGE_CLASS_W,
                                             mapi::PR_SUBJECT_W,    mapi::PR_MESSAGE_FLAGS};

// The default columns of a table asked for without MAPI_UNICODE list strings as PT_STRING8.
std::vector<ULONG> DefaultColumns(std::span<const ULONG> columns, bool unicode) {
    std::vector<ULONG> result;
    for (ULONG tag : columns) {
        bool text = mapi::PROP_TYPE(tag) == mapi::PT_UNICODE;
        result.push_back(text && !unicode ? mapi::CHANGE_PROP_TYPE(tag, mapi::PT_STRING8) : tag);
    }
    return result;
}

void AddHierarchyRows(const Mailbox& mailbox, const Folder& folder, std::int32_t depth,
                      bool convenient, std::vector<Row>& rows) {
    if (folder.hierarchyHidden) return;
    for (const auto& child : folder.children) {
        Row row = FolderProps(mailbox, *child, IdForm::ShortTerm, &folder);
        row[mapi::PR_DEPTH] = depth;
        rows.push_back(std::move(row));
        if (convenient) AddHierarchyRows(mailbox, *child, depth + 1, true, rows);
    }
}

std::u16string TextArg(mapi::LPTSTR text, bool unicode) {
    if (!text) return {};
    return unicode ? std::u16string(text.w()) : platform::FromSystemCodePage(text.a());
}

class FolderObject final : public PropObject<mapi::IMAPIFolder> {
  public:
    FolderObject(StoreRef store, std::uint64_t folder, bool writable, std::string label)
        : PropObject("IMAPIFolder", std::move(label),
                     {mapi::IID_IMAPIProp, mapi::IID_IMAPIContainer, mapi::IID_IMAPIFolder}),
          store_(std::move(store)),
          folder_(folder),
          writable_(writable) {}

    HRESULT MAPI_CALL GetContentsTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](FolderObject& self) {
            mapi::LPMAPITABLE out = nullptr;  // released by the taped Release
            return self.GetContentsTable(flags, &out);
        });
        auto call = Enter("GetContentsTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *table = nullptr;
        ULONG known = mapi::MAPI_ASSOCIATED | mapi::MAPI_UNICODE | mapi::MAPI_DEFERRED_ERRORS |
                      kShowSoftDeletes;
        if (flags & ~known) return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        bool associated = flags & mapi::MAPI_ASSOCIATED;
        bool unicode = flags & mapi::MAPI_UNICODE;
        const Mailbox& mailbox = *store_->Find();
        const Folder& folder = Model();
        std::vector<Row> rows;
        for (const Message& message : folder.messages) {
            if (message.associated != associated) continue;
            rows.push_back(MessageProps(mailbox, folder.id, message, IdForm::ShortTerm));
        }
        TableOptions options;
        options.label = (associated ? "associated:" : "contents:") + ToUtf8(NameOf(folder));
        options.columns = DefaultColumns(kContentsColumns, unicode);
        options.unicode = unicode;
        *table = MakeTable(std::move(options), std::move(rows)).Detach();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL GetHierarchyTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](FolderObject& self) {
            mapi::LPMAPITABLE out = nullptr;  // released by the taped Release
            return self.GetHierarchyTable(flags, &out);
        });
        auto call = Enter("GetHierarchyTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *table = nullptr;
        ULONG known =
            kConvenientDepth | mapi::MAPI_UNICODE | mapi::MAPI_DEFERRED_ERRORS | kShowSoftDeletes;
        if (flags & ~known) return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        bool unicode = flags & mapi::MAPI_UNICODE;
        const Folder& folder = Model();
        std::vector<Row> rows;
        AddHierarchyRows(*store_->Find(), folder, 1, flags & kConvenientDepth, rows);
        TableOptions options;
        options.label = "hierarchy:" + ToUtf8(NameOf(folder));
        options.columns = DefaultColumns(kHierarchyColumns, unicode);
        options.unicode = unicode;
        *table = MakeTable(std::move(options), std::move(rows)).Detach();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL OpenEntry(ULONG cb, mapi::LPENTRYID id, mapi::LPCIID iid, ULONG flags,
                                ULONG* type, mapi::LPUNKNOWN* out) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeOpenEntry(this, cb, id, iid, flags);
        auto call = Enter(
            "OpenEntry",
            {{"entryId", ArgBytes(id, cb)}, {"iid", ArgIid(iid)}, {"flags", ArgHex(flags)}}, out);
        if (!call) return call.Result();
        return call.Return(OpenStoreEntry(store_, cb, id, iid, flags, type, out));
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL SetSearchCriteria(mapi::LPSRestriction, mapi::LPENTRYLIST, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("SetSearchCriteria");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetSearchCriteria(ULONG, mapi::LPSRestriction* restriction,
                                        mapi::LPENTRYLIST* list, ULONG*) override try {
        const ProviderScope inProvider;
        if (restriction) *restriction = nullptr;
        if (list) *list = nullptr;
        return Unsupported("GetSearchCriteria");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CreateMessage(mapi::LPCIID iid, ULONG flags,
                                    mapi::LPMESSAGE* message) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [iid = KeptIid(iid), flags](FolderObject& self) {
            mapi::LPMESSAGE out = nullptr;  // released by the taped Release
            return self.CreateMessage(iid.Get(), flags, &out);
        });
        auto call =
            Enter("CreateMessage", {{"iid", ArgIid(iid)}, {"flags", ArgHex(flags)}}, message);
        if (!call) return call.Result();
        if (!message) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *message = nullptr;
        if (flags & ~(mapi::MAPI_ASSOCIATED | mapi::MAPI_DEFERRED_ERRORS)) {
            return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        }
        if (iid && !(*iid == mapi::IID_IMessage) && !(*iid == mapi::IID_IMAPIProp) &&
            !(*iid == mapi::IID_IUnknown)) {
            return call.Return(mapi::MAPI_E_INTERFACE_NOT_SUPPORTED);
        }
        if (!writable_) return call.Return(mapi::MAPI_E_NO_ACCESS);
        mapi::ComPtr<mapi::IMessage> created;
        HRESULT hr = CreateMessageObject(store_, folder_, flags & mapi::MAPI_ASSOCIATED, &created);
        if (mapi::SUCCEEDED(hr)) *message = created.Detach();
        return call.Return(hr);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CopyMessages(mapi::LPENTRYLIST, mapi::LPCIID, mapi::LPVOID, mapi::ULONG_PTR,
                                   mapi::LPMAPIPROGRESS, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("CopyMessages");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL DeleteMessages(mapi::LPENTRYLIST list, mapi::ULONG_PTR ui,
                                     mapi::LPMAPIPROGRESS progress, ULONG flags) override try {
        const ProviderScope inProvider;
        if (Taping() && !progress)
            TapeCall(this, [list = KeptEntryList(list), ui, flags](FolderObject& self) {
                return self.DeleteMessages(list.Get(), ui, nullptr, flags);
            });
        auto call = Enter("DeleteMessages", {{"entryIds", ArgLater<mapi::ENTRYLIST, DescribeList>(list)},
                                             {"uiParam", ArgDec(static_cast<std::int64_t>(ui))},
                                             {"progress", progress ? "set" : "null"},
                                             {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!list || (list->cValues && !list->lpbin)) {
            return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        }
        if (flags & ~(mapi::MESSAGE_DIALOG | kDeleteHardDelete)) {
            return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        }
        if (!writable_) return call.Return(mapi::MAPI_E_NO_ACCESS);
        Folder& folder = Model();
        bool partial = false;
        for (ULONG i = 0; i < list->cValues; ++i) {
            auto ref = ParseStoreObjectId(list->lpbin[i].lpb, list->lpbin[i].cb);
            bool ours = ref && ref->IsMessage() && ref->mailbox == store_->mailbox &&
                        ref->folder == folder.id;
            auto it = std::find_if(folder.messages.begin(), folder.messages.end(),
                                   [&](const Message& m) { return ours && m.id == ref->message; });
            if (it == folder.messages.end()) {
                partial = true;
                continue;
            }
            folder.messages.erase(it);
        }
        return call.Return(partial ? mapi::MAPI_W_PARTIAL_COMPLETION : mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CreateFolder(ULONG type, mapi::LPTSTR name, mapi::LPTSTR comment,
                                   mapi::LPCIID iid, ULONG flags,
                                   mapi::LPMAPIFOLDER* out) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [type, name = KeptText(name, flags & mapi::MAPI_UNICODE),
                        comment = KeptText(comment, flags & mapi::MAPI_UNICODE), iid = KeptIid(iid),
                        flags](FolderObject& self) {
            mapi::LPMAPIFOLDER out = nullptr;  // released by the taped Release
            return self.CreateFolder(type, name.Get(), comment.Get(), iid.Get(), flags, &out);
        });
        bool unicode = flags & mapi::MAPI_UNICODE;
        auto call = Enter("CreateFolder",
                          {{"type", ArgDec(type)},
                           {"name", ArgTStr(name, unicode)},
                           {"comment", ArgTStr(comment, unicode)},
                           {"iid", ArgIid(iid)},
                           {"flags", ArgHex(flags)}},
                          out);
        if (!call) return call.Result();
        if (!out || !name) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *out = nullptr;
        if (flags & ~(mapi::OPEN_IF_EXISTS | mapi::MAPI_UNICODE | mapi::MAPI_DEFERRED_ERRORS)) {
            return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        }
        if (type == mapi::FOLDER_SEARCH) return call.Return(mapi::MAPI_E_NO_SUPPORT);
        if (type != mapi::FOLDER_GENERIC) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        if (iid && !(*iid == mapi::IID_IMAPIFolder) && !(*iid == mapi::IID_IMAPIContainer) &&
            !(*iid == mapi::IID_IMAPIProp) && !(*iid == mapi::IID_IUnknown)) {
            return call.Return(mapi::MAPI_E_INTERFACE_NOT_SUPPORTED);
        }
        if (!writable_) return call.Return(mapi::MAPI_E_NO_ACCESS);
        std::u16string folderName = TextArg(name, unicode);
        if (folderName.empty()) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        Folder& parent = Model();
        Folder* target = nullptr;
        for (auto& child : parent.children) {
            if (EqualsAsciiNoCase(NameOf(*child), folderName)) {
                target = child.get();
                break;
            }
        }
        if (target && !(flags & mapi::OPEN_IF_EXISTS)) return call.Return(mapi::MAPI_E_COLLISION);
        if (target && target->noAccess) return call.Return(mapi::MAPI_E_NO_ACCESS);
        if (!target) {
            auto created = std::make_unique<Folder>();
            created->id = Simulator::Instance().Org().NewObjectId();
            created->props[mapi::PR_DISPLAY_NAME_W] = folderName;
            std::u16string text = TextArg(comment, unicode);
            if (!text.empty()) created->props[mapi::PR_COMMENT_W] = text;
            created->props[mapi::PR_SOURCE_KEY] = SourceKey(store_->mailbox, created->id);
            target = store_->Find()->AddFolder(parent, std::move(created));
        }
        mapi::ComPtr<mapi::IMAPIFolder> opened;
        HRESULT hr = OpenFolderObject(store_, target->id, true, &opened);
        if (mapi::SUCCEEDED(hr)) *out = opened.Detach();
        return call.Return(hr);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CopyFolder(ULONG, mapi::LPENTRYID, mapi::LPCIID, mapi::LPVOID, mapi::LPTSTR,
                                 mapi::ULONG_PTR, mapi::LPMAPIPROGRESS, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("CopyFolder");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL DeleteFolder(ULONG, mapi::LPENTRYID, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                                   ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("DeleteFolder");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetReadFlags(mapi::LPENTRYLIST, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                                   ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("SetReadFlags");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetMessageStatus(ULONG, mapi::LPENTRYID, ULONG, ULONG* status) override try {
        const ProviderScope inProvider;
        if (status) *status = 0;
        return Unsupported("GetMessageStatus");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetMessageStatus(ULONG, mapi::LPENTRYID, ULONG, ULONG, ULONG* old) override try {
        const ProviderScope inProvider;
        if (old) *old = 0;
        return Unsupported("SetMessageStatus");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SaveContentsSort(mapi::LPSSortOrderSet, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("SaveContentsSort");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL EmptyFolder(mapi::ULONG_PTR, mapi::LPMAPIPROGRESS, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("EmptyFolder");
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    bool ModelObjectDeleted() const override {
        Mailbox* mailbox = store_->Find();
        return !mailbox || !mailbox->FindFolder(folder_);
    }
    PropMap Props() const override {
        return FolderProps(*store_->Find(), Model(), IdForm::LongTerm);
    }
    PropMap* WritableProps() override { return writable_ ? &Model().props : nullptr; }
    std::vector<ULONG> ReadOnlyTags() const override {
        return {mapi::PR_ENTRYID,
                mapi::PR_OBJECT_TYPE,
                mapi::PR_FOLDER_TYPE,
                mapi::PR_SUBFOLDERS,
                mapi::PR_CONTENT_COUNT,
                kAssocContentCount,
                mapi::PR_PARENT_ENTRYID,
                kStoreRecordKey,
                mapi::PR_SOURCE_KEY,
                mapi::PR_IPM_APPOINTMENT_ENTRYID,
                mapi::PR_IPM_CONTACT_ENTRYID,
                mapi::PR_IPM_JOURNAL_ENTRYID,
                mapi::PR_IPM_NOTE_ENTRYID,
                mapi::PR_IPM_TASK_ENTRYID,
                mapi::PR_IPM_DRAFTS_ENTRYID,
                mapi::PR_ADDITIONAL_REN_ENTRYIDS};
    }
    Mailbox* NameMap() override { return store_->Find(); }

  private:
    Folder& Model() const { return *store_->Find()->FindFolder(folder_); }

    static std::string DescribeList(const mapi::ENTRYLIST* list) {
        if (!list) return "null";
        std::string text;
        for (ULONG i = 0; list->lpbin && i < list->cValues; ++i) {
            if (i) text += ',';
            text += HexBytes(list->lpbin[i].lpb, list->lpbin[i].cb);
        }
        return text;
    }

    StoreRef store_;
    std::uint64_t folder_;
    bool writable_;
};

}  // namespace

PropMap FolderProps(const Mailbox& mailbox, const Folder& folder, IdForm form,
                    const Folder* parent) {
    // The stored properties, with room for those added here and for a table row's depth and
    // instance key.
    constexpr std::size_t kAdded = 10;
    PropMap props;
    props.reserve(folder.props.size() + kAdded);
    for (const auto& prop : folder.props) props.insert(prop);
    bool root = mailbox.root && mailbox.root->id == folder.id;
    if (root) parent = &folder;
    if (!parent) parent = mailbox.FindParent(folder.id);
    props[mapi::PR_ENTRYID] = FolderEntryId(mailbox.index, folder.id, form);
    props[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_FOLDER);
    props[mapi::PR_FOLDER_TYPE] =
        static_cast<std::int32_t>(root ? mapi::FOLDER_ROOT : mapi::FOLDER_GENERIC);
    props[mapi::PR_SUBFOLDERS] = !folder.children.empty();
    auto associated = std::count_if(folder.messages.begin(), folder.messages.end(),
                                    [](const Message& m) { return m.associated; });
    props[mapi::PR_CONTENT_COUNT] =
        static_cast<std::int32_t>(folder.messages.size() - static_cast<std::size_t>(associated));
    props[kAssocContentCount] = static_cast<std::int32_t>(associated);
    if (parent) {
        props[mapi::PR_PARENT_ENTRYID] = FolderEntryId(mailbox.index, parent->id, IdForm::LongTerm);
    }
    props[kStoreRecordKey] = StoreUid(mailbox.index);
    // Exchange names the special folders below the IPM subtree on the root folder and the Inbox.
    if (root || folder.id == mailbox.special.inbox) AddSpecialFolderProps(mailbox, props, false);
    return props;
}

HRESULT OpenFolderObject(const StoreRef& store, std::uint64_t folderId, bool writable,
                         mapi::ComPtr<mapi::IMAPIFolder>* out) {
    Mailbox* mailbox = store->Find();
    Folder* folder = mailbox ? mailbox->FindFolder(folderId) : nullptr;
    if (!folder) return mapi::MAPI_E_NOT_FOUND;
    if (folder->noAccess) return mapi::MAPI_E_NO_ACCESS;
    *out = MakeObject<FolderObject>(store, folderId, writable && store->writable,
                                    "folder:" + ToUtf8(NameOf(*folder)));
    return mapi::S_OK;
}

}  // namespace sim

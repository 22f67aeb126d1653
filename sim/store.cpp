#include "sim/store.h"

#include <algorithm>
#include <cstring>

#include "platform/code_page.h"
#include "sim/entry_ids.h"
#include "sim/folder.h"
#include "sim/manage_store.h"
#include "sim/message.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

constexpr ULONG kMailboxOwnerName = 0x661C001F;  // PR_MAILBOX_OWNER_NAME_W
constexpr ULONG kStoreRecordKey = 0x0FFA0102;    // PR_STORE_RECORD_KEY
constexpr ULONG kProviderDisplay = 0x3006001F;   // PR_PROVIDER_DISPLAY_W
// STORE_ENTRYID_UNIQUE | STORE_MODIFY_OK | STORE_CREATE_OK | STORE_SUBMIT_OK | STORE_UNICODE_OK
constexpr std::int32_t kStoreSupportMask =
    0x00000001 | 0x00000010 | 0x00000020 | 0x00000080 | 0x00040000;
constexpr std::int32_t kStatusDefaultStore = 0x00000001;  // PR_RESOURCE_FLAGS
constexpr ULONG kOpenEntryFlags = mapi::MAPI_MODIFY | 0x00000002 /* SHOW_SOFT_DELETES */ |
                                  mapi::MAPI_DEFERRED_ERRORS | mapi::MAPI_BEST_ACCESS |
                                  0x00000200 /* MAPI_NO_CACHE */ | 0x00000400 /* MAPI_CACHE_ONLY */;

void PutSpecial(PropMap& props, ULONG tag, const Mailbox& mailbox, std::uint64_t folder) {
    if (folder) props[tag] = FolderEntryId(mailbox.index, folder, IdForm::LongTerm);
}

bool IidIn(mapi::LPCIID iid, std::initializer_list<const mapi::IID*> accepted) {
    if (!iid) return true;
    for (const mapi::IID* one : accepted) {
        if (*iid == *one) return true;
    }
    return false;
}

// IPM and the classes under it, and the default class, are received in the Inbox; IPC in the
// root folder.
bool IsIpcClass(std::u16string_view cls) {
    return cls.size() >= 3 && EqualsAsciiNoCase(cls.substr(0, 3), u"IPC") &&
           (cls.size() == 3 || cls[3] == u'.');
}

bool IsIpmClass(std::u16string_view cls) {
    return cls.size() >= 3 && EqualsAsciiNoCase(cls.substr(0, 3), u"IPM") &&
           (cls.size() == 3 || cls[3] == u'.');
}

template <class Char>
HRESULT CopyText(const std::basic_string<Char>& text, mapi::LPTSTR* out) {
    void* block = nullptr;
    HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>((text.size() + 1) * sizeof(Char)), &block);
    if (mapi::FAILED(hr)) return hr;
    std::memcpy(block, text.c_str(), (text.size() + 1) * sizeof(Char));
    *out = mapi::LPTSTR(static_cast<Char*>(block));
    return mapi::S_OK;
}

class Store final : public PropObject<mapi::IMsgStore> {
  public:
    explicit Store(StoreRef store)
        : PropObject("IMsgStore", "store:" + ToUtf8(store->dn),
                     {mapi::IID_IMAPIProp, mapi::IID_IMsgStore}),
          store_(std::move(store)) {}

    HRESULT MAPI_CALL Advise(ULONG, mapi::LPENTRYID, ULONG, mapi::LPMAPIADVISESINK,
                             ULONG* connection) override try {
        const ProviderScope inProvider;
        if (connection) *connection = 0;
        return Unsupported("Advise");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Unadvise(ULONG) override { return Unsupported("Unadvise"); }

    HRESULT MAPI_CALL CompareEntryIDs(ULONG cb1, mapi::LPENTRYID id1, ULONG cb2,
                                      mapi::LPENTRYID id2, ULONG flags, ULONG* result) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCompareEntryIDs(this, cb1, id1, cb2, id2, flags);
        auto call = Enter("CompareEntryIDs", {{"entryId1", ArgBytes(id1, cb1)},
                                              {"entryId2", ArgBytes(id2, cb2)},
                                              {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!result) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *result = 0;
        if (auto a = ParseStoreEntryId(id1, cb1)) {
            auto b = ParseStoreEntryId(id2, cb2);
            if (!b) return call.Return(mapi::MAPI_E_INVALID_ENTRYID);
            *result = EqualsAsciiNoCase(a->mailboxDn, b->mailboxDn) ? 1 : 0;
            return call.Return(mapi::S_OK);
        }
        auto a = cb1 ? ParseStoreObjectId(id1, cb1) : std::nullopt;
        auto b = cb2 ? ParseStoreObjectId(id2, cb2) : std::nullopt;
        if (!a || !b || a->mailbox != store_->mailbox || b->mailbox != store_->mailbox) {
            return call.Return(mapi::MAPI_E_INVALID_ENTRYID);
        }
        *result = a->folder == b->folder && a->message == b->message ? 1 : 0;
        call.AddArg("equal", ArgDec(*result));
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

    HRESULT MAPI_CALL SetReceiveFolder(mapi::LPTSTR cls, ULONG flags, ULONG cb,
                                       mapi::LPENTRYID id) override try {
        const ProviderScope inProvider;
        auto call = Enter("SetReceiveFolder", {{"class", ArgTStr(cls, flags & mapi::MAPI_UNICODE)},
                                               {"flags", ArgHex(flags)},
                                               {"entryId", ArgBytes(id, cb)}});
        if (!call) return call.Result();
        return call.Return(mapi::MAPI_E_NO_SUPPORT);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL GetReceiveFolder(mapi::LPTSTR cls, ULONG flags, ULONG* cb,
                                       mapi::LPENTRYID* id, mapi::LPTSTR* explicitClass) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [cls = KeptText(cls, flags & mapi::MAPI_UNICODE), flags](Store& self) {
            ULONG cb = 0;
            mapi::LPENTRYID id = nullptr;
            mapi::LPTSTR explicitClass;
            const HRESULT hr = self.GetReceiveFolder(cls.Get(), flags, &cb, &id, &explicitClass);
            mapi::MAPIFreeBuffer(id);
            mapi::MAPIFreeBuffer(explicitClass.get());
            return hr;
        });
        bool unicode = flags & mapi::MAPI_UNICODE;
        auto call = Enter("GetReceiveFolder",
                          {{"class", ArgTStr(cls, unicode)}, {"flags", ArgHex(flags)}}, id);
        if (!call) return call.Result();
        if (!cb || !id) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *cb = 0;
        *id = nullptr;
        if (explicitClass) *explicitClass = nullptr;
        Mailbox* mailbox = store_->Find();
        std::u16string wanted;
        if (cls) wanted = unicode ? std::u16string(cls.w()) : platform::FromSystemCodePage(cls.a());
        std::uint64_t folder = mailbox->special.inbox;
        std::u16string matched;  // the class of the receive-folder table entry that applies
        if (IsIpcClass(wanted)) {
            folder = mailbox->root->id;
            matched = u"IPC";
        } else if (IsIpmClass(wanted)) {
            matched = u"IPM";
        }
        if (!folder) return call.Return(mapi::MAPI_E_NOT_FOUND);
        Bytes entryId = FolderEntryId(mailbox->index, folder, IdForm::LongTerm);
        void* block = nullptr;
        HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(entryId.size()), &block);
        if (mapi::FAILED(hr)) return call.Return(hr);
        std::memcpy(block, entryId.data(), entryId.size());
        if (explicitClass) {
            hr = unicode ? CopyText(matched, explicitClass)
                         : CopyText(platform::ToSystemCodePage(matched), explicitClass);
            if (mapi::FAILED(hr)) {
                MAPIFreeBuffer(block);
                return call.Return(hr);
            }
        }
        *cb = static_cast<ULONG>(entryId.size());
        *id = static_cast<mapi::LPENTRYID>(block);
        call.AddArg("entryIdOut", ArgBytes(entryId));
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL GetReceiveFolderTable(ULONG, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (table) *table = nullptr;
        return Unsupported("GetReceiveFolderTable");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL StoreLogoff(ULONG* flags) override try {
        const ProviderScope inProvider;
        auto call = Enter("StoreLogoff", {{"flags", ArgHex(flags ? *flags : 0)}});
        if (!call) return call.Result();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL AbortSubmit(ULONG cb, mapi::LPENTRYID id, ULONG flags) override try {
        const ProviderScope inProvider;
        auto call = Enter("AbortSubmit", {{"entryId", ArgBytes(id, cb)}, {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        return call.Return(mapi::MAPI_E_NOT_IN_QUEUE);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetOutgoingQueue(ULONG, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (table) *table = nullptr;
        return Unsupported("GetOutgoingQueue");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetLockState(mapi::LPMESSAGE, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("SetLockState");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL FinishedMsg(ULONG, ULONG, mapi::LPENTRYID) override try {
        const ProviderScope inProvider;
        return Unsupported("FinishedMsg");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL NotifyNewMail(mapi::LPNOTIFICATION) override try {
        const ProviderScope inProvider;
        return Unsupported("NotifyNewMail");
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    bool ModelObjectDeleted() const override { return store_->Find() == nullptr; }

    HRESULT QueryOther(const mapi::IID& riid, void** out) override {
        if (!(riid == mapi::IID_IExchangeManageStore) || !store_->viaSession) {
            return mapi::E_NOINTERFACE;
        }
        *out = MakeManageStore(store_).Detach();
        return mapi::S_OK;
    }

    PropMap Props() const override {
        const Mailbox& mailbox = *store_->Find();
        PropMap props = mailbox.storeProps;
        props[mapi::PR_DISPLAY_NAME_W] = mailbox.storeDisplayName;
        props[mapi::PR_ENTRYID] = store_->entryId;
        props[mapi::PR_RECORD_KEY] = StoreUid(mailbox.index);
        props[kStoreRecordKey] = StoreUid(mailbox.index);
        props[mapi::PR_MDB_PROVIDER] = PrivateStoreProviderUid();
        props[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_STORE);
        props[mapi::PR_STORE_SUPPORT_MASK] = kStoreSupportMask;
        props[kMailboxOwnerName] = mailbox.ownerDisplayName;
        if (store_->profileStore) props[mapi::PR_DEFAULT_STORE] = true;
        AddSpecialFolderProps(mailbox, props, true);
        return props;
    }
    PropMap* WritableProps() override {
        return store_->writable ? &store_->Find()->storeProps : nullptr;
    }
    std::vector<ULONG> ReadOnlyTags() const override {
        return {mapi::PR_DISPLAY_NAME_W,
                mapi::PR_ENTRYID,
                mapi::PR_RECORD_KEY,
                kStoreRecordKey,
                mapi::PR_MDB_PROVIDER,
                mapi::PR_OBJECT_TYPE,
                mapi::PR_STORE_SUPPORT_MASK,
                kMailboxOwnerName,
                mapi::PR_DEFAULT_STORE,
                mapi::PR_IPM_SUBTREE_ENTRYID,
                mapi::PR_IPM_OUTBOX_ENTRYID,
                mapi::PR_IPM_SENTMAIL_ENTRYID,
                mapi::PR_IPM_WASTEBASKET_ENTRYID};
    }
    Mailbox* NameMap() override { return store_->Find(); }

  private:
    StoreRef store_;
};

}  // namespace

Mailbox* StoreContext::Find() const {
    return MailboxByIndex(mailbox);
}

Mailbox* MailboxByIndex(std::uint32_t index) {
    for (auto& mailbox : Simulator::Instance().Org().mailboxes) {
        if (mailbox && mailbox->index == index) return mailbox.get();
    }
    return nullptr;
}

void AddSpecialFolderProps(const Mailbox& mailbox, PropMap& props, bool storeLevel) {
    const SpecialFolders& special = mailbox.special;
    if (storeLevel) {
        PutSpecial(props, mapi::PR_IPM_SUBTREE_ENTRYID, mailbox, special.ipmSubtree);
        PutSpecial(props, mapi::PR_IPM_OUTBOX_ENTRYID, mailbox, special.outbox);
        PutSpecial(props, mapi::PR_IPM_SENTMAIL_ENTRYID, mailbox, special.sentItems);
        PutSpecial(props, mapi::PR_IPM_WASTEBASKET_ENTRYID, mailbox, special.deletedItems);
        return;
    }
    PutSpecial(props, mapi::PR_IPM_APPOINTMENT_ENTRYID, mailbox, special.calendar);
    PutSpecial(props, mapi::PR_IPM_CONTACT_ENTRYID, mailbox, special.contacts);
    PutSpecial(props, mapi::PR_IPM_JOURNAL_ENTRYID, mailbox, special.journal);
    PutSpecial(props, mapi::PR_IPM_NOTE_ENTRYID, mailbox, special.notes);
    PutSpecial(props, mapi::PR_IPM_TASK_ENTRYID, mailbox, special.tasks);
    PutSpecial(props, mapi::PR_IPM_DRAFTS_ENTRYID, mailbox, special.drafts);
    if (!special.additional.empty()) {
        std::vector<Bytes> ids;
        for (std::uint64_t folder : special.additional) {
            ids.push_back(folder ? FolderEntryId(mailbox.index, folder, IdForm::LongTerm)
                                 : Bytes());
        }
        props[mapi::PR_ADDITIONAL_REN_ENTRYIDS] = std::move(ids);
    }
}

Bytes ProfileStoreEntryId(const Mailbox& mailbox) {
    StoreIdInfo info;
    info.serverDn = mailbox.serverDn;
    info.mailboxDn = mailbox.dn;
    info.origin = StoreIdOrigin::Profile;
    return StoreEntryId(info);
}

Row MessageStoreTableRow(const Mailbox& mailbox, bool defaultStore) {
    Row row;
    row[mapi::PR_ENTRYID] = ProfileStoreEntryId(mailbox);
    row[mapi::PR_DISPLAY_NAME_W] = mailbox.storeDisplayName;
    row[mapi::PR_DEFAULT_STORE] = defaultStore;
    row[mapi::PR_MDB_PROVIDER] = PrivateStoreProviderUid();
    row[mapi::PR_RECORD_KEY] = StoreUid(mailbox.index);
    row[mapi::PR_RESOURCE_FLAGS] = defaultStore ? kStatusDefaultStore : std::int32_t{0};
    row[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_STORE);
    row[kProviderDisplay] = std::u16string(u"Microsoft Exchange Message Store");
    return row;
}

HRESULT OpenStore(const Bytes& storeEntryId, ULONG flags, bool viaSession, mapi::IMsgStore** out,
                  std::u16string_view logonMailboxDn) {
    if (!out) return mapi::MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    auto info = ParseStoreEntryId(storeEntryId);
    if (!info) return mapi::MAPI_E_INVALID_ENTRYID;
    Mailbox* mailbox = Simulator::Instance().Org().FindMailbox(info->mailboxDn);
    if (!mailbox) return mapi::MAPI_E_NOT_FOUND;
    if (!info->serverDn.empty() && !mailbox->serverDn.empty() &&
        !EqualsAsciiNoCase(info->serverDn, mailbox->serverDn)) {
        return mapi::MAPI_E_NOT_FOUND;
    }
    bool own = info->origin == StoreIdOrigin::Profile ||
               (!logonMailboxDn.empty() && EqualsAsciiNoCase(mailbox->dn, logonMailboxDn));
    bool admin = (info->openStoreFlags & mapi::OPENSTORE_USE_ADMIN_PRIVILEGE) != 0;
    if (!own && (!admin || !mailbox->adminAccess)) return mapi::MAPI_E_NO_ACCESS;
    auto context = std::make_shared<StoreContext>();
    context->mailbox = mailbox->index;
    context->dn = mailbox->dn;
    context->writable = (flags & mapi::MDB_WRITE) != 0;
    context->viaSession = viaSession;
    context->profileStore = info->origin == StoreIdOrigin::Profile;
    context->entryId = storeEntryId;
    *out = MakeObject<Store>(std::move(context)).Detach();
    return mapi::S_OK;
}

HRESULT OpenStoreEntry(const StoreRef& store, ULONG cb, const mapi::ENTRYID* id, mapi::LPCIID iid,
                       ULONG flags, ULONG* objectType, mapi::LPUNKNOWN* out) {
    if (!out) return mapi::MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (objectType) *objectType = 0;
    if (flags & ~kOpenEntryFlags) return mapi::MAPI_E_UNKNOWN_FLAGS;
    Mailbox* mailbox = store->Find();
    if (!mailbox) return mapi::MAPI_E_OBJECT_DELETED;
    if ((flags & mapi::MAPI_MODIFY) && !store->writable) return mapi::MAPI_E_NO_ACCESS;
    bool writable = (flags & (mapi::MAPI_MODIFY | mapi::MAPI_BEST_ACCESS)) && store->writable;
    StoreObjectRef ref{mailbox->index, mailbox->root->id, 0, IdForm::LongTerm};
    if (cb) {
        if (!id) return mapi::MAPI_E_INVALID_PARAMETER;
        auto parsed = ParseStoreObjectId(id, cb);
        if (!parsed || parsed->mailbox != mailbox->index) return mapi::MAPI_E_INVALID_ENTRYID;
        ref = *parsed;
    }
    Folder* folder = mailbox->FindFolder(ref.folder);
    if (!folder) return mapi::MAPI_E_NOT_FOUND;
    if (ref.IsMessage()) {
        auto& messages = folder->messages;
        bool found = std::any_of(messages.begin(), messages.end(),
                                 [&](const Message& m) { return m.id == ref.message; });
        if (!found) return mapi::MAPI_E_NOT_FOUND;
    }
    if (folder->noAccess) return mapi::MAPI_E_NO_ACCESS;
    if (ref.IsMessage()) {
        if (!IidIn(iid, {&mapi::IID_IUnknown, &mapi::IID_IMAPIProp, &mapi::IID_IMessage})) {
            return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
        }
        mapi::ComPtr<mapi::IMessage> message;
        HRESULT hr = OpenMessageObject(store, ref.folder, ref.message, writable, &message);
        if (mapi::FAILED(hr)) return hr;
        if (objectType) *objectType = mapi::MAPI_MESSAGE;
        *out = message.Detach();
        return mapi::S_OK;
    }
    if (!IidIn(iid, {&mapi::IID_IUnknown, &mapi::IID_IMAPIProp, &mapi::IID_IMAPIContainer,
                     &mapi::IID_IMAPIFolder})) {
        return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    mapi::ComPtr<mapi::IMAPIFolder> opened;
    HRESULT hr = OpenFolderObject(store, ref.folder, writable, &opened);
    if (mapi::FAILED(hr)) return hr;
    if (objectType) *objectType = mapi::MAPI_FOLDER;
    *out = opened.Detach();
    return mapi::S_OK;
}

}  // namespace sim

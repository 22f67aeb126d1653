#include "sim/session.h"

#include <cstring>

#include "platform/code_page.h"
#include "sim/address_book.h"
#include "sim/entry_ids.h"
#include "sim/object_base.h"
#include "sim/profile_admin.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/store.h"
#include "sim/table.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

constexpr std::uint8_t kPublicStoreUid[16] = {0x78, 0xB2, 0xFA, 0x70, 0xAF, 0xF7, 0x11, 0xCD,
                                              0x9B, 0xC8, 0x00, 0xAA, 0x00, 0x2F, 0xC4, 0x5A};
constexpr ULONG kProviderDisplay = 0x3006001F;  // PR_PROVIDER_DISPLAY_W

Organisation& Org() {
    return Simulator::Instance().Org();
}

ArgView ArgEntryId(ULONG cb, const mapi::ENTRYID* id) {
    return ArgBytes(id, id ? cb : 0);
}

// The row of the public folders: a store entry id of the service's server that names no mailbox.
Row PublicFoldersRow(const SessionInfo& info) {
    StoreIdInfo id;
    id.serverDn = info.serverDn;
    id.origin = StoreIdOrigin::Profile;
    id.openStoreFlags = mapi::OPENSTORE_PUBLIC;
    Row row;
    row[mapi::PR_ENTRYID] = StoreEntryId(id);
    row[mapi::PR_DISPLAY_NAME_W] = std::u16string(u"Public Folders");
    row[mapi::PR_DEFAULT_STORE] = false;
    row[mapi::PR_MDB_PROVIDER] = PublicStoreProviderUid();
    row[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_STORE);
    row[kProviderDisplay] = std::u16string(u"Microsoft Exchange Message Store");
    return row;
}

// Whether two ids name the same object, when one provider knows both.
std::optional<bool> SameObject(const void* a, std::size_t sizeA, const void* b, std::size_t sizeB) {
    if (auto x = ParseStoreEntryId(a, sizeA)) {
        auto y = ParseStoreEntryId(b, sizeB);
        if (!y) return false;
        return EqualsAsciiNoCase(x->mailboxDn, y->mailboxDn) &&
               (x->openStoreFlags & mapi::OPENSTORE_PUBLIC) ==
                   (y->openStoreFlags & mapi::OPENSTORE_PUBLIC);
    }
    if (auto x = ParseStoreObjectId(a, sizeA)) {
        auto y = ParseStoreObjectId(b, sizeB);
        if (!y) return false;
        return x->mailbox == y->mailbox && x->folder == y->folder && x->message == y->message;
    }
    if (auto x = ParseAddressEntryId(a, sizeA)) {
        auto y = ParseAddressEntryId(b, sizeB);
        if (!y) return false;
        return x->container == y->container && x->index == y->index;
    }
    return std::nullopt;
}

class Session final : public ComObject<mapi::IMAPISession> {
  public:
    explicit Session(SessionInfo info)
        : ComObject("IMAPISession", "session:" + ToUtf8(platform::FromSystemCodePage(info.profile)),
                    {mapi::IID_IMAPISession}),
          info_(std::move(info)) {
        Simulator::Instance().AdjustOpenSessions(1);
    }

    HRESULT MAPI_CALL GetLastError(HRESULT hr, ULONG flags, mapi::LPMAPIERROR* error) override try {
        const ProviderScope inProvider;
        auto call =
            Begin("GetLastError",
                  {{"result", ArgHex(static_cast<ULONG>(hr))}, {"flags", ArgHex(flags)}}, error);
        if (!call) return call.Result();
        if (!error) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *error = nullptr;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL GetMsgStoresTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](Session& self) {
            mapi::LPMAPITABLE out = nullptr;  // released by the taped Release
            return self.GetMsgStoresTable(flags, &out);
        });
        auto call = Begin("GetMsgStoresTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        std::vector<Row> rows;
        if (const Mailbox* mailbox = Org().FindMailbox(info_.mailboxDn)) {
            rows.push_back(MessageStoreTableRow(*mailbox, true));
        }
        if (info_.publicFolders) rows.push_back(PublicFoldersRow(info_));
        rows.insert(rows.end(), info_.extraStoreRows.begin(), info_.extraStoreRows.end());
        TableOptions options;
        options.label = "msgstores";
        options.unicode = (flags & mapi::MAPI_UNICODE) != 0;
        options.columns = {mapi::PR_INSTANCE_KEY, mapi::PR_ENTRYID,
                           options.unicode ? mapi::PR_DISPLAY_NAME_W : mapi::PR_DISPLAY_NAME_A,
                           mapi::PR_DEFAULT_STORE, mapi::PR_MDB_PROVIDER};
        HandOut(MakeTable(std::move(options), std::move(rows)), table);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL OpenMsgStore(mapi::ULONG_PTR uiParam, ULONG cb, mapi::LPENTRYID id,
                                   mapi::LPCIID iid, ULONG flags, mapi::LPMDB* store) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [uiParam, id = KeptBytes(id, cb), iid = KeptIid(iid), flags](Session& self) {
            mapi::LPMDB out = nullptr;  // released by the taped Release
            return self.OpenMsgStore(uiParam, id.Size(), id.Entry(), iid.Get(), flags, &out);
        });
        auto call = Begin("OpenMsgStore",
                          {{"uiParam", ArgHex(ULONG(uiParam))},
                           {"entryId", ArgEntryId(cb, id)},
                           {"iid", ArgIid(iid)},
                           {"flags", ArgHex(flags)}},
                          store);
        if (!call) return call.Result();
        if (!store || !id || cb == 0) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *store = nullptr;
        if (iid && !(*iid == mapi::IID_IMsgStore)) {
            return call.Return(mapi::MAPI_E_INTERFACE_NOT_SUPPORTED);
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(id);
        return call.Return(
            OpenStore(Bytes(bytes, bytes + cb), flags, true, store, info_.mailboxDn));
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL OpenAddressBook(mapi::ULONG_PTR uiParam, mapi::LPCIID iid, ULONG flags,
                                      mapi::LPADRBOOK* book) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [uiParam, iid = KeptIid(iid), flags](Session& self) {
            mapi::LPADRBOOK out = nullptr;  // released by the taped Release
            return self.OpenAddressBook(uiParam, iid.Get(), flags, &out);
        });
        auto call = Begin(
            "OpenAddressBook",
            {{"uiParam", ArgHex(ULONG(uiParam))}, {"iid", ArgIid(iid)}, {"flags", ArgHex(flags)}},
            book);
        if (!call) return call.Result();
        if (!book) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *book = nullptr;
        if (iid && !(*iid == mapi::IID_IAddrBook)) {
            return call.Return(mapi::MAPI_E_INTERFACE_NOT_SUPPORTED);
        }
        HandOut(MakeAddressBook(), book);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL OpenProfileSection(mapi::LPMAPIUID, mapi::LPCIID, ULONG,
                                         mapi::LPPROFSECT* section) override try {
        const ProviderScope inProvider;
        return Unsupported("OpenProfileSection", section);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetStatusTable(ULONG, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        return Unsupported("GetStatusTable", table);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL OpenEntry(ULONG, mapi::LPENTRYID, mapi::LPCIID, ULONG, ULONG*,
                                mapi::LPUNKNOWN* out) override try {
        const ProviderScope inProvider;
        return Unsupported("OpenEntry", out);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CompareEntryIDs(ULONG cb1, mapi::LPENTRYID id1, ULONG cb2,
                                      mapi::LPENTRYID id2, ULONG flags, ULONG* result) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCompareEntryIDs(this, cb1, id1, cb2, id2, flags);
        auto call = Begin("CompareEntryIDs", {{"entryId1", ArgEntryId(cb1, id1)},
                                              {"entryId2", ArgEntryId(cb2, id2)},
                                              {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!result || !id1 || !id2) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        std::optional<bool> same = SameObject(id1, cb1, id2, cb2);
        if (!same) return call.Return(mapi::MAPI_E_UNKNOWN_ENTRYID);
        *result = *same ? 1 : 0;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL Advise(ULONG, mapi::LPENTRYID, ULONG, mapi::LPMAPIADVISESINK,
                             ULONG* connection) override try {
        const ProviderScope inProvider;
        if (connection) *connection = 0;
        return Unsupported("Advise");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Unadvise(ULONG) override { return Unsupported("Unadvise"); }
    HRESULT MAPI_CALL MessageOptions(mapi::ULONG_PTR, ULONG, mapi::LPTSTR,
                                     mapi::LPMESSAGE) override try {
        const ProviderScope inProvider;
        return Unsupported("MessageOptions");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL QueryDefaultMessageOpt(mapi::LPTSTR, ULONG, ULONG*,
                                             mapi::LPSPropValue* options) override try {
        const ProviderScope inProvider;
        return Unsupported("QueryDefaultMessageOpt", options);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL EnumAdrTypes(ULONG, ULONG*, mapi::LPTSTR** types) override try {
        const ProviderScope inProvider;
        if (types) *types = nullptr;
        return Unsupported("EnumAdrTypes");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL QueryIdentity(ULONG* cb, mapi::LPENTRYID* id) override try {
        const ProviderScope inProvider;
        auto call = Begin("QueryIdentity", {}, id);
        if (!call) return call.Result();
        if (!cb || !id) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *id = nullptr;
        const AddressEntry* entry = FindEntryByAddress(info_.mailboxDn);
        if (!entry) return call.Return(mapi::MAPI_E_NOT_FOUND);
        const Bytes bytes = AddressEntryId(*entry);
        void* block = nullptr;
        HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(bytes.size()), &block);
        if (mapi::FAILED(hr)) return call.Return(hr);
        std::memcpy(block, bytes.data(), bytes.size());
        *cb = static_cast<ULONG>(bytes.size());
        *id = static_cast<mapi::LPENTRYID>(block);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL Logoff(mapi::ULONG_PTR uiParam, ULONG flags, ULONG reserved) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [uiParam, flags, reserved](Session& self) {
            return self.Logoff(uiParam, flags, reserved);
        });
        auto call = Begin("Logoff", {{"uiParam", ArgHex(ULONG(uiParam))},
                                     {"flags", ArgHex(flags)},
                                     {"reserved", ArgHex(reserved)}});
        if (!call) return call.Result();
        loggedOff_ = true;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL SetDefaultStore(ULONG, ULONG, mapi::LPENTRYID) override try {
        const ProviderScope inProvider;
        return Unsupported("SetDefaultStore");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL AdminServices(ULONG flags, mapi::LPSERVICEADMIN* admin) override try {
        const ProviderScope inProvider;
        auto call = Begin("AdminServices", {{"flags", ArgHex(flags)}}, admin);
        if (!call) return call.Result();
        if (!admin) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *admin = nullptr;
        if (!Org().FindProfile(info_.profile)) return call.Return(mapi::MAPI_E_NOT_FOUND);
        HandOut(MakeMsgServiceAdmin(info_.profile), admin);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL ShowForm(mapi::ULONG_PTR, mapi::LPMDB, mapi::LPMAPIFOLDER, mapi::LPCIID,
                               ULONG, mapi::LPMESSAGE, ULONG, ULONG, ULONG, ULONG,
                               mapi::LPSTR) override try {
        const ProviderScope inProvider;
        return Unsupported("ShowForm");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL PrepareForm(mapi::LPCIID, mapi::LPMESSAGE, ULONG*) override try {
        const ProviderScope inProvider;
        return Unsupported("PrepareForm");
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    void OnFinalRelease() override { Simulator::Instance().AdjustOpenSessions(-1); }

  private:
    // Enters a call; after Logoff the call stops with MAPI_E_END_OF_SESSION.
    Call Begin(std::string_view method, CallArgs args) {
        if (loggedOff_ && !Stale() && !Released()) {
            return EnterCall(QualifiedName(method), Label(), args, mapi::MAPI_E_END_OF_SESSION);
        }
        return Enter(method, args);
    }
    template <class T>
    Call Begin(std::string_view method, CallArgs args, T** out) {
        Call call = Begin(method, args);
        if (!call && out) *out = nullptr;
        return call;
    }
    HRESULT Unsupported(const char* method) {
        auto call = Begin(method, {});
        if (!call) return call.Result();
        return call.Return(mapi::MAPI_E_NO_SUPPORT);
    }
    template <class T>
    HRESULT Unsupported(const char* method, T** out) {
        if (out) *out = nullptr;
        return Unsupported(method);
    }

    SessionInfo info_;
    bool loggedOff_ = false;
};

}  // namespace

Bytes PublicStoreProviderUid() {
    return Bytes(kPublicStoreUid, kPublicStoreUid + sizeof kPublicStoreUid);
}

mapi::ComPtr<mapi::IMAPISession> MakeSession(SessionInfo info) {
    return MakeObject<Session>(std::move(info));
}

}  // namespace sim

#include "sim/manage_store.h"

#include <cstring>

#include "platform/code_page.h"
#include "sim/entry_ids.h"
#include "sim/object_base.h"
#include "sim/sim_text.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

std::string Narrow(const char* text) {
    return text ? text : "null";
}

class ManageStore final : public ComObject<mapi::IExchangeManageStore> {
  public:
    explicit ManageStore(StoreRef store)
        : ComObject("IExchangeManageStore", "xms:" + ToUtf8(store->dn),
                    {mapi::IID_IExchangeManageStore}),
          store_(std::move(store)) {}

    HRESULT MAPI_CALL CreateStoreEntryID(mapi::LPSTR storeDn, mapi::LPSTR mailboxDn, ULONG flags,
                                         ULONG* cb, mapi::LPENTRYID* id) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [storeDn = KeptText(storeDn, false), mailboxDn = KeptText(mailboxDn, false),
                        flags](ManageStore& self) {
            ULONG cb = 0;
            mapi::LPENTRYID id = nullptr;
            const HRESULT hr =
                self.CreateStoreEntryID(storeDn.Get().a(), mailboxDn.Get().a(), flags, &cb, &id);
            mapi::MAPIFreeBuffer(id);
            return hr;
        });
        auto call = Enter("CreateStoreEntryID",
                          {{"storeDn", ToUtf8(platform::FromSystemCodePage(Narrow(storeDn)))},
                           {"mailboxDn", ToUtf8(platform::FromSystemCodePage(Narrow(mailboxDn)))},
                           {"flags", ArgHex(flags)}},
                          id);
        if (!call) return call.Result();
        if (!cb || !id) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *cb = 0;
        *id = nullptr;
        if (!mailboxDn || !*mailboxDn) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        StoreIdInfo info;
        info.serverDn = storeDn ? platform::FromSystemCodePage(storeDn) : std::u16string();
        info.mailboxDn = platform::FromSystemCodePage(mailboxDn);
        info.origin = StoreIdOrigin::StoreManager;
        info.openStoreFlags = flags;
        Bytes entryId = StoreEntryId(info);
        void* block = nullptr;
        HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(entryId.size()), &block);
        if (mapi::FAILED(hr)) return call.Return(hr);
        std::memcpy(block, entryId.data(), entryId.size());
        *cb = static_cast<ULONG>(entryId.size());
        *id = static_cast<mapi::LPENTRYID>(block);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL EntryIDFromSourceKey(ULONG, mapi::BYTE*, ULONG, mapi::BYTE*, ULONG* cb,
                                           mapi::LPENTRYID* id) override try {
        const ProviderScope inProvider;
        if (cb) *cb = 0;
        if (id) *id = nullptr;
        return Unsupported("EntryIDFromSourceKey");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetRights(ULONG, mapi::LPENTRYID, ULONG, mapi::LPENTRYID,
                                ULONG* rights) override try {
        const ProviderScope inProvider;
        if (rights) *rights = 0;
        return Unsupported("GetRights");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetMailboxTable(mapi::LPSTR, mapi::LPMAPITABLE* table, ULONG) override try {
        const ProviderScope inProvider;
        if (table) *table = nullptr;
        return Unsupported("GetMailboxTable");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetPublicFolderTable(mapi::LPSTR, mapi::LPMAPITABLE* table, ULONG) override try {
        const ProviderScope inProvider;
        if (table) *table = nullptr;
        return Unsupported("GetPublicFolderTable");
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    bool ModelObjectDeleted() const override { return store_->Find() == nullptr; }

  private:
    StoreRef store_;
};

}  // namespace

mapi::ComPtr<mapi::IExchangeManageStore> MakeManageStore(StoreRef store) {
    return MakeObject<ManageStore>(std::move(store));
}

}  // namespace sim

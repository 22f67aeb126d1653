#include "sim/address_book.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/code_page.h"
#include "sim/entry_ids.h"
#include "sim/object_base.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/table.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

Organisation& Org() {
    return Simulator::Instance().Org();
}

// What the dialog hands back for a chosen entry, as far as the entry has it.
constexpr ULONG kPickedTags[] = {
    mapi::PR_ENTRYID,      mapi::PR_DISPLAY_NAME_W, mapi::PR_ADDRTYPE_W, mapi::PR_EMAIL_ADDRESS_W,
    mapi::PR_DISPLAY_TYPE, mapi::PR_OBJECT_TYPE,    mapi::PR_SEARCH_KEY};

std::u16string TextProp(const PropMap& props, ULONG tag) {
    auto [found, value] = LookupProp(props, mapi::CHANGE_PROP_TYPE(tag, mapi::PT_UNICODE), true);
    if (mapi::PROP_TYPE(found) != mapi::PT_UNICODE) return {};
    return std::get<std::u16string>(value);
}

std::string LabelName(const PropMap& props) {
    return ToUtf8(TextProp(props, mapi::PR_DISPLAY_NAME_W));
}

// "<TYPE>:<ADDRESS>" upper-cased, 8-bit and terminated, as MAPI forms search keys.
void PutSearchKey(PropMap& props) {
    std::u16string type = TextProp(props, mapi::PR_ADDRTYPE_W);
    std::u16string address = TextProp(props, mapi::PR_EMAIL_ADDRESS_W);
    if (type.empty() || address.empty() || FindProp(props, mapi::PR_SEARCH_KEY)) return;
    std::string key = platform::ToSystemCodePage(type + u":" + address);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    Bytes bytes(key.begin(), key.end());
    bytes.push_back(0);
    props[mapi::PR_SEARCH_KEY] = std::move(bytes);
}

PropMap OneOffProps(const OneOff& oneOff, const Bytes& entryId) {
    PropMap props;
    props[mapi::PR_ENTRYID] = entryId;
    props[mapi::PR_RECORD_KEY] = entryId;
    props[mapi::PR_DISPLAY_NAME_W] = oneOff.displayName;
    props[mapi::PR_ADDRTYPE_W] = oneOff.addressType;
    props[mapi::PR_EMAIL_ADDRESS_W] = oneOff.address;
    props[mapi::PR_SEND_RICH_INFO] = oneOff.sendRichInfo;
    props[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_MAILUSER);
    props[mapi::PR_DISPLAY_TYPE] = static_cast<std::int32_t>(mapi::DT_MAILUSER);
    PutSearchKey(props);
    return props;
}

// What an entry id names: an entry of the address book (by index) or a one-off.
struct ResolvedId {
    std::optional<std::uint32_t> entry;
    EntryKind kind = EntryKind::MailUser;
    std::optional<OneOff> oneOff;
};

std::optional<ResolvedId> Resolve(const void* id, std::size_t size) {
    if (auto ref = ParseAddressEntryId(id, size)) {
        if (ref->container) return std::nullopt;
        const AddressEntry* entry = Org().FindEntry(ref->index);
        if (!entry) return std::nullopt;
        return ResolvedId{entry->index, entry->kind, std::nullopt};
    }
    if (auto oneOff = ParseOneOffEntryId(id, size)) {
        return ResolvedId{std::nullopt, EntryKind::MailUser, std::move(*oneOff)};
    }
    return std::nullopt;
}

// The properties an id names, for PrepareRecips; null when it names nothing.
std::optional<PropMap> PropsOfId(const mapi::SBinary& id) {
    auto resolved = Resolve(id.lpb, id.cb);
    if (!resolved) return std::nullopt;
    if (resolved->entry) return AddressEntryProps(*Org().FindEntry(*resolved->entry));
    return OneOffProps(*resolved->oneOff, Bytes(id.lpb, id.lpb + id.cb));
}

// False for an entry whose provider leaves recipients as they were given.
bool PreparesRecipients(const mapi::SBinary& id) {
    auto resolved = Resolve(id.lpb, id.cb);
    if (!resolved || !resolved->entry) return true;
    const AddressEntry* entry = Org().FindEntry(*resolved->entry);
    return !entry || entry->preparesRecipients;
}

const mapi::SPropValue* FindValue(ULONG count, const mapi::SPropValue* values, ULONG tag) {
    for (ULONG i = 0; i < count; ++i) {
        if (values[i].ulPropTag == tag) return &values[i];
    }
    return nullptr;
}

bool IidIs(mapi::LPCIID iid, std::initializer_list<const mapi::IID*> accepted) {
    if (!iid) return true;
    return std::any_of(accepted.begin(), accepted.end(),
                       [&](const mapi::IID* one) { return *iid == *one; });
}

ArgView ArgEntryId(ULONG cb, const mapi::ENTRYID* id) {
    return ArgBytes(id, id ? cb : 0);
}

HRESULT OpenAddressEntry(ULONG cb, const mapi::ENTRYID* id, mapi::LPCIID iid, ULONG* objectType,
                         mapi::LPUNKNOWN* out);

// Reads a directory entry live, or holds the fixed properties of a one-off.
class EntrySource {
  public:
    explicit EntrySource(std::uint32_t index) : index_(index) {}
    explicit EntrySource(PropMap fixed) : fixed_(std::move(fixed)) {}

    PropMap Props() const {
        if (!index_) return fixed_;
        const AddressEntry* entry = Org().FindEntry(*index_);
        return entry ? AddressEntryProps(*entry) : PropMap();
    }
    // The name objects opened on the source are labelled with; the entry's own, not computed.
    std::string Label() const {
        if (!index_) return LabelName(fixed_);
        const AddressEntry* entry = Org().FindEntry(*index_);
        return entry ? LabelName(entry->props) : std::string();
    }
    bool Deleted() const { return index_ && !Org().FindEntry(*index_); }
    const AddressEntry* Entry() const { return index_ ? Org().FindEntry(*index_) : nullptr; }

  private:
    std::optional<std::uint32_t> index_;
    PropMap fixed_;
};

class MailUser final : public PropObject<mapi::IMailUser> {
  public:
    explicit MailUser(EntrySource source)
        : PropObject("IMailUser", "mailuser:" + source.Label(),
                     {mapi::IID_IMAPIProp, mapi::IID_IMailUser}),
          source_(std::move(source)) {}

  protected:
    PropMap Props() const override { return source_.Props(); }
    bool ModelObjectDeleted() const override { return source_.Deleted(); }

  private:
    EntrySource source_;
};

class DistList final : public PropObject<mapi::IDistList> {
  public:
    explicit DistList(std::uint32_t index)
        : PropObject("IDistList", "distlist:" + EntrySource(index).Label(),
                     {mapi::IID_IMAPIProp, mapi::IID_IMAPIContainer, mapi::IID_IDistList}),
          source_(index) {}

    HRESULT MAPI_CALL GetContentsTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        auto call = Enter("GetContentsTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        std::vector<Row> rows;
        if (const AddressEntry* list = source_.Entry()) {
            for (std::uint32_t member : list->members) {
                if (const AddressEntry* entry = Org().FindEntry(member)) {
                    rows.push_back(AddressEntryProps(*entry));
                }
            }
        }
        TableOptions options;
        options.label = "members:" + source_.Label();
        options.unicode = (flags & mapi::MAPI_UNICODE) != 0;
        const ULONG text = options.unicode ? mapi::PT_UNICODE : mapi::PT_STRING8;
        options.columns = {mapi::PR_ENTRYID,
                           mapi::CHANGE_PROP_TYPE(mapi::PR_DISPLAY_NAME_W, text),
                           mapi::CHANGE_PROP_TYPE(mapi::PR_ADDRTYPE_W, text),
                           mapi::CHANGE_PROP_TYPE(mapi::PR_EMAIL_ADDRESS_W, text),
                           mapi::PR_OBJECT_TYPE,
                           mapi::PR_DISPLAY_TYPE};
        HandOut(MakeTable(std::move(options), std::move(rows)), table);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetHierarchyTable(ULONG, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (table) *table = nullptr;
        return Unsupported("GetHierarchyTable");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL OpenEntry(ULONG cb, mapi::LPENTRYID id, mapi::LPCIID iid, ULONG flags,
                                ULONG* objectType, mapi::LPUNKNOWN* out) override try {
        const ProviderScope inProvider;
        auto call = Enter(
            "OpenEntry",
            {{"entryId", ArgEntryId(cb, id)}, {"iid", ArgIid(iid)}, {"flags", ArgHex(flags)}}, out);
        if (!call) return call.Result();
        return call.Return(OpenAddressEntry(cb, id, iid, objectType, out));
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetSearchCriteria(mapi::LPSRestriction, mapi::LPENTRYLIST, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("SetSearchCriteria");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetSearchCriteria(ULONG, mapi::LPSRestriction*, mapi::LPENTRYLIST*,
                                        ULONG*) override try {
        const ProviderScope inProvider;
        return Unsupported("GetSearchCriteria");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL CreateEntry(ULONG, mapi::LPENTRYID, ULONG, mapi::LPMAPIPROP* entry) override try {
        const ProviderScope inProvider;
        if (entry) *entry = nullptr;
        return Unsupported("CreateEntry");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL CopyEntries(mapi::LPENTRYLIST, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                                  ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("CopyEntries");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL DeleteEntries(mapi::LPENTRYLIST, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("DeleteEntries");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL ResolveNames(mapi::LPSPropTagArray, ULONG, mapi::LPADRLIST,
                                   mapi::LPFlagList) override try {
        const ProviderScope inProvider;
        return Unsupported("ResolveNames");
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    PropMap Props() const override { return source_.Props(); }
    bool ModelObjectDeleted() const override { return source_.Deleted(); }

  private:
    EntrySource source_;
};

HRESULT OpenAddressEntry(ULONG cb, const mapi::ENTRYID* id, mapi::LPCIID iid, ULONG* objectType,
                         mapi::LPUNKNOWN* out) {
    if (!out) return mapi::MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (!id || cb == 0) return mapi::MAPI_E_UNKNOWN_ENTRYID;
    auto resolved = Resolve(id, cb);
    if (!resolved) return mapi::MAPI_E_UNKNOWN_ENTRYID;
    if (resolved->kind == EntryKind::DistList) {
        if (!IidIs(iid, {&mapi::IID_IMAPIProp, &mapi::IID_IMAPIContainer, &mapi::IID_IDistList})) {
            return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
        }
        HandOut(MakeObject<DistList>(*resolved->entry), out);
        if (objectType) *objectType = mapi::MAPI_DISTLIST;
        return mapi::S_OK;
    }
    if (!IidIs(iid, {&mapi::IID_IMAPIProp, &mapi::IID_IMailUser})) {
        return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(id);
    EntrySource source =
        resolved->entry ? EntrySource(*resolved->entry)
                        : EntrySource(OneOffProps(*resolved->oneOff, Bytes(bytes, bytes + cb)));
    HandOut(MakeObject<MailUser>(std::move(source)), out);
    if (objectType) *objectType = mapi::MAPI_MAILUSER;
    return mapi::S_OK;
}

// Text of an ADRPARM string member, in the width the dialog's flags give it.
std::string DialogText(mapi::LPTSTR text, bool unicode) {
    if (!text) return {};
    return unicode ? ToUtf8(text.w()) : ToUtf8(platform::FromSystemCodePage(text.a()));
}

AddressDialogRecord RecordOf(const mapi::ADRPARM& params, const mapi::ULONG_PTR* uiParam) {
    const bool unicode = (params.ulFlags & (mapi::AB_UNICODEUI | mapi::MAPI_UNICODE)) != 0;
    AddressDialogRecord record;
    record.flags = params.ulFlags;
    record.caption = DialogText(params.lpszCaption, unicode);
    if (params.lppszDestTitles) {
        // A title array is at least one entry long, also when there are no wells.
        for (ULONG i = 0; i < std::max<ULONG>(params.cDestFields, 1); ++i) {
            record.destTitles.push_back(DialogText(params.lppszDestTitles[i], unicode));
        }
    }
    record.destFields = params.cDestFields;
    record.destFieldFocus = params.nDestFieldFocus;
    record.hasContainer = params.lpABContEntryID != nullptr;
    record.hasHelpFile = static_cast<bool>(params.lpszHelpFileName);
    record.hasDismiss = params.lpfnDismiss != nullptr;
    record.hasDestComps = params.lpulDestComps != nullptr;
    record.hasRestrictions = params.lpContRestriction || params.lpHierRestriction;
    record.hasNewEntryTitle = static_cast<bool>(params.lpszNewEntryTitle);
    record.hasDestWellsTitle = static_cast<bool>(params.lpszDestWellsTitle);
    record.windowValue = uiParam ? *uiParam : 0;
    return record;
}

// The recipient type of the well that has the focus.
std::int32_t FocusedWellType(const mapi::ADRPARM& params) {
    const ULONG well = params.nDestFieldFocus < params.cDestFields ? params.nDestFieldFocus : 0;
    if (params.lpulDestComps) return static_cast<std::int32_t>(params.lpulDestComps[well]);
    return static_cast<std::int32_t>(well <= 2 ? mapi::MAPI_TO + well : mapi::MAPI_TO);
}

// The values of an entry passed in, as far as the model can hold them, in their order.
PropList ValuesOf(const mapi::ADRENTRY& entry) {
    PropList values;
    for (ULONG i = 0; i < entry.cValues && entry.rgPropVals; ++i) {
        if (auto value = ParseSPropValue(entry.rgPropVals[i])) {
            values.emplace_back(entry.rgPropVals[i].ulPropTag, std::move(*value));
        }
    }
    return values;
}

// The values the dialog hands back for a chosen entry.
PropList PickedValues(const AddressEntry& entry, const mapi::ADRPARM& params) {
    const PropMap props = AddressEntryProps(entry);
    const bool wells = params.cDestFields > 0;
    PropList values;
    values.reserve(std::size(kPickedTags) + (wells ? 1 : 0));
    for (ULONG tag : kPickedTags) {
        if (tag == mapi::PR_ENTRYID && !entry.dialogEntryId) continue;
        auto value = LookupProp(props, tag, true);
        if (!IsError(value)) values.push_back(std::move(value));
    }
    if (wells) values.emplace_back(mapi::PR_RECIPIENT_TYPE, FocusedWellType(params));
    return values;
}

HRESULT BuildPickedList(const mapi::ADRPARM& params, const mapi::ADRLIST* given,
                        const std::vector<std::uint32_t>& picks, mapi::ADRLIST** out) {
    const ULONG kept = params.cDestFields > 0 && given ? given->cEntries : 0;
    // The picked entries that are still there; null for a pick the user removed.
    std::vector<const AddressEntry*> chosen;
    chosen.reserve(picks.size());
    for (std::uint32_t index : picks) {
        if (index == AddressDialogAnswer::kRemovedPick) {
            chosen.push_back(nullptr);
        } else if (const AddressEntry* entry = Org().FindEntry(index)) {
            chosen.push_back(entry);
        }
    }
    return AllocAdrList(
        kept + chosen.size(),
        [&](std::size_t i) {
            if (i < kept) return ValuesOf(given->aEntries[i]);
            const AddressEntry* entry = chosen[i - kept];
            return entry ? PickedValues(*entry, params) : PropList();
        },
        out);
}

// A deep copy of a value the caller passed in, its pointers allocated on parent.
HRESULT CopyValue(const mapi::SPropValue& value, void* parent, mapi::SPropValue& out) {
    if (auto parsed = ParseSPropValue(value)) {
        return FillSPropValue(value.ulPropTag, *parsed, parent, out);
    }
    out = value;
    std::size_t element = 0;
    switch (mapi::PROP_TYPE(value.ulPropTag)) {
        case mapi::PT_I2:
        case mapi::PT_R4:
        case mapi::PT_DOUBLE:
        case mapi::PT_CURRENCY:
        case mapi::PT_APPTIME:
        case mapi::PT_ERROR:
        case mapi::PT_NULL:
        case mapi::PT_OBJECT:
            return mapi::S_OK;
        case mapi::PT_CLSID: {
            void* guid = nullptr;
            HRESULT hr = MAPIAllocateMore(sizeof(mapi::GUID), parent, &guid);
            if (mapi::FAILED(hr)) return hr;
            if (value.Value.lpguid) std::memcpy(guid, value.Value.lpguid, sizeof(mapi::GUID));
            out.Value.lpguid = static_cast<mapi::GUID*>(guid);
            return mapi::S_OK;
        }
        case mapi::PT_MV_I2:
            element = 2;
            break;
        case mapi::PT_MV_R4:
            element = 4;
            break;
        case mapi::PT_MV_DOUBLE:
        case mapi::PT_MV_CURRENCY:
        case mapi::PT_MV_APPTIME:
        case mapi::PT_MV_SYSTIME:
        case mapi::PT_MV_I8:
            element = 8;
            break;
        case mapi::PT_MV_CLSID:
            element = sizeof(mapi::GUID);
            break;
        default:
            return mapi::MAPI_E_INVALID_TYPE;
    }
    // The multi-valued arrays of fixed-size elements share one layout: a count and a pointer.
    const std::size_t bytes = element * value.Value.MVi.cValues;
    void* array = nullptr;
    HRESULT hr =
        MAPIAllocateMore(static_cast<ULONG>(std::max<std::size_t>(bytes, 1)), parent, &array);
    if (mapi::FAILED(hr)) return hr;
    if (bytes && value.Value.MVi.lpi) std::memcpy(array, value.Value.MVi.lpi, bytes);
    out.Value.MVi.lpi = static_cast<mapi::SHORT*>(array);
    return mapi::S_OK;
}

// One entry of PrepareRecips: the requested values first, then the entry's others, in one new
// buffer that replaces the entry's old one.
HRESULT PrepareEntry(mapi::ADRENTRY& entry, const mapi::SPropTagArray* tags, const PropMap& found,
                     bool unicode) {
    // Each new value: from the directory (a model value), or the index of a value the entry had.
    struct Source {
        std::optional<std::pair<ULONG, PropValue>> directory;
        ULONG own = 0;
    };
    std::vector<Source> sources;
    auto isRequested = [tags](ULONG tag) {
        for (ULONG i = 0; i < tags->cValues; ++i) {
            if (mapi::PROP_ID(tags->aulPropTag[i]) == mapi::PROP_ID(tag)) return true;
        }
        return false;
    };
    for (ULONG i = 0; i < tags->cValues; ++i) {
        const ULONG tag = tags->aulPropTag[i];
        Source source{LookupProp(found, tag, unicode), 0};
        if (IsError(*source.directory)) {
            for (ULONG k = 0; k < entry.cValues; ++k) {
                const ULONG had = entry.rgPropVals[k].ulPropTag;
                if (mapi::PROP_ID(had) == mapi::PROP_ID(tag) &&
                    mapi::PROP_TYPE(had) != mapi::PT_ERROR &&
                    (mapi::PROP_TYPE(tag) == mapi::PT_UNSPECIFIED || had == tag)) {
                    source = Source{std::nullopt, k};
                    break;
                }
            }
        }
        sources.push_back(std::move(source));
    }
    for (ULONG k = 0; k < entry.cValues; ++k) {
        if (!isRequested(entry.rgPropVals[k].ulPropTag)) sources.push_back(Source{std::nullopt, k});
    }
    void* block = nullptr;
    const std::size_t size = std::max<std::size_t>(sources.size(), 1) * sizeof(mapi::SPropValue);
    HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(size), &block);
    if (mapi::FAILED(hr)) return hr;
    auto values = static_cast<mapi::SPropValue*>(block);
    std::memset(values, 0, size);
    for (std::size_t i = 0; i < sources.size() && mapi::SUCCEEDED(hr); ++i) {
        const Source& source = sources[i];
        hr = source.directory ? FillSPropValue(source.directory->first, source.directory->second,
                                               block, values[i])
                              : CopyValue(entry.rgPropVals[source.own], block, values[i]);
    }
    if (mapi::FAILED(hr)) {
        MAPIFreeBuffer(block);
        return hr;
    }
    MAPIFreeBuffer(entry.rgPropVals);
    entry.rgPropVals = values;
    entry.cValues = static_cast<ULONG>(sources.size());
    return mapi::S_OK;
}

class AddressBook final : public PropObject<mapi::IAddrBook> {
  public:
    AddressBook()
        : PropObject("IAddrBook", "addrbook", {mapi::IID_IMAPIProp, mapi::IID_IAddrBook}) {}

    HRESULT MAPI_CALL OpenEntry(ULONG cb, mapi::LPENTRYID id, mapi::LPCIID iid, ULONG flags,
                                ULONG* objectType, mapi::LPUNKNOWN* out) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeOpenEntry(this, cb, id, iid, flags);
        auto call = Enter(
            "OpenEntry",
            {{"entryId", ArgEntryId(cb, id)}, {"iid", ArgIid(iid)}, {"flags", ArgHex(flags)}}, out);
        if (!call) return call.Result();
        return call.Return(OpenAddressEntry(cb, id, iid, objectType, out));
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL CompareEntryIDs(ULONG cb1, mapi::LPENTRYID id1, ULONG cb2,
                                      mapi::LPENTRYID id2, ULONG flags, ULONG* result) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCompareEntryIDs(this, cb1, id1, cb2, id2, flags);
        auto call = Enter("CompareEntryIDs", {{"entryId1", ArgEntryId(cb1, id1)},
                                              {"entryId2", ArgEntryId(cb2, id2)},
                                              {"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!result) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        auto a = ParseAddressEntryId(id1, id1 ? cb1 : 0);
        auto b = ParseAddressEntryId(id2, id2 ? cb2 : 0);
        if (a && b) {
            *result = a->container == b->container && a->index == b->index;
            return call.Return(mapi::S_OK);
        }
        auto x = ParseOneOffEntryId(id1, id1 ? cb1 : 0);
        auto y = ParseOneOffEntryId(id2, id2 ? cb2 : 0);
        if (x && y) {
            *result = x->displayName == y->displayName &&
                      EqualsAsciiNoCase(x->addressType, y->addressType) &&
                      EqualsAsciiNoCase(x->address, y->address);
            return call.Return(mapi::S_OK);
        }
        if ((a || x) && (b || y)) {
            *result = 0;
            return call.Return(mapi::S_OK);
        }
        return call.Return(mapi::MAPI_E_UNKNOWN_ENTRYID);
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

    HRESULT MAPI_CALL CreateOneOff(mapi::LPTSTR name, mapi::LPTSTR type, mapi::LPTSTR address,
                                   ULONG flags, ULONG* cb, mapi::LPENTRYID* id) override try {
        const ProviderScope inProvider;
        const bool unicode = (flags & mapi::MAPI_UNICODE) != 0;
        auto call = Enter("CreateOneOff",
                          {{"name", ArgTStr(name, unicode)},
                           {"addressType", ArgTStr(type, unicode)},
                           {"address", ArgTStr(address, unicode)},
                           {"flags", ArgHex(flags)}},
                          id);
        if (!call) return call.Result();
        if (!cb || !id || !type || !address) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        auto text = [unicode](mapi::LPTSTR s) -> std::u16string {
            if (!s) return {};
            return unicode ? std::u16string(s.w()) : platform::FromSystemCodePage(s.a());
        };
        OneOff oneOff{text(name), text(type), text(address),
                      (flags & 0x00010000) == 0 /* MAPI_SEND_NO_RICH_INFO */};
        Bytes bytes = OneOffEntryId(oneOff);
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

    HRESULT MAPI_CALL NewEntry(mapi::ULONG_PTR, ULONG, ULONG, mapi::LPENTRYID, ULONG,
                               mapi::LPENTRYID, ULONG*, mapi::LPENTRYID* id) override try {
        const ProviderScope inProvider;
        if (id) *id = nullptr;
        return Unsupported("NewEntry");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL ResolveName(mapi::ULONG_PTR, ULONG, mapi::LPTSTR, mapi::LPADRLIST) override try {
        const ProviderScope inProvider;
        return Unsupported("ResolveName");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL Address(mapi::ULONG_PTR* uiParam, mapi::LPADRPARM params,
                              mapi::LPADRLIST* list) override try {
        const ProviderScope inProvider;
        if (Taping() && KeptAdrParm::Playable(params))
            TapeCall(this, [ui = uiParam ? std::optional<mapi::ULONG_PTR>(*uiParam) : std::nullopt,
                            kept = KeptAdrParm(params), list = KeptAdrList(list ? *list : nullptr),
                            hasList = list != nullptr](AddressBook& self) mutable {
                std::optional<mapi::ADRPARM> parameters = kept.Make();
                mapi::LPADRLIST picked = list.Make();
                const HRESULT hr = self.Address(ui ? &*ui : nullptr, parameters ? &*parameters : nullptr,
                                                hasList ? &picked : nullptr);
                mapi::FreePadrlist(picked);
                return hr;
            });
        auto call = Enter("Address", {{"uiParam", uiParam ? ArgHex(ULONG(*uiParam)) : ArgNull()}});
        if (params) {
            call.AddArg("flags", ArgHex(params->ulFlags));
            call.AddArg("destFields", ArgDec(params->cDestFields));
        }
        if (!call) return call.Result();
        if (!params || !list) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        AddressDialogRecord record = RecordOf(*params, uiParam);
        auto& answers = Org().addressDialogAnswers;
        AddressDialogAnswer answer;
        if (answers.empty()) {
            // Nobody scripted the dialog: the user closes it.
            record.scripted = false;
            answer.action = AddressDialogAnswer::Action::Cancel;
        } else {
            answer = std::move(answers.front());
            answers.erase(answers.begin());
        }
        HRESULT hr = mapi::MAPI_E_USER_CANCEL;
        if (answer.action == AddressDialogAnswer::Action::Fail) {
            hr = mapi::FAILED(answer.failure) ? answer.failure : mapi::MAPI_E_CALL_FAILED;
        } else if (answer.action == AddressDialogAnswer::Action::Pick) {
            mapi::ADRLIST* picked = nullptr;
            hr = BuildPickedList(*params, *list, answer.picks, &picked);
            if (mapi::SUCCEEDED(hr)) {
                FreePadrlist(*list);
                *list = picked;
                call.AddArg("entries", ArgDec(picked->cEntries));
            }
        }
        record.result = hr;
        Simulator::Instance().RecordAddressDialog(std::move(record));
        return call.Return(hr);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL Details(mapi::ULONG_PTR*, mapi::LPFNDISMISS, mapi::LPVOID, ULONG,
                              mapi::LPENTRYID, mapi::LPFNBUTTON, mapi::LPVOID, mapi::LPTSTR,
                              ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("Details");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL RecipOptions(mapi::ULONG_PTR, ULONG, mapi::LPADRENTRY) override try {
        const ProviderScope inProvider;
        return Unsupported("RecipOptions");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL QueryDefaultRecipOpt(mapi::LPTSTR, ULONG, ULONG*,
                                           mapi::LPSPropValue* options) override try {
        const ProviderScope inProvider;
        if (options) *options = nullptr;
        return Unsupported("QueryDefaultRecipOpt");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetPAB(ULONG*, mapi::LPENTRYID* id) override try {
        const ProviderScope inProvider;
        if (id) *id = nullptr;
        return Unsupported("GetPAB");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetPAB(ULONG, mapi::LPENTRYID) override { return Unsupported("SetPAB"); }
    HRESULT MAPI_CALL GetDefaultDir(ULONG*, mapi::LPENTRYID* id) override try {
        const ProviderScope inProvider;
        if (id) *id = nullptr;
        return Unsupported("GetDefaultDir");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetDefaultDir(ULONG, mapi::LPENTRYID) override try {
        const ProviderScope inProvider;
        return Unsupported("SetDefaultDir");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL GetSearchPath(ULONG, mapi::LPSRowSet* rows) override try {
        const ProviderScope inProvider;
        if (rows) *rows = nullptr;
        return Unsupported("GetSearchPath");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetSearchPath(ULONG, mapi::LPSRowSet) override try {
        const ProviderScope inProvider;
        return Unsupported("SetSearchPath");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL PrepareRecips(ULONG flags, mapi::LPSPropTagArray tags,
                                    mapi::LPADRLIST list) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags, tags = KeptTags(tags), kept = KeptAdrList(list)](AddressBook& self) {
            mapi::LPADRLIST list = kept.Make();
            const HRESULT hr = self.PrepareRecips(flags, tags.Get(), list);
            mapi::FreePadrlist(list);
            return hr;
        });
        auto call = Enter("PrepareRecips", {{"flags", ArgHex(flags)},
                                            {"tags", ArgTags(tags)},
                                            {"entries", list ? ArgDec(list->cEntries) : ArgNull()}});
        if (!call) return call.Result();
        if (!list) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        const bool unicode = (flags & mapi::MAPI_UNICODE) != 0;
        HRESULT result = mapi::S_OK;
        for (ULONG i = 0; i < list->cEntries; ++i) {
            mapi::ADRENTRY& entry = list->aEntries[i];
            if (!entry.rgPropVals) continue;
            const mapi::SPropValue* id =
                FindValue(entry.cValues, entry.rgPropVals, mapi::PR_ENTRYID);
            if (!id) continue;
            if (!PreparesRecipients(id->Value.bin)) continue;
            std::optional<PropMap> found = PropsOfId(id->Value.bin);
            if (!found) {
                result = mapi::MAPI_E_NOT_FOUND;
                continue;
            }
            if (!tags) continue;
            HRESULT hr = PrepareEntry(entry, tags, *found, unicode);
            if (mapi::FAILED(hr)) return call.Return(hr);
        }
        return call.Return(result);
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    PropMap Props() const override {
        PropMap props;
        props[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_ADDRBOOK);
        return props;
    }

};

}  // namespace

PropMap AddressEntryProps(const AddressEntry& entry) {
    PropMap props = entry.props;
    const Bytes id = AddressEntryId(entry);
    const bool list = entry.kind == EntryKind::DistList;
    PutProp(props, mapi::PR_ENTRYID, id);
    PutProp(props, mapi::PR_RECORD_KEY, id);
    PutProp(props, mapi::PR_OBJECT_TYPE,
            static_cast<std::int32_t>(list ? mapi::MAPI_DISTLIST : mapi::MAPI_MAILUSER));
    if (!FindProp(props, mapi::PR_DISPLAY_TYPE)) {
        props[mapi::PR_DISPLAY_TYPE] =
            static_cast<std::int32_t>(list ? mapi::DT_DISTLIST : mapi::DT_MAILUSER);
    }
    PutSearchKey(props);
    return props;
}

AddressEntry* FindEntryByAddress(std::u16string_view address) {
    if (address.empty()) return nullptr;
    for (AddressEntry& entry : Org().addressBook) {
        if (EqualsAsciiNoCase(TextProp(entry.props, mapi::PR_EMAIL_ADDRESS_W), address)) {
            return &entry;
        }
    }
    return nullptr;
}

mapi::ComPtr<mapi::IAddrBook> MakeAddressBook() {
    return MakeObject<AddressBook>();
}

}  // namespace sim

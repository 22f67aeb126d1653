#include "sim/call_tape.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <unordered_set>

#include "sim/object_base.h"
#include "sim/props.h"

namespace sim {

// Chunks of memory handed out in order and freed together.
struct CallTape::Arena {
    static constexpr std::size_t kChunk = std::size_t(1) << 20;
    std::vector<std::unique_ptr<std::byte[]>> chunks;
    std::size_t used = kChunk;  // in the last chunk; a full one at first

    void* Allocate(std::size_t size, std::size_t alignment) {
        if (size + alignment > kChunk / 4) {
            // A large block gets a chunk of its own; the next small one starts a new chunk.
            std::size_t space = size + alignment;
            chunks.push_back(std::make_unique<std::byte[]>(space));
            used = kChunk;
            void* block = chunks.back().get();
            return std::align(alignment, size, block, space);
        }
        std::size_t at = (used + alignment - 1) & ~(alignment - 1);
        if (at + size > kChunk) {
            chunks.push_back(std::make_unique<std::byte[]>(kChunk));
            at = 0;
        }
        used = at + size;
        return chunks.back().get() + at;
    }
};

CallTape::CallTape() = default;  // the arena is made with the first copy
CallTape::~CallTape() { Clear(); }
CallTape::CallTape(CallTape&& other) noexcept
    : entries_(std::move(other.entries_)),
      incomplete_(std::move(other.incomplete_)),
      arena_(std::move(other.arena_)) {
    other.entries_.clear();
}
CallTape& CallTape::operator=(CallTape&& other) noexcept {
    if (this != &other) {
        Clear();
        entries_ = std::move(other.entries_);
        incomplete_ = std::move(other.incomplete_);
        arena_ = std::move(other.arena_);
        other.entries_.clear();
    }
    return *this;
}
void CallTape::Clear() noexcept {
    for (Entry& entry : entries_)
        if (entry.destroy) entry.destroy(entry.again);
    entries_.clear();
}

struct TapeAccess {
    static std::vector<CallTape::Entry>& Entries(CallTape& tape) { return tape.entries_; }
    static std::string& Incomplete(CallTape& tape) { return tape.incomplete_; }
    static CallTape::Arena& Arena(CallTape& tape) {
        if (!tape.arena_) tape.arena_ = std::make_unique<CallTape::Arena>();
        return *tape.arena_;
    }
};

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Whether a tape runs, apart from the tape itself: the checks every call and every AddRef and
// Release make allocate nothing.
bool g_taping = false;

struct TapeState {
    CallTape tape;
    std::size_t pending = kNone;  // the entry the next outer call takes
    std::unordered_set<std::string> names;  // method names, kept for the entries to point to
};

TapeState& TheTaping() {
    static TapeState* taping = new TapeState;
    return *taping;
}

const std::string* Interned(const std::string& name) {
    return &*TheTaping().names.insert(name).first;
}

void MarkIncomplete(const std::string& why) {
    std::string& incomplete = TapeAccess::Incomplete(TheTaping().tape);
    if (incomplete.empty()) incomplete = why;
}

void FreeMapi(void* buffer) { mapi::MAPIFreeBuffer(buffer); }

template <class T>
std::shared_ptr<T> Owned(T* buffer) {
    return std::shared_ptr<T>(buffer, [](T* p) { FreeMapi(p); });
}

}  // namespace

void StartTape() {
    TapeState& taping = TheTaping();
    taping.tape = CallTape();
    taping.pending = kNone;
    g_taping = true;
}

CallTape StopTape() {
    TapeState& taping = TheTaping();
    g_taping = false;
    taping.pending = kNone;
    return std::move(taping.tape);
}

TapePlay PlayTape(const CallTape& tape) {
    TapePlay play;
    if (!tape.Incomplete().empty()) {
        play.diverged = 1;
        play.firstDivergence = "the tape is incomplete: " + tape.Incomplete();
        return play;
    }
    const std::uint64_t providerBefore = Simulator::Instance().ProviderNanoseconds();
    const auto start = std::chrono::steady_clock::now();
    for (const CallTape::Entry& entry : tape.Entries()) {
        ObjectBase* object = nullptr;
        if (entry.target != CallTape::kNoObject) {
            object = detail::ObjectWithSerial(entry.target);
            if (!object) {
                ++play.diverged;
                if (play.firstDivergence.empty())
                    play.firstDivergence = "call " + std::to_string(play.calls) + " (" +
                                           *entry.method + "): no object " +
                                           std::to_string(entry.target);
                break;
            }
        }
        const std::int64_t result = entry.play(entry.again, object);
        if (result != entry.result) {
            ++play.diverged;
            if (play.firstDivergence.empty())
                play.firstDivergence = "call " + std::to_string(play.calls) + " (" +
                                       *entry.method + "): " + std::to_string(result) +
                                       " instead of " + std::to_string(entry.result);
        }
        ++play.calls;
    }
    play.nanoseconds = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                             start)
            .count());
    play.providerNanoseconds = Simulator::Instance().ProviderNanoseconds() - providerBefore;
    return play;
}

namespace detail {

bool TapingOuterCall() noexcept {
    return g_taping && InProvider() && !OuterCallEntered();
}

void* TapeAllocate(std::size_t size, std::size_t alignment) {
    return TapeAccess::Arena(TheTaping().tape).Allocate(size, alignment);
}

void TapeEntry(std::size_t target, void* again, std::int64_t (*play)(void*, ObjectBase*),
               void (*destroy)(void*)) {
    TapeState& taping = TheTaping();
    auto& entries = TapeAccess::Entries(taping.tape);
    CallTape::Entry entry;
    entry.target = target;
    entry.again = again;
    entry.play = play;
    entry.destroy = destroy;
    entries.push_back(entry);
    taping.pending = entries.size() - 1;
}

std::size_t TakeTapeEntry(const std::string& method) {
    if (!g_taping) return kNone;
    TapeState& taping = TheTaping();
    const std::size_t index = taping.pending;
    taping.pending = kNone;
    if (index == kNone) {
        MarkIncomplete(method + " is not taped");
        return kNone;
    }
    TapeAccess::Entries(taping.tape)[index].method = Interned(method);
    return index;
}

void SetTapeResult(std::size_t index, std::int64_t result) {
    if (!g_taping) return;
    auto& entries = TapeAccess::Entries(TheTaping().tape);
    if (index < entries.size()) entries[index].result = result;
}

void TapeReference(const ObjectBase& object, bool release, std::int64_t count) {
    if (!g_taping || InProvider()) return;
    TapeState& taping = TheTaping();
    CallTape::Entry entry;
    entry.target = object.Serial();
    entry.method = Interned(release ? "Release" : "AddRef");
    entry.result = count;
    entry.play = release ? [](void*, ObjectBase* target) -> std::int64_t {
        return ObjectAccess::Release(*target);
    } : [](void*, ObjectBase* target) -> std::int64_t { return ObjectAccess::AddRef(*target); };
    TapeAccess::Entries(taping.tape).push_back(entry);
}

}  // namespace detail

KeptBytes::KeptBytes(const void* data, mapi::ULONG size) : size_(size) {
    if (!data) return;
    data_ = static_cast<std::uint8_t*>(detail::TapeAllocate(size ? size : 1, 1));
    std::memcpy(data_, data, size);
}

mapi::LPENTRYID KeptBytes::Entry() const {
    return reinterpret_cast<mapi::LPENTRYID>(data_);
}

struct KeptEntryList::Storage {
    mapi::ENTRYLIST list{};
    std::vector<Bytes> ids;
    std::vector<mapi::SBinary> binaries;
};

KeptEntryList::KeptEntryList(const mapi::ENTRYLIST* list) {
    if (!list) return;
    auto storage = std::make_shared<Storage>();
    storage->list.cValues = list->cValues;
    if (list->lpbin) {
        storage->ids.reserve(list->cValues);
        for (mapi::ULONG i = 0; i < list->cValues; ++i) {
            const mapi::SBinary& id = list->lpbin[i];
            storage->ids.emplace_back(id.lpb ? Bytes(id.lpb, id.lpb + id.cb) : Bytes());
            storage->binaries.push_back({id.cb, id.lpb ? storage->ids.back().data() : nullptr});
        }
        storage->list.lpbin = storage->binaries.data();
    }
    list_ = std::shared_ptr<mapi::ENTRYLIST>(storage, &storage->list);
}

KeptText::KeptText(mapi::LPTSTR text, bool unicode) {
    if (!text) return;
    if (unicode) {
        wide_ = std::u16string(text.w());
    } else {
        narrow_ = std::string(text.a());
    }
}

mapi::LPTSTR KeptText::Get() const {
    if (wide_) return mapi::LPTSTR(wide_->c_str());
    if (narrow_) return mapi::LPTSTR(narrow_->c_str());
    return nullptr;
}

KeptIid::KeptIid(mapi::LPCIID iid) {
    if (iid) iid_ = *iid;
}

KeptTags::KeptTags(const mapi::SPropTagArray* tags) {
    if (!tags) return;
    mapi::SPropTagArray* copy = nullptr;
    if (mapi::FAILED(AllocTagArray({tags->aulPropTag, tags->aulPropTag + tags->cValues}, &copy)))
        MarkIncomplete("a tag array could not be copied");
    tags_ = Owned(copy);
}

KeptProps::KeptProps(mapi::ULONG count, const mapi::SPropValue* values) : count_(count) {
    if (!values) return;
    mapi::LPSPropValue copy = nullptr;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): ScDupPropset only reads its input
    const mapi::SCODE sc = mapi::ScDupPropset(static_cast<int>(count), const_cast<mapi::LPSPropValue>(values),
                                              mapi::MAPIAllocateBuffer, &copy);
    if (mapi::FAILED(sc)) MarkIncomplete("property values could not be copied");
    values_ = Owned(copy);
}

namespace {

// The nodes of a copied restriction, each list in a vector of its own that never grows after
// it is filled, and the values they point to.
struct RestrictionCopy {
    std::deque<std::vector<mapi::SRestriction>> lists;
    std::vector<KeptProps> values;

    mapi::LPSRestriction List(const mapi::SRestriction* in, mapi::ULONG count) {
        if (!in) return nullptr;
        std::vector<mapi::SRestriction>& list = lists.emplace_back(count);
        for (mapi::ULONG i = 0; i < count; ++i) Node(in[i], list[i]);
        return list.data();
    }
    mapi::LPSPropValue Values(const mapi::SPropValue* in, mapi::ULONG count) {
        if (!in) return nullptr;
        return values.emplace_back(count, in).Get();
    }
    void Node(const mapi::SRestriction& in, mapi::SRestriction& out) {
        out = in;  // the fixed fields; the pointers are replaced below
        switch (in.rt) {
            case mapi::RES_AND:
                out.res.resAnd.lpRes = List(in.res.resAnd.lpRes, in.res.resAnd.cRes);
                break;
            case mapi::RES_OR:
                out.res.resOr.lpRes = List(in.res.resOr.lpRes, in.res.resOr.cRes);
                break;
            case mapi::RES_NOT:
                out.res.resNot.lpRes = List(in.res.resNot.lpRes, 1);
                break;
            case mapi::RES_CONTENT:
                out.res.resContent.lpProp = Values(in.res.resContent.lpProp, 1);
                break;
            case mapi::RES_PROPERTY:
                out.res.resProperty.lpProp = Values(in.res.resProperty.lpProp, 1);
                break;
            case mapi::RES_SUBRESTRICTION:
                out.res.resSub.lpRes = List(in.res.resSub.lpRes, 1);
                break;
            case mapi::RES_COMMENT:
                out.res.resComment.lpRes = List(in.res.resComment.lpRes, 1);
                out.res.resComment.lpProp =
                    Values(in.res.resComment.lpProp, in.res.resComment.cValues);
                break;
            default:  // no pointers
                break;
        }
    }
};

}  // namespace

KeptRestriction::KeptRestriction(const mapi::SRestriction* restriction) {
    if (!restriction) return;
    auto copy = std::make_shared<RestrictionCopy>();
    mapi::LPSRestriction root = copy->List(restriction, 1);
    restriction_ = std::shared_ptr<mapi::SRestriction>(copy, root);
}

KeptAdrList::KeptAdrList(const mapi::ADRLIST* list) {
    if (!list) return;
    entries_.emplace();
    entries_->reserve(list->cEntries);
    for (mapi::ULONG i = 0; i < list->cEntries; ++i)
        entries_->emplace_back(list->aEntries[i].cValues, list->aEntries[i].rgPropVals);
}

mapi::LPADRLIST KeptAdrList::Make() const {
    if (!entries_) return nullptr;
    mapi::ADRLIST* list = nullptr;
    void* block = nullptr;
    const auto count = static_cast<mapi::ULONG>(entries_->size());
    if (mapi::FAILED(mapi::MAPIAllocateBuffer(mapi::CbNewADRLIST(count ? count : 1), &block)))
        throw std::bad_alloc();
    list = static_cast<mapi::ADRLIST*>(block);
    list->cEntries = 0;
    for (const KeptProps& entry : *entries_) {
        mapi::LPSPropValue values = nullptr;
        if (entry.Get() &&
            mapi::FAILED(mapi::ScDupPropset(static_cast<int>(entry.Count()), entry.Get(),
                                            mapi::MAPIAllocateBuffer, &values))) {
            mapi::FreePadrlist(list);
            throw std::bad_alloc();
        }
        mapi::ADRENTRY& out = list->aEntries[list->cEntries++];
        out.ulReserved1 = 0;
        out.cValues = entry.Count();
        out.rgPropVals = values;
    }
    return list;
}

struct KeptNames::Storage {
    struct Name {
        std::optional<mapi::GUID> guid;
        std::u16string text;
    };
    std::vector<Name> names;
    std::vector<mapi::MAPINAMEID> ids;
    std::vector<mapi::LPMAPINAMEID> pointers;
    bool null = false;
};

KeptNames::KeptNames(mapi::ULONG count, const mapi::LPMAPINAMEID* names)
    : storage_(std::make_shared<Storage>()) {
    Storage& storage = *storage_;
    storage.null = names == nullptr;
    if (!names) return;
    storage.names.resize(count);
    storage.ids.resize(count);
    storage.pointers.resize(count);
    for (mapi::ULONG i = 0; i < count; ++i) {
        if (!names[i]) continue;
        Storage::Name& name = storage.names[i];
        mapi::MAPINAMEID& id = storage.ids[i];
        id = *names[i];
        if (names[i]->lpguid) name.guid = *names[i]->lpguid;
        id.lpguid = name.guid ? &*name.guid : nullptr;
        if (id.ulKind == mapi::MNID_STRING && names[i]->Kind.lpwstrName) {
            name.text = names[i]->Kind.lpwstrName;
            id.Kind.lpwstrName = name.text.data();
        }
        storage.pointers[i] = &id;
    }
}

mapi::LPMAPINAMEID* KeptNames::Get() const {
    return storage_->null ? nullptr : storage_->pointers.data();
}

struct KeptAdrParm::Storage {
    mapi::ADRPARM params;
    std::optional<KeptBytes> container;
    std::vector<KeptText> texts;
    std::vector<mapi::LPTSTR> destTitles;
    std::vector<mapi::ULONG> destComps;
    std::optional<KeptRestriction> contRestriction, hierRestriction;
};

bool KeptAdrParm::Playable(const mapi::ADRPARM* params) {
    return !params || (!params->lpfnABSDI && !params->lpfnDismiss && !params->lpReserved);
}

KeptAdrParm::KeptAdrParm(const mapi::ADRPARM* params) {
    if (!params) return;
    storage_ = std::make_shared<Storage>();
    Storage& storage = *storage_;
    mapi::ADRPARM& copy = storage.params;
    copy = *params;
    const bool unicode = (params->ulFlags & (mapi::MAPI_UNICODE | mapi::AB_UNICODEUI)) != 0;
    if (params->lpABContEntryID) {
        storage.container.emplace(params->lpABContEntryID, params->cbABContEntryID);
        copy.lpABContEntryID = storage.container->Entry();
    }
    // Every text first, then their pointers: the vector does not move once filled.
    storage.texts.reserve(4 + params->cDestFields);
    for (mapi::LPTSTR text : {params->lpszHelpFileName, params->lpszCaption,
                              params->lpszNewEntryTitle, params->lpszDestWellsTitle})
        storage.texts.emplace_back(text, unicode);
    if (params->lppszDestTitles)
        for (mapi::ULONG i = 0; i < params->cDestFields; ++i)
            storage.texts.emplace_back(params->lppszDestTitles[i], unicode);
    copy.lpszHelpFileName = storage.texts[0].Get();
    copy.lpszCaption = storage.texts[1].Get();
    copy.lpszNewEntryTitle = storage.texts[2].Get();
    copy.lpszDestWellsTitle = storage.texts[3].Get();
    if (params->lppszDestTitles) {
        for (std::size_t i = 4; i < storage.texts.size(); ++i)
            storage.destTitles.push_back(storage.texts[i].Get());
        copy.lppszDestTitles = storage.destTitles.data();
    }
    if (params->lpulDestComps) {
        storage.destComps.assign(params->lpulDestComps,
                                 params->lpulDestComps + params->cDestFields);
        copy.lpulDestComps = storage.destComps.data();
    }
    if (params->lpContRestriction) {
        storage.contRestriction.emplace(params->lpContRestriction);
        copy.lpContRestriction = storage.contRestriction->Get();
    }
    if (params->lpHierRestriction) {
        storage.hierRestriction.emplace(params->lpHierRestriction);
        copy.lpHierRestriction = storage.hierRestriction->Get();
    }
}

std::optional<mapi::ADRPARM> KeptAdrParm::Make() const {
    if (!storage_) return std::nullopt;
    return storage_->params;
}

}  // namespace sim

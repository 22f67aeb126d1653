// The call tape: while it runs, every call made into the simulator from outside it (a method, an
// entry point, AddRef and Release) is kept as a call that can be made again, with copies of its
// arguments and the result it had. Played against another organisation built by the same steps,
// the tape makes the same calls without the caller that first made them: benchmarks time that
// as the provider's own cost of an export's calls.
//
// Objects are named by their serial, the order they were made in since the last Reset: two
// organisations built by the same steps make their objects in the same order, so a serial names
// the same object in both, and an object a played call hands out gets the serial its original
// had. A method tapes itself right after its provider scope, before it enters the call, and only
// when Taping() says so: the lambda's copies are made where it is written.
//
//     if (Taping()) TapeCall(this, [tags = KeptTags(tags), flags](Table& table) {
//         return table.SetColumns(tags.Get(), flags);
//     });
//
// Out values the played call hands back are freed by the lambda; the objects it hands out are
// left to the taped Release that follows. A call entered from outside while taping by a method
// that keeps no such copy marks the tape incomplete, naming the method: it cannot be played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapi/mapi.h"

namespace sim {

class ObjectBase;

class CallTape {
  public:
    static constexpr std::size_t kNoObject = static_cast<std::size_t>(-1);
    struct Entry {
        std::size_t target = kNoObject;  // serial of the object called; kNoObject: entry point
        const std::string* method = nullptr;  // "IMAPITable::QueryRows", "Release", ...
        std::int64_t result = 0;              // HRESULT, or the count AddRef/Release returned
        // The call made again: play(again, object). The closure and the bytes it copied lie in
        // the tape's arena, one after the other in the order of the calls, as a caller's
        // arguments lie in its own memory, so that a play reads the tape straight through.
        void* again = nullptr;
        std::int64_t (*play)(void* again, ObjectBase* object) = nullptr;
        void (*destroy)(void* again) = nullptr;  // null for a closure that needs no destructor
    };
    CallTape();
    ~CallTape();
    CallTape(CallTape&& other) noexcept;
    CallTape& operator=(CallTape&& other) noexcept;
    CallTape(const CallTape&) = delete;
    CallTape& operator=(const CallTape&) = delete;

    const std::vector<Entry>& Entries() const { return entries_; }
    // Empty when every call was kept; else why the tape cannot be played.
    const std::string& Incomplete() const { return incomplete_; }

  private:
    friend struct TapeAccess;
    struct Arena;
    void Clear() noexcept;
    std::vector<Entry> entries_;
    std::string incomplete_;
    std::unique_ptr<Arena> arena_;
};

// Starts a new tape (the one running, if any, is dropped).
void StartTape();
// Stops taping and hands over what was taped.
CallTape StopTape();

// What playing a tape did: the calls made, those whose result differed from the taped one (the
// first described), the wall time of the whole play (the fresh copies of arguments some calls
// take included) and, with the Simulator timing itself (Simulator::TimeProvider), the time spent
// inside the simulator's methods and entry points.
struct TapePlay {
    std::size_t calls = 0;
    std::size_t diverged = 0;
    std::string firstDivergence;
    std::uint64_t nanoseconds = 0;
    std::uint64_t providerNanoseconds = 0;
};
// Plays the tape against the organisation as it is now; an incomplete tape plays nothing and
// reports its reason as a divergence.
TapePlay PlayTape(const CallTape& tape);

namespace detail {
// True when the call the calling method is in should be taped: taping runs and the call came
// from outside the simulator.
bool TapingOuterCall() noexcept;
// Room in the running tape's arena.
void* TapeAllocate(std::size_t size, std::size_t alignment);
// Appends a taped call; the next call entered from outside takes it as its own.
void TapeEntry(std::size_t target, void* again, std::int64_t (*play)(void*, ObjectBase*),
               void (*destroy)(void*));
template <class Again>
void TapeClosure(std::size_t target, Again again) {
    void* place = TapeAllocate(sizeof(Again), alignof(Again));
    auto* closure = new (place) Again(std::move(again));
    void (*destroy)(void*) = nullptr;
    if constexpr (!std::is_trivially_destructible_v<Again>)
        destroy = [](void* kept) { static_cast<Again*>(kept)->~Again(); };
    try {
        TapeEntry(
            target, closure,
            [](void* kept, ObjectBase* object) -> std::int64_t {
                return (*static_cast<Again*>(kept))(object);
            },
            destroy);
    } catch (...) {
        if (destroy) destroy(closure);
        throw;
    }
}
// For EnterCall: the index of the pending tape entry of the outer call entering now, after naming
// its method (or marking the tape incomplete when the method left none); npos when not taping.
std::size_t TakeTapeEntry(const std::string& method);
void SetTapeResult(std::size_t index, std::int64_t result);
// AddRef and Release from outside, which enter no call.
void TapeReference(const ObjectBase& object, bool release, std::int64_t count);
}  // namespace detail

// True when the call the calling method is in is to be taped.
inline bool Taping() noexcept { return detail::TapingOuterCall(); }

// Tapes the call the calling method of self is in (when Taping()); again(self) makes it again.
template <class Self, class Again>
void TapeCall(Self* self, Again again) {
    detail::TapeClosure(self->Serial(),
                        [again = std::move(again)](ObjectBase* object) mutable -> std::int64_t {
                            return again(*static_cast<Self*>(object));
                        });
}
// The same for an entry point.
template <class Again>
void TapeFunction(Again again) {
    detail::TapeClosure(CallTape::kNoObject,
                        [again = std::move(again)](ObjectBase*) mutable -> std::int64_t {
                            return again();
                        });
}

// Copies of arguments, as the lambdas keep them. Each gives back a pointer of the type the
// method takes (null where the caller passed null) that stays valid as long as the copy.

// An entry id or any other counted binary, copied into the tape's arena.
class KeptBytes {
  public:
    KeptBytes(const void* data, mapi::ULONG size);
    mapi::ULONG Size() const { return size_; }
    mapi::LPENTRYID Entry() const;
    const void* Data() const { return data_; }

  private:
    std::uint8_t* data_ = nullptr;
    mapi::ULONG size_ = 0;
};

// A list of entry ids (DeleteMessages).
class KeptEntryList {
  public:
    explicit KeptEntryList(const mapi::ENTRYLIST* list);
    mapi::LPENTRYLIST Get() const { return list_.get(); }

  private:
    struct Storage;
    std::shared_ptr<mapi::ENTRYLIST> list_;
};

// A string argument whose width the call's flags choose (LPTSTR).
class KeptText {
  public:
    KeptText(mapi::LPTSTR text, bool unicode);
    mapi::LPTSTR Get() const;

  private:
    std::optional<std::u16string> wide_;
    std::optional<std::string> narrow_;
};

class KeptIid {
  public:
    explicit KeptIid(mapi::LPCIID iid);
    mapi::LPCIID Get() const { return iid_ ? &*iid_ : nullptr; }

  private:
    std::optional<mapi::IID> iid_;
};

class KeptTags {
  public:
    explicit KeptTags(const mapi::SPropTagArray* tags);
    mapi::LPSPropTagArray Get() const { return tags_.get(); }

  private:
    std::shared_ptr<mapi::SPropTagArray> tags_;
};

// Property values (ScDupPropset's copy in one MAPI buffer).
class KeptProps {
  public:
    KeptProps(mapi::ULONG count, const mapi::SPropValue* values);
    mapi::ULONG Count() const { return count_; }
    mapi::LPSPropValue Get() const { return values_.get(); }

  private:
    mapi::ULONG count_ = 0;
    std::shared_ptr<mapi::SPropValue> values_;
};

// A restriction with everything it points to in one MAPI buffer.
class KeptRestriction {
  public:
    explicit KeptRestriction(const mapi::SRestriction* restriction);
    mapi::LPSRestriction Get() const { return restriction_.get(); }

  private:
    std::shared_ptr<mapi::SRestriction> restriction_;
};

// An address list. A method may replace the values of its entries or the list itself, so each
// played call gets a fresh list in MAPI buffers, freed with FreePadrlist.
class KeptAdrList {
  public:
    explicit KeptAdrList(const mapi::ADRLIST* list);
    // Null for a null list.
    mapi::LPADRLIST Make() const;

  private:
    std::optional<std::vector<KeptProps>> entries_;
};

// The names of GetIDsFromNames.
class KeptNames {
  public:
    KeptNames(mapi::ULONG count, const mapi::LPMAPINAMEID* names);
    mapi::LPMAPINAMEID* Get() const;

  private:
    struct Storage;
    std::shared_ptr<Storage> storage_;
};

// The parameters of IAddrBook::Address. Callbacks into the caller (lpfnABSDI, lpfnDismiss)
// cannot be called without it: such a call is not taped.
class KeptAdrParm {
  public:
    explicit KeptAdrParm(const mapi::ADRPARM* params);
    static bool Playable(const mapi::ADRPARM* params);
    // A copy of the parameters for one played call; null for null.
    std::optional<mapi::ADRPARM> Make() const;

  private:
    struct Storage;
    std::shared_ptr<Storage> storage_;
};

// The taping of the methods that several interfaces share.
template <class Self>
void TapeOpenEntry(Self* self, mapi::ULONG cb, mapi::LPENTRYID id, mapi::LPCIID iid,
                   mapi::ULONG flags) {
    TapeCall(self, [id = KeptBytes(id, cb), iid = KeptIid(iid), flags](Self& object) {
        mapi::ULONG type = 0;
        mapi::LPUNKNOWN out = nullptr;  // released by the taped Release
        return object.OpenEntry(id.Size(), id.Entry(), iid.Get(), flags, &type, &out);
    });
}
template <class Self>
void TapeCompareEntryIDs(Self* self, mapi::ULONG cb1, mapi::LPENTRYID id1, mapi::ULONG cb2,
                         mapi::LPENTRYID id2, mapi::ULONG flags) {
    TapeCall(self, [id1 = KeptBytes(id1, cb1), id2 = KeptBytes(id2, cb2), flags](Self& object) {
        mapi::ULONG result = 0;
        return object.CompareEntryIDs(id1.Size(), id1.Entry(), id2.Size(), id2.Entry(), flags,
                                      &result);
    });
}

}  // namespace sim

// The base of every simulated COM object: reference counting with accounting in the Simulator,
// QueryInterface over the interface ids an object implements, and Enter, the first step of every
// method, which records the call, applies injected faults and refuses calls on objects that can
// no longer be used.
//
// Lifetime. Objects are made with MakeObject and are owned by the Simulator, never deleted by
// their last Release: an object whose count reaches zero runs OnFinalRelease (which drops what it
// holds: references, pending changes) and stays behind as an inert zombie until Simulator::Reset,
// so a further Release is counted as a double release instead of touching freed memory. Objects
// still referenced at a Reset become stale: they stay allocated for the rest of the process and
// answer every call with MAPI_E_OBJECT_DELETED.
//
// A method body reads:
//
//     HRESULT MAPI_CALL Table::GetRowCount(ULONG flags, ULONG* count) {
//         auto call = Enter("GetRowCount", {{"flags", ArgHex(flags)}});
//         if (!call) return call.Result();
//         ...
//         return call.Return(S_OK);
//     }
//
// Enter composes the recorded method name from the object's interface name ("IMAPITable") and
// the method name; EnterMethod takes a full name. With an out pointer, Enter nulls it when the
// call is stopped, which is how a fault with nullOut hands out no object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mapi/mapi.h"
#include "sim/call_tape.h"
#include "sim/model.h"
#include "sim/simulator.h"

namespace sim {

// An argument as a method passes it to Enter: a view of the caller's value that copies and
// renders nothing. Enter turns it into a CallValue only when calls are recorded, while the
// caller's value is still there; a run that records nothing pays for no argument.
class ArgView {
  public:
    enum class Kind : std::uint8_t { Null, Hex, Dec, Bytes, Utf16, TStr, Tags, Iid, Text, Later };
    // Text rendered by the caller (a description with no view of its own).
    ArgView(std::string text) : kind_(Kind::Text), text_(std::move(text)) {}  // NOLINT
    ArgView(const char* text) : kind_(Kind::Text), text_(text) {}             // NOLINT
    ArgView(Kind kind, std::int64_t number, const void* data = nullptr, std::size_t size = 0)
        : kind_(kind), number_(number), data_(data), size_(size) {}
    ArgView(const void* data, std::string (*render)(const void*))
        : kind_(Kind::Later), data_(data), render_(render) {}
    // The value to record.
    CallValue Value() const;

  private:
    Kind kind_;
    std::int64_t number_ = 0;  // Hex, Dec; TStr: nonzero when unicode
    const void* data_ = nullptr;
    std::size_t size_ = 0;
    std::string text_;
    std::string (*render_)(const void*) = nullptr;
};

inline ArgView ArgNull() { return {ArgView::Kind::Null, 0}; }
inline ArgView ArgHex(std::uint32_t value) { return {ArgView::Kind::Hex, value}; }
inline ArgView ArgDec(std::int64_t value) { return {ArgView::Kind::Dec, value}; }
// A binary; a null pointer with a nonzero size is recorded as null, with size 0 as empty.
inline ArgView ArgBytes(const void* data, std::size_t size) {
    return {ArgView::Kind::Bytes, 0, data, size};
}
inline ArgView ArgBytes(const Bytes& bytes) { return ArgBytes(bytes.data(), bytes.size()); }
inline ArgView ArgText(std::u16string_view text) {
    return {ArgView::Kind::Utf16, 0, text.data(), text.size()};
}
// An LPTSTR argument: UTF-16 when unicode, else 8-bit in the system code page; null for null.
inline ArgView ArgTStr(mapi::LPTSTR text, bool unicode) {
    return {ArgView::Kind::TStr, unicode ? 1 : 0,
            unicode ? static_cast<const void*>(text.w()) : static_cast<const void*>(text.a())};
}
inline ArgView ArgTags(const mapi::SPropTagArray* tags) { return {ArgView::Kind::Tags, 0, tags}; }
inline ArgView ArgIid(const mapi::IID* iid) { return {ArgView::Kind::Iid, 0, iid}; }
// A description rendered only when the call is recorded: Render(value) as the argument's text.
template <class T, std::string (*Render)(const T*)>
ArgView ArgLater(const T* value) {
    return {value, [](const void* data) { return Render(static_cast<const T*>(data)); }};
}

struct NamedArg {
    const char* name = nullptr;
    ArgView value;
};
using CallArgs = std::initializer_list<NamedArg>;

// One call in progress. False when the call was stopped before its body (fault, released or
// deleted object); Result() is then what the method returns, already recorded.
class Call {
  public:
    Call() = default;
    explicit operator bool() const { return proceed_; }
    bool NullOut() const { return nullOut_; }
    mapi::HRESULT Result() const { return result_; }
    // The warning a fault asked for (MAPI_W_ERRORS_RETURNED, say), 0 for none: the call goes
    // through and reports the warning instead of S_OK.
    mapi::HRESULT Warning() const { return warning_; }
    // Records hr as the call's result and returns it (a success becomes the warning, if any).
    mapi::HRESULT Return(mapi::HRESULT hr);
    // Adds an argument to the record after the call was entered (an out value, say).
    void AddArg(const char* name, const ArgView& value);

  private:
    friend Call EnterCall(const std::string& method, const std::string& object, CallArgs args,
                          mapi::HRESULT refusal);
    std::size_t index_ = 0;
    std::uint64_t records_ = 0;  // the record generation the index belongs to
    std::size_t tape_ = static_cast<std::size_t>(-1);  // its entry on the call tape, if taped
    bool proceed_ = false;
    bool nullOut_ = false;
    mapi::HRESULT result_ = 0;
    mapi::HRESULT warning_ = 0;
};

// MAPI providers throw nothing across their interfaces, and neither does the simulation: every
// method and entry point runs its body in a function-try-block whose handler answers with this,
// from inside the handler: MAPI_E_NOT_ENOUGH_MEMORY for std::bad_alloc (the simulator's own
// containers out of memory), MAPI_E_CALL_FAILED for anything else.
mapi::HRESULT ProviderFailure() noexcept;

// Marks the simulation's own work on the calling thread, from the first statement of every method
// and entry point: a real provider allocates from a heap of its own, so test programs that make
// the library's allocations fail at chosen points leave the allocations made in here alone.
class ProviderScope {
  public:
    ProviderScope() noexcept;
    ~ProviderScope();
    ProviderScope(const ProviderScope&) = delete;
    ProviderScope& operator=(const ProviderScope&) = delete;
};
// True while a call into the simulation runs on this thread.
bool InProvider() noexcept;
namespace detail {
// True once the call from outside the simulation that runs now has entered (EnterCall): the
// calls it makes inside the simulation are its own work, not calls of their own.
bool OuterCallEntered() noexcept;
}  // namespace detail

// Enters a call. refusal, when failing, stops the call with that result before any fault is
// applied; otherwise the first matching fault that fires stops it.
Call EnterCall(const std::string& method, const std::string& object, CallArgs args,
               mapi::HRESULT refusal = 0);

// Enters a call of an entry point (MAPILogonEx, ...); such calls have no object label.
inline Call EnterFunction(const std::string& method, CallArgs args = {}) {
    return EnterCall(method, std::string(), args);
}

class ObjectBase {
  public:
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;
    virtual ~ObjectBase() = default;

    const std::string& Label() const { return label_; }
    const char* InterfaceName() const { return interfaceName_; }
    mapi::ULONG RefCount() const { return refs_; }
    // The order the object was made in since the Simulator's last Reset, from 0.
    std::size_t Serial() const { return serial_; }
    bool Released() const { return released_; }
    // True after a Reset that found this object still referenced.
    bool Stale() const;

  protected:
    ObjectBase(const char* interfaceName, std::string label, std::vector<mapi::IID> iids);

    // Runs once, when the last reference goes: drop every reference and pending change held.
    virtual void OnFinalRelease() {}
    // True when the model object behind this object no longer exists.
    virtual bool ModelObjectDeleted() const { return false; }

    Call Enter(std::string_view method, CallArgs args = {}) {
        return EnterMethod(QualifiedName(method), args);
    }
    template <class T>
    Call Enter(std::string_view method, CallArgs args, T** out) {
        Call call = Enter(method, args);
        if (!call && out) *out = nullptr;
        return call;
    }
    Call EnterMethod(const std::string& method, CallArgs args = {});
    // "IMAPITable::QueryRows"; the names are made once per interface and method and kept.
    const std::string& QualifiedName(std::string_view method) const;

    mapi::ULONG AddRefImpl();
    mapi::ULONG ReleaseImpl();
    bool Implements(const mapi::IID& iid) const;
    void SetLabel(std::string label) { label_ = std::move(label); }

  private:
    friend class ObjectAccess;
    mapi::ULONG ReleaseOnce();
    const char* interfaceName_;
    std::string label_;
    std::vector<mapi::IID> iids_;
    mapi::ULONG refs_ = 1;
    bool released_ = false;
    std::uint64_t generation_ = 0;
    std::size_t serial_ = 0;
};

// What the Simulator's own bookkeeping reaches inside an object.
class ObjectAccess {
  public:
    static void SetSerial(ObjectBase& object, std::size_t serial) { object.serial_ = serial; }
    // AddRef and Release as a caller outside the simulation makes them.
    static mapi::ULONG AddRef(ObjectBase& object) { return object.AddRefImpl(); }
    static mapi::ULONG Release(ObjectBase& object) { return object.ReleaseImpl(); }
};

// A simulated object implementing Interface (and the interfaces it derives from, as listed in
// iids). QueryInterface for another id asks QueryOther, which by default answers E_NOINTERFACE.
template <class Interface>
class ComObject : public Interface, public ObjectBase {
  public:
    mapi::HRESULT MAPI_CALL QueryInterface(mapi::REFIID riid, void** out) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [iid = riid](ComObject& self) {
            void* out = nullptr;  // released by the taped Release
            return self.QueryInterface(iid, &out);
        });
        auto call = Enter("QueryInterface", {{"iid", ArgIid(&riid)}}, out);
        if (!call) return call.Result();
        if (!out) return call.Return(mapi::E_INVALIDARG);
        *out = nullptr;
        if (Implements(riid)) {
            AddRefImpl();
            *out = static_cast<Interface*>(this);
            return call.Return(mapi::S_OK);
        }
        return call.Return(QueryOther(riid, out));
    } catch (...) {
        return ProviderFailure();
    }
    mapi::ULONG MAPI_CALL AddRef() override { return AddRefImpl(); }
    mapi::ULONG MAPI_CALL Release() override { return ReleaseImpl(); }

    Interface* Get() { return this; }

  protected:
    ComObject(const char* interfaceName, std::string label, std::vector<mapi::IID> iids)
        : ObjectBase(interfaceName, std::move(label), std::move(iids)) {}

    // QueryInterface for an id outside the object's own list; *out is null on entry.
    virtual mapi::HRESULT QueryOther(const mapi::IID& /*riid*/, void** /*out*/) {
        return mapi::E_NOINTERFACE;
    }

    // GetLastError of an object that keeps no extended error information: recorded, and
    // answered with S_OK and no MAPIERROR.
    mapi::HRESULT NoExtendedError(mapi::HRESULT hr, mapi::ULONG flags, mapi::LPMAPIERROR* error) {
        auto call = Enter(
            "GetLastError",
            {{"result", ArgHex(static_cast<mapi::ULONG>(hr))}, {"flags", ArgHex(flags)}}, error);
        if (!call) return call.Result();
        if (!error) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *error = nullptr;
        return call.Return(mapi::S_OK);
    }

    // A method the simulation does not offer: recorded, and answered with MAPI_E_NO_SUPPORT.
    mapi::HRESULT Unsupported(const char* method) try {
        const ProviderScope inProvider;
        auto call = Enter(method);
        if (!call) return call.Result();
        return call.Return(mapi::MAPI_E_NO_SUPPORT);
    } catch (...) {
        return ProviderFailure();
    }
};

// The Simulator's side of the objects and calls (simulator.cpp).
namespace detail {
void AdoptObject(std::unique_ptr<ObjectBase> object);
// The object made serial-th since the last Reset; null when there is none.
ObjectBase* ObjectWithSerial(std::size_t serial);
std::uint64_t Generation();
void NoteDoubleRelease(const ObjectBase& object);
// The object's last Release: it is now a zombie, one that Simulator::FreeReleased frees.
void NoteFinalRelease(const ObjectBase& object);
void NoteCallOnReleased(const ObjectBase& object);
// Appends a record and returns its index; records() is the generation of the record list.
bool RecordingCalls();
bool TimingProvider() noexcept;
void AddProviderTime(std::uint64_t nanoseconds) noexcept;
// Counts a call; while recording, appends a record (the arguments added afterwards).
std::size_t BeginCall(const std::string& method, const std::string& object,
                      std::uint64_t* records);
void EndCall(std::size_t index, std::uint64_t records, mapi::HRESULT result);
void AddCallArg(std::size_t index, std::uint64_t records, const char* name,
                const ArgView& value);
// The first fault matching the call that fires (nth counting included), or none.
const Fault* FireFault(const std::string& method, const std::string& object);
}  // namespace detail

// Makes an object owned by the Simulator and returns the first reference to it.
template <class T, class... Args>
mapi::ComPtr<T> MakeObject(Args&&... args) {
    auto owned = std::unique_ptr<T>(new T(std::forward<Args>(args)...));
    T* object = owned.get();
    // Adopted before any reference exists: an adoption that throws frees an object nobody holds.
    detail::AdoptObject(std::move(owned));
    mapi::ComPtr<T> result;
    result.Attach(object);
    return result;
}

// Hands a reference to an out parameter of another interface type (LPUNKNOWN*, LPMAPITABLE*).
template <class Out, class T>
void HandOut(mapi::ComPtr<T> object, Out** out) {
    *out = object.Detach();
}

}  // namespace sim

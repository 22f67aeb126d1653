#include "sim/object_base.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <new>
#include <unordered_map>

#include "platform/code_page.h"
#include "sim/call_tape.h"
#include "sim/sim_text.h"

namespace sim {

namespace {
thread_local int t_providerDepth = 0;
thread_local std::int64_t t_enteredAt = 0;  // steady clock, nanoseconds
// The call from outside has entered; what it calls inside the simulation are not its own.
thread_local bool t_outerEntered = false;

std::int64_t SteadyNanoseconds() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

ProviderScope::ProviderScope() noexcept {
    if (t_providerDepth++ == 0 && detail::TimingProvider()) t_enteredAt = SteadyNanoseconds();
}
ProviderScope::~ProviderScope() {
    if (--t_providerDepth > 0) return;
    t_outerEntered = false;
    if (detail::TimingProvider())
        detail::AddProviderTime(static_cast<std::uint64_t>(SteadyNanoseconds() - t_enteredAt));
}
bool InProvider() noexcept { return t_providerDepth > 0; }
bool detail::OuterCallEntered() noexcept { return t_outerEntered; }

mapi::HRESULT ProviderFailure() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return mapi::MAPI_E_CALL_FAILED;
    }
}

namespace {

std::vector<std::uint32_t> TagList(const mapi::SPropTagArray* tags) {
    return {tags->aulPropTag, tags->aulPropTag + tags->cValues};
}

CallValue::Iid IidBytes(const mapi::IID* iid) {
    CallValue::Iid bytes{};
    std::memcpy(bytes.data(), iid, bytes.size());
    return bytes;
}

}  // namespace

CallValue ArgView::Value() const {
    switch (kind_) {
        case Kind::Null:
            return {};
        case Kind::Hex:
            return CallValue::Hex(static_cast<std::uint32_t>(number_));
        case Kind::Dec:
            return CallValue::Dec(number_);
        case Kind::Bytes: {
            if (!data_) return size_ ? CallValue() : CallValue::Binary({});
            auto bytes = static_cast<const std::uint8_t*>(data_);
            return CallValue::Binary(Bytes(bytes, bytes + size_));
        }
        case Kind::Utf16:
            return CallValue::Text(
                ToUtf8(std::u16string_view(static_cast<const char16_t*>(data_), size_)));
        case Kind::TStr:
            if (!data_) return {};
            return CallValue::Text(number_ ? ToUtf8(static_cast<const char16_t*>(data_))
                                           : From8Bit(static_cast<const char*>(data_)));
        case Kind::Tags:
            if (!data_) return {};
            return CallValue::Tags(TagList(static_cast<const mapi::SPropTagArray*>(data_)));
        case Kind::Iid:
            if (!data_) return {};
            return CallValue::InterfaceId(IidBytes(static_cast<const mapi::IID*>(data_)));
        case Kind::Text:
            return CallValue::Text(text_);
        case Kind::Later:
            return CallValue::Text(render_(data_));
    }
    return {};
}

mapi::HRESULT Call::Return(mapi::HRESULT hr) {
    if (warning_ && hr == mapi::S_OK) hr = warning_;
    result_ = hr;
    detail::EndCall(index_, records_, hr);
    if (tape_ != static_cast<std::size_t>(-1)) detail::SetTapeResult(tape_, hr);
    return hr;
}

void Call::AddArg(const char* name, const ArgView& value) {
    detail::AddCallArg(index_, records_, name, value);
}

Call EnterCall(const std::string& method, const std::string& object, CallArgs args,
               mapi::HRESULT refusal) {
    Call call;
    call.index_ = detail::BeginCall(method, object, &call.records_);
    if (!t_outerEntered) {
        t_outerEntered = true;
        call.tape_ = detail::TakeTapeEntry(method);
    }
    if (call.records_)
        for (const NamedArg& arg : args) detail::AddCallArg(call.index_, call.records_, arg.name, arg.value);
    if (mapi::FAILED(refusal)) {
        call.Return(refusal);
        return call;
    }
    if (const Fault* fault = detail::FireFault(method, object)) {
        if (!fault->nullOut && fault->result > 0) {
            call.warning_ = fault->result;
            call.proceed_ = true;
            return call;
        }
        call.nullOut_ = fault->nullOut;
        call.Return(fault->result);
        return call;
    }
    call.proceed_ = true;
    return call;
}

ObjectBase::ObjectBase(const char* interfaceName, std::string label, std::vector<mapi::IID> iids)
    : interfaceName_(interfaceName),
      label_(std::move(label)),
      iids_(std::move(iids)),
      generation_(detail::Generation()) {}

bool ObjectBase::Stale() const {
    return generation_ != detail::Generation();
}

const std::string& ObjectBase::QualifiedName(std::string_view method) const {
    // By interface (its name is a literal of the objects' code, one pointer per interface),
    // then by method name.
    static std::unordered_map<const char*, std::map<std::string, std::string, std::less<>>> names;
    auto& methods = names[interfaceName_];
    auto found = methods.find(method);
    if (found == methods.end()) {
        std::string name = std::string(interfaceName_) + "::" + std::string(method);
        found = methods.emplace(std::string(method), std::move(name)).first;
    }
    return found->second;
}

Call ObjectBase::EnterMethod(const std::string& method, CallArgs args) {
    mapi::HRESULT refusal = 0;
    // A stale or deleted object is refused alike, but a released one takes precedence over a
    // deleted model object.
    // NOLINTNEXTLINE(bugprone-branch-clone)
    if (Stale()) {
        refusal = mapi::MAPI_E_OBJECT_DELETED;
    } else if (released_) {
        detail::NoteCallOnReleased(*this);
        refusal = mapi::MAPI_E_INVALID_OBJECT;
    } else if (ModelObjectDeleted()) {
        refusal = mapi::MAPI_E_OBJECT_DELETED;
    }
    return EnterCall(method, label_, args, refusal);
}

mapi::ULONG ObjectBase::AddRefImpl() {
    mapi::ULONG refs = 0;
    if (released_) {
        if (!Stale()) detail::NoteCallOnReleased(*this);
    } else {
        refs = ++refs_;
    }
    detail::TapeReference(*this, false, refs);
    return refs;
}

mapi::ULONG ObjectBase::ReleaseImpl() {
    const mapi::ULONG refs = ReleaseOnce();
    detail::TapeReference(*this, true, refs);
    return refs;
}

mapi::ULONG ObjectBase::ReleaseOnce() {
    if (released_ || refs_ == 0) {
        if (!Stale()) detail::NoteDoubleRelease(*this);
        return 0;
    }
    if (--refs_ > 0) return refs_;
    released_ = true;
    if (!Stale()) detail::NoteFinalRelease(*this);
    // A stale object's model is gone; it keeps what it holds rather than touch it. Release
    // cannot fail: what the final release could not finish is dropped.
    try {
        const ProviderScope inProvider;
        if (!Stale()) OnFinalRelease();
    } catch (...) {
    }
    return 0;
}

bool ObjectBase::Implements(const mapi::IID& iid) const {
    return iid == mapi::IID_IUnknown || std::find(iids_.begin(), iids_.end(), iid) != iids_.end();
}

}  // namespace sim

#include "sim/object_base.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/code_page.h"
#include "sim/sim_text.h"

namespace sim {

namespace {
thread_local int t_providerDepth = 0;
}  // namespace

ProviderScope::ProviderScope() noexcept { ++t_providerDepth; }
ProviderScope::~ProviderScope() { --t_providerDepth; }
bool InProvider() noexcept { return t_providerDepth > 0; }

mapi::HRESULT ProviderFailure() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return mapi::MAPI_E_CALL_FAILED;
    }
}

std::string ArgHex(std::uint32_t value) {
    return Hex32(value);
}

std::string ArgDec(std::int64_t value) {
    return std::to_string(value);
}

std::string ArgBytes(const void* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    if (!data) return size ? "null" : "";
    auto bytes = static_cast<const std::uint8_t*>(data);
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0xF]);
    }
    return text;
}

std::string ArgBytes(const Bytes& bytes) {
    return ArgBytes(bytes.data(), bytes.size());
}

std::string ArgText(std::u16string_view text) {
    return ToUtf8(text);
}

std::string ArgTStr(mapi::LPTSTR text, bool unicode) {
    if (!text) return "null";
    if (unicode) return ToUtf8(text.w());
    return From8Bit(text.a());
}

std::string ArgTags(const mapi::SPropTagArray* tags) {
    if (!tags) return "null";
    std::string text;
    for (mapi::ULONG i = 0; i < tags->cValues; ++i) {
        if (i) text += ',';
        text += ArgHex(tags->aulPropTag[i]);
    }
    return text;
}

std::string ArgIid(const mapi::IID* iid) {
    if (!iid) return "null";
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  iid->Data1, iid->Data2, iid->Data3, iid->Data4[0], iid->Data4[1], iid->Data4[2],
                  iid->Data4[3], iid->Data4[4], iid->Data4[5], iid->Data4[6], iid->Data4[7]);
    return text;
}

mapi::HRESULT Call::Return(mapi::HRESULT hr) {
    if (warning_ && hr == mapi::S_OK) hr = warning_;
    result_ = hr;
    detail::EndCall(index_, records_, hr);
    return hr;
}

void Call::AddArg(std::string name, std::string value) {
    detail::AddCallArg(index_, records_, std::move(name), std::move(value));
}

// args is taken by value: its names and values are moved into the record.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
Call EnterCall(std::string method, std::string object, CallArgs args, mapi::HRESULT refusal) {
    CallRecord record;
    record.method = std::move(method);
    record.object = std::move(object);
    if (detail::RecordingCalls())
        for (auto& [name, value] : args) record.args[std::move(name)] = std::move(value);
    Call call;
    std::string methodName = record.method;
    std::string objectLabel = record.object;
    call.index_ = detail::BeginCall(std::move(record), &call.records_);
    if (mapi::FAILED(refusal)) {
        call.Return(refusal);
        return call;
    }
    if (const Fault* fault = detail::FireFault(methodName, objectLabel)) {
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

std::string ObjectBase::QualifiedName(std::string_view method) const {
    std::string name = interfaceName_;
    name += "::";
    name += method;
    return name;
}

Call ObjectBase::EnterMethod(std::string method, CallArgs args) {
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
    return EnterCall(std::move(method), label_, std::move(args), refusal);
}

mapi::ULONG ObjectBase::AddRefImpl() {
    if (released_) {
        if (!Stale()) detail::NoteCallOnReleased(*this);
        return 0;
    }
    return ++refs_;
}

mapi::ULONG ObjectBase::ReleaseImpl() {
    if (released_ || refs_ == 0) {
        if (!Stale()) detail::NoteDoubleRelease(*this);
        return 0;
    }
    if (--refs_ > 0) return refs_;
    released_ = true;
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

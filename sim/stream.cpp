#include "sim/stream.h"

#include <algorithm>
#include <cstring>

#include "sim/object_base.h"
#include "sim/sim_text.h"
#include "sim/props.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

constexpr HRESULT kStgInvalidFunction = mapi::MakeResult(0x80030001);
constexpr HRESULT kStgAccessDenied = mapi::MakeResult(0x80030005);
constexpr HRESULT kStgInvalidPointer = mapi::MakeResult(0x80030009);
constexpr mapi::DWORD kStgTypeStream = 2;

class PropertyStream final : public ComObject<mapi::IStream> {
  public:
    PropertyStream(ULONG tag, Bytes initial, bool writable, PropertySink sink)
        : ComObject("IStream", "stream:" + Hex32(tag),
                    {mapi::IID_ISequentialStream, mapi::IID_IStream}),
          tag_(tag),
          bytes_(std::move(initial)),
          writable_(writable),
          sink_(std::move(sink)) {}

    HRESULT MAPI_CALL Read(void* data, ULONG cb, ULONG* read) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [cb](PropertyStream& self) {
            std::vector<std::uint8_t> data(cb);
            ULONG read = 0;
            return self.Read(data.data(), cb, &read);
        });
        auto call = Enter("Read", {{"cb", ArgDec(cb)}});
        if (!call) return call.Result();
        if (!data && cb) return call.Return(kStgInvalidPointer);
        std::size_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
        std::size_t n = std::min<std::size_t>(cb, available);
        if (n) std::memcpy(data, bytes_.data() + position_, n);
        position_ += n;
        if (read) *read = static_cast<ULONG>(n);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Write(const void* data, ULONG cb, ULONG* written) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [bytes = KeptBytes(data, cb)](PropertyStream& self) {
            ULONG written = 0;
            return self.Write(bytes.Data(), bytes.Size(), &written);
        });
        auto call = Enter("Write", {{"cb", ArgDec(cb)}, {"bytes", ArgBytes(data, cb)}});
        if (!call) return call.Result();
        if (written) *written = 0;
        if (!data && cb) return call.Return(kStgInvalidPointer);
        if (!writable_) return call.Return(kStgAccessDenied);
        if (bytes_.size() < position_ + cb) bytes_.resize(position_ + cb);
        if (cb) std::memcpy(bytes_.data() + position_, data, cb);
        position_ += cb;
        dirty_ = true;
        if (written) *written = cb;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Seek(mapi::LARGE_INTEGER move, mapi::DWORD origin,
                           mapi::ULARGE_INTEGER* newPosition) override try {
        const ProviderScope inProvider;
        auto call = Enter("Seek", {{"move", ArgDec(move.QuadPart)}, {"origin", ArgDec(origin)}});
        if (!call) return call.Result();
        std::int64_t base = origin == mapi::STREAM_SEEK_SET   ? 0
                            : origin == mapi::STREAM_SEEK_CUR ? static_cast<std::int64_t>(position_)
                            : origin == mapi::STREAM_SEEK_END
                                ? static_cast<std::int64_t>(bytes_.size())
                                : -1;
        if (base < 0) return call.Return(kStgInvalidFunction);
        std::int64_t target = base + move.QuadPart;
        if (target < 0) return call.Return(kStgInvalidFunction);
        position_ = static_cast<std::size_t>(target);
        if (newPosition) newPosition->QuadPart = position_;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL SetSize(mapi::ULARGE_INTEGER size) override try {
        const ProviderScope inProvider;
        auto call = Enter("SetSize", {{"size", ArgDec(static_cast<std::int64_t>(size.QuadPart))}});
        if (!call) return call.Result();
        if (!writable_) return call.Return(kStgAccessDenied);
        bytes_.resize(static_cast<std::size_t>(size.QuadPart));
        dirty_ = true;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL CopyTo(mapi::IStream* target, mapi::ULARGE_INTEGER cb,
                             mapi::ULARGE_INTEGER* read, mapi::ULARGE_INTEGER* written) override try {
        const ProviderScope inProvider;
        auto call = Enter("CopyTo", {{"cb", ArgDec(static_cast<std::int64_t>(cb.QuadPart))}});
        if (!call) return call.Result();
        if (!target) return call.Return(kStgInvalidPointer);
        std::size_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
        auto n = static_cast<ULONG>(std::min<std::uint64_t>(cb.QuadPart, available));
        ULONG done = 0;
        HRESULT hr = target->Write(bytes_.data() + position_, n, &done);
        position_ += n;
        if (read) read->QuadPart = n;
        if (written) written->QuadPart = done;
        return call.Return(hr);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Commit(mapi::DWORD flags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](PropertyStream& self) { return self.Commit(flags); });
        auto call = Enter("Commit", {{"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        Flush();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Revert() override try {
        const ProviderScope inProvider;
        auto call = Enter("Revert");
        if (!call) return call.Result();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL LockRegion(mapi::ULARGE_INTEGER, mapi::ULARGE_INTEGER, mapi::DWORD) override try {
        const ProviderScope inProvider;
        auto call = Enter("LockRegion");
        if (!call) return call.Result();
        return call.Return(kStgInvalidFunction);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL UnlockRegion(mapi::ULARGE_INTEGER, mapi::ULARGE_INTEGER,
                                   mapi::DWORD) override try {
        const ProviderScope inProvider;
        auto call = Enter("UnlockRegion");
        if (!call) return call.Result();
        return call.Return(kStgInvalidFunction);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Stat(mapi::STATSTG* stat, mapi::DWORD flags) override try {
        const ProviderScope inProvider;
        auto call = Enter("Stat", {{"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (!stat) return call.Return(kStgInvalidPointer);
        std::memset(stat, 0, sizeof *stat);
        stat->type = kStgTypeStream;
        stat->cbSize.QuadPart = bytes_.size();
        stat->grfMode = writable_ ? mapi::STGM_READWRITE : mapi::STGM_READ;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL Clone(mapi::IStream** clone) override try {
        const ProviderScope inProvider;
        auto call = Enter("Clone", {}, clone);
        if (!call) return call.Result();
        if (clone) *clone = nullptr;
        return call.Return(mapi::E_NOTIMPL);
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    void OnFinalRelease() override {
        Flush();
        sink_ = nullptr;
    }

  private:
    void Flush() {
        if (!writable_ || !dirty_ || !sink_) return;
        sink_(tag_, PropertyFromStreamBytes(tag_, bytes_));
        dirty_ = false;
    }

    ULONG tag_;
    Bytes bytes_;
    std::size_t position_ = 0;
    bool writable_;
    bool dirty_ = false;
    PropertySink sink_;
};

}  // namespace

Bytes StreamBytesOf(const PropValue& value) {
    if (auto* text = std::get_if<std::u16string>(&value)) {
        Bytes bytes;
        for (char16_t unit : *text) {
            bytes.push_back(static_cast<std::uint8_t>(unit));
            bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        return bytes;
    }
    if (auto* text = std::get_if<std::string>(&value)) return Bytes(text->begin(), text->end());
    if (auto* bytes = std::get_if<Bytes>(&value)) return *bytes;
    return {};
}

PropValue PropertyFromStreamBytes(ULONG tag, const Bytes& bytes) {
    switch (mapi::PROP_TYPE(tag)) {
        case mapi::PT_UNICODE: {
            std::u16string text;
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
                text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
            }
            while (!text.empty() && text.back() == 0) text.pop_back();
            return text;
        }
        case mapi::PT_STRING8: {
            std::string text(bytes.begin(), bytes.end());
            while (!text.empty() && text.back() == 0) text.pop_back();
            return text;
        }
        default:
            return bytes;
    }
}

mapi::ComPtr<mapi::IStream> MakePropertyStream(ULONG tag, Bytes initial, bool writable,
                                               PropertySink sink) {
    return MakeObject<PropertyStream>(tag, std::move(initial), writable, std::move(sink));
}

}  // namespace sim

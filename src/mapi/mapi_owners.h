// Owners of MAPI resources: interface references (ComPtr), MAPI buffers (MapiBuffer), row sets
// (RowSetPtr) and address lists (AdrListPtr). Each frees what it holds exactly once, with the
// call MAPI prescribes for it, when it is reset or destroyed. Declaring owners in the order the
// resources are obtained releases them in reverse order on every path.
//
// Out-parameters: Put() frees what the owner holds and returns the address MAPI writes the new
// resource to, typed as the call expects it. A call that reports success but hands back nothing
// has failed: Obtained(hr, owner), in the statement after the call, says so (see there).
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "mapi/mapi_codes.h"
#include "mapi/mapi_interfaces.h"
#include "mapi/mapi_runtime.h"
#include "mapi/mapi_structs.h"

namespace mapi {

// The result of a MAPI call that hands back an object or buffer into owner: hr, except that a
// success with nothing in the owner is the call failing with MAPI_E_CALL_FAILED. A provider that
// breaks the contract this way then takes the call's own failure path, and nothing is released
// that was never obtained.
//
// Call it in a statement of its own, after the call: the out-parameters of ComPtr::PutUnknown
// and PutVoid hand the object to the owner only at the end of the call's full expression, so
// within that expression the owner is still empty.
//     hr = store->OpenEntry(0, nullptr, nullptr, flags, &type, folder.PutUnknown());
//     hr = mapi::Obtained(hr, folder);
template <class Owner>
[[nodiscard]] HRESULT Obtained(HRESULT hr, const Owner& owner) noexcept {
    return SUCCEEDED(hr) && !owner ? MAPI_E_CALL_FAILED : hr;
}

// One reference on a COM interface. Copying adds a reference, moving transfers it.
template <class T>
class ComPtr {
    static_assert(std::is_base_of_v<IUnknown, T>, "ComPtr holds MAPI/COM interfaces");

  public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    ComPtr(const ComPtr& other) noexcept : p_(other.p_) { AddRefHeld(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) noexcept : p_(other.Get()) {
        AddRefHeld();
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(ComPtr<U>&& other) noexcept : p_(other.Detach()) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    // Takes a reference on p and holds it (the reference the caller already had stays).
    static ComPtr Share(T* p) noexcept {
        ComPtr result;
        result.p_ = p;
        result.AddRefHeld();
        return result;
    }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Releases the held reference, if any.
    void Reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Releases the held reference and adopts p's reference without adding one.
    void Attach(T* p) noexcept {
        Reset();
        p_ = p;
    }
    // Gives up the held reference to the caller without releasing it.
    [[nodiscard]] T* Detach() noexcept { return std::exchange(p_, nullptr); }

    // Out-parameter of type T** (OpenMsgStore, GetContentsTable, CreateMessage, ...).
    T** Put() noexcept {
        Reset();
        return &p_;
    }
    T** ReleaseAndGetAddressOf() noexcept { return Put(); }

    // Out-parameter of type void** for QueryInterface with InterfaceId<T>.
    [[nodiscard]] auto PutVoid() noexcept { return OutParam<void*>(*this); }
    // Out-parameter of type LPUNKNOWN* (OpenEntry, OpenProperty). The object MAPI returns must
    // really implement T, as when T's interface identifier is passed. When only the returned
    // object type tells, open into a ComPtr<IUnknown> and convert with StaticPointerCast once
    // the type is checked (or with As).
    [[nodiscard]] auto PutUnknown() noexcept { return OutParam<IUnknown*>(*this); }

    // QueryInterface for U into out; out is released first.
    template <class U>
    HRESULT As(ComPtr<U>& out) const {
        out.Reset();
        if (!p_) return E_POINTER;
        HRESULT hr = p_->QueryInterface(InterfaceId<U>::value, out.PutVoid());
        return Obtained(hr, out);
    }

    void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

  private:
    // Receives a pointer of type P for the duration of the call it is passed to, and hands it to
    // the owner at the end of the full expression.
    template <class P>
    class OutParam {
      public:
        explicit OutParam(ComPtr& owner) noexcept : owner_(owner) { owner_.Reset(); }
        OutParam(const OutParam&) = delete;
        OutParam& operator=(const OutParam&) = delete;
        ~OutParam() { owner_.Attach(Convert(raw_)); }
        operator P*() noexcept { return &raw_; }

      private:
        static T* Convert(void* p) noexcept { return static_cast<T*>(p); }
        static T* Convert(IUnknown* p) noexcept { return static_cast<T*>(p); }

        ComPtr& owner_;
        P raw_ = nullptr;
    };

    void AddRefHeld() noexcept {
        if (p_) p_->AddRef();
    }

    T* p_ = nullptr;
};

// The reference of p as a U, without QueryInterface: for an object opened through a wider
// interface (OpenEntry without an interface identifier) whose object type shows it is a U.
template <class U, class T>
ComPtr<U> StaticPointerCast(ComPtr<T>&& p) noexcept {
    ComPtr<U> result;
    result.Attach(static_cast<U*>(p.Detach()));
    return result;
}

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) noexcept {
    return a.Get() == b.Get();
}
template <class T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) noexcept {
    return a.Get() == nullptr;
}

// A buffer from MAPIAllocateBuffer or from a MAPI call that hands its result to the caller
// (GetProps, CreateStoreEntryID, HrGetOneProp, GetReceiveFolder, ...), freed with
// MAPIFreeBuffer. T is the type of what the buffer holds; for arrays (GetProps) it is the
// element type and operator[] indexes into it.
template <class T>
class MapiBuffer {
  public:
    MapiBuffer() noexcept = default;
    MapiBuffer(std::nullptr_t) noexcept {}
    explicit MapiBuffer(T* p) noexcept : p_(p) {}
    MapiBuffer(const MapiBuffer&) = delete;
    MapiBuffer& operator=(const MapiBuffer&) = delete;
    MapiBuffer(MapiBuffer&& other) noexcept : p_(other.Detach()) {}
    MapiBuffer& operator=(MapiBuffer&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }
    ~MapiBuffer() { Reset(); }

    // Allocates cb bytes with MAPIAllocateBuffer; what the owner held is freed first.
    HRESULT Allocate(ULONG cb) {
        Reset();
        void* raw = nullptr;
        HRESULT hr = MAPIAllocateBuffer(cb, &raw);
        if (SUCCEEDED(hr)) p_ = static_cast<T*>(raw);
        return hr;
    }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    T& operator[](std::size_t i) const noexcept { return p_[i]; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void Reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) MAPIFreeBuffer(const_cast<std::remove_cv_t<T>*>(p));
    }
    void Attach(T* p) noexcept {
        Reset();
        p_ = p;
    }
    [[nodiscard]] T* Detach() noexcept { return std::exchange(p_, nullptr); }

    T** Put() noexcept {
        Reset();
        return &p_;
    }
    T** ReleaseAndGetAddressOf() noexcept { return Put(); }

  private:
    T* p_ = nullptr;
};

// Owner of a list whose elements each carry a MAPI buffer of their own; Free is the MAPI call
// that frees the elements' buffers and the list together.
template <class List, void(MAPI_CALL* Free)(List*)>
class MapiListPtr {
  public:
    MapiListPtr() noexcept = default;
    MapiListPtr(std::nullptr_t) noexcept {}
    explicit MapiListPtr(List* p) noexcept : p_(p) {}
    MapiListPtr(const MapiListPtr&) = delete;
    MapiListPtr& operator=(const MapiListPtr&) = delete;
    MapiListPtr(MapiListPtr&& other) noexcept : p_(other.Detach()) {}
    MapiListPtr& operator=(MapiListPtr&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }
    ~MapiListPtr() { Reset(); }

    List* Get() const noexcept { return p_; }
    List* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void Reset() noexcept {
        if (List* p = std::exchange(p_, nullptr)) Free(p);
    }
    void Attach(List* p) noexcept {
        Reset();
        p_ = p;
    }
    [[nodiscard]] List* Detach() noexcept { return std::exchange(p_, nullptr); }

    List** Put() noexcept {
        Reset();
        return &p_;
    }
    List** ReleaseAndGetAddressOf() noexcept { return Put(); }

  private:
    List* p_ = nullptr;
};

// A row set from QueryRows or HrQueryAllRows, freed with FreeProws.
class RowSetPtr : public MapiListPtr<SRowSet, FreeProws> {
  public:
    using MapiListPtr::MapiListPtr;

    // Number of rows; 0 without a row set.
    ULONG Count() const noexcept { return Get() ? Get()->cRows : 0; }
    SRow& operator[](ULONG i) const noexcept { return Get()->aRow[i]; }
};

// An address list for IAddrBook::Address, PrepareRecips or ModifyRecipients, freed with
// FreePadrlist.
class AdrListPtr : public MapiListPtr<ADRLIST, FreePadrlist> {
  public:
    using MapiListPtr::MapiListPtr;

    // Number of entries; 0 without a list.
    ULONG Count() const noexcept { return Get() ? Get()->cEntries : 0; }
    ADRENTRY& operator[](ULONG i) const noexcept { return Get()->aEntries[i]; }

    // A new list of `entries` empty entries from MAPIAllocateBuffer, zero-filled; what the
    // owner held is freed first.
    HRESULT Allocate(ULONG entries) {
        Reset();
        void* raw = nullptr;
        HRESULT hr = MAPIAllocateBuffer(CbNewADRLIST(entries), &raw);
        if (FAILED(hr)) return hr;
        if (!raw) return MAPI_E_NOT_ENOUGH_MEMORY;
        std::memset(raw, 0, CbNewADRLIST(entries));
        Attach(static_cast<ADRLIST*>(raw));
        Get()->cEntries = entries;
        return S_OK;
    }
};

}  // namespace mapi

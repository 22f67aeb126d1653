// MAPIAllocateBuffer, MAPIAllocateMore and MAPIFreeBuffer, with the accounting of
// mapi_accounting.h.
//
// A root buffer owns the blocks allocated "more" on it; freeing the root frees them all. A block
// allocated on a linked block is linked to that block's root. New blocks are filled with 0xCD,
// as MAPI does not clear them. Every block is aligned for any scalar type (at least 8 bytes, as
// SPropValue arrays need).
//
// Each block carries its bookkeeping in a header in front of it: its size, its root, and the
// next block linked to the same root, so that a root's blocks form a list. Which pointers are
// live blocks is kept in an open-addressing set of pointers, so that a wrong pointer is told
// without reading memory it points at, and a block costs no allocation of its own in the set.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include "mapi/portable/runtime_lock.h"

#include "mapi/mapi_codes.h"
#include "mapi/mapi_runtime.h"
#include "mapi/portable/mapi_accounting.h"

namespace mapi::portable {
namespace {

constexpr unsigned char kFreshFill = 0xCD;

struct alignas(16) Header {
    std::size_t size = 0;
    void* root = nullptr;        // null for a root buffer
    void* nextLinked = nullptr;  // a root's first linked block; a linked block's next one
};

std::uintptr_t Address(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

Header& HeaderOf(void* p) {
    return *reinterpret_cast<Header*>(static_cast<unsigned char*>(p) - sizeof(Header));
}

// Live block addresses, by linear probing in a table of a power-of-two size kept at most half
// full. Removal moves later entries of a run back, so no slot is ever marked deleted. Addresses
// are kept as integers: the set never reads what they point at.
class PointerSet {
  public:
    bool Contains(std::uintptr_t p) const {
        if (size_ == 0) return false;
        for (std::size_t i = Home(p);; i = Next(i)) {
            if (slots_[i] == p) return true;
            if (!slots_[i]) return false;
        }
    }

    // Throws std::bad_alloc when the table cannot grow; the set is then unchanged. The table is
    // allocated here, by the runtime itself, not by a container's code shared with its callers.
    void Insert(std::uintptr_t p) {
        if ((count_ + 1) * 2 > size_) Grow();
        Put(p);
    }

    void Erase(std::uintptr_t p) {
        if (size_ == 0) return;
        std::size_t hole = Home(p);
        while (slots_[hole] != p) {
            if (!slots_[hole]) return;
            hole = Next(hole);
        }
        slots_[hole] = 0;
        --count_;
        // Entries after the hole that would no longer be found move into it.
        for (std::size_t i = Next(hole); slots_[i]; i = Next(i)) {
            std::size_t home = Home(slots_[i]);
            // It moves unless its home lies after the hole, up to where it stands.
            bool moves = hole <= i ? (home <= hole || home > i) : (home <= hole && home > i);
            if (moves) {
                slots_[hole] = slots_[i];
                slots_[i] = 0;
                hole = i;
            }
        }
    }

  private:
    // Blocks near each other in memory get slots near each other, so that the blocks of one
    // row or one list, allocated and freed together, share the set's cache lines: an address's
    // slot is its 16-byte granule within a window of the table's size, moved by a Fibonacci hash
    // of the window's number, so that windows far apart do not pile onto the same slots.
    std::size_t Home(std::uintptr_t p) const {
        const auto granule = static_cast<std::uint64_t>(p >> 4);
        const std::uint64_t window = granule >> shift_;
        const std::uint64_t offset = (window * 0x9E3779B97F4A7C15ULL) >> (64 - shift_);
        return static_cast<std::size_t>((granule + offset) & (size_ - 1));
    }
    std::size_t Next(std::size_t i) const { return (i + 1) & (size_ - 1); }

    void Put(std::uintptr_t p) {
        std::size_t i = Home(p);
        while (slots_[i]) i = Next(i);
        slots_[i] = p;
        ++count_;
    }

    void Grow() {
        const std::size_t oldSize = size_;
        std::unique_ptr<std::uintptr_t[]> old(new std::uintptr_t[oldSize ? oldSize * 2 : 64]());
        old.swap(slots_);
        size_ = oldSize ? oldSize * 2 : 64;
        shift_ = 0;
        for (std::size_t size = size_; size > 1; size >>= 1) ++shift_;
        count_ = 0;
        for (std::size_t k = 0; k < oldSize; ++k)
            if (old[k]) Put(old[k]);
    }

    std::unique_ptr<std::uintptr_t[]> slots_;
    std::size_t size_ = 0;
    std::size_t count_ = 0;
    unsigned shift_ = 0;
};

struct Registry {
    RuntimeLock mutex;
    PointerSet blocks;
    BufferStats stats;
    std::size_t succeedBeforeFailure = 0;
    std::size_t failuresPending = 0;
};

// Never destroyed: buffers may still be freed while other static objects are destroyed.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Called with the registry locked: whether the next allocation must fail.
bool NextAllocationFails(Registry& r) {
    if (r.failuresPending == 0) return false;
    if (r.succeedBeforeFailure > 0) {
        --r.succeedBeforeFailure;
        return false;
    }
    --r.failuresPending;
    return true;
}

// A block of size bytes behind its header, registered as live; null when memory runs out.
void* NewBlock(Registry& r, std::size_t size, void* root) {
    if (size > SIZE_MAX - sizeof(Header)) return nullptr;
    void* raw = std::malloc(sizeof(Header) + size);
    if (!raw) return nullptr;
    new (raw) Header{size, root, nullptr};
    void* p = static_cast<unsigned char*>(raw) + sizeof(Header);
    std::memset(p, kFreshFill, size);
    // The bookkeeping allocates too; running out of memory there is a result like any other,
    // never an exception through this C interface.
    try {
        r.blocks.Insert(Address(p));
    } catch (...) {
        std::free(raw);
        return nullptr;
    }
    return p;
}

void FreeBlock(void* p) {
    std::free(static_cast<unsigned char*>(p) - sizeof(Header));
}

}  // namespace

BufferStats GetBufferStats() {
    Registry& r = TheRegistry();
    RuntimeGuard lock(r.mutex);
    return r.stats;
}

void ResetBufferCounters() {
    Registry& r = TheRegistry();
    RuntimeGuard lock(r.mutex);
    r.stats.allocations = 0;
    r.stats.linkedAllocations = 0;
    r.stats.badFrees = 0;
    r.stats.badParents = 0;
}

bool IsLiveBuffer(const void* p) {
    Registry& r = TheRegistry();
    RuntimeGuard lock(r.mutex);
    return r.blocks.Contains(Address(p));
}

void InjectAllocationFailures(std::size_t succeeding, std::size_t failing) {
    Registry& r = TheRegistry();
    RuntimeGuard lock(r.mutex);
    r.succeedBeforeFailure = succeeding;
    r.failuresPending = failing;
}

void ClearAllocationFailures() {
    InjectAllocationFailures(0, 0);
}

}  // namespace mapi::portable

using mapi::portable::Header;
using mapi::portable::HeaderOf;
using mapi::portable::Registry;

extern "C" {

mapi::SCODE MAPI_CALL MAPIAllocateBuffer(mapi::ULONG cbSize, mapi::LPVOID* lppBuffer) {
    if (!lppBuffer) return mapi::MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    Registry& r = mapi::portable::TheRegistry();
    mapi::portable::RuntimeGuard lock(r.mutex);
    if (mapi::portable::NextAllocationFails(r)) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    void* p = mapi::portable::NewBlock(r, cbSize, nullptr);
    if (!p) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    ++r.stats.liveBuffers;
    ++r.stats.allocations;
    r.stats.liveBytes += cbSize;
    *lppBuffer = p;
    return mapi::S_OK;
}

mapi::SCODE MAPI_CALL MAPIAllocateMore(mapi::ULONG cbSize, mapi::LPVOID lpObject,
                                       mapi::LPVOID* lppBuffer) {
    if (!lppBuffer) return mapi::MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    Registry& r = mapi::portable::TheRegistry();
    mapi::portable::RuntimeGuard lock(r.mutex);
    if (!lpObject || !r.blocks.Contains(mapi::portable::Address(lpObject))) {
        ++r.stats.badParents;
        return mapi::MAPI_E_INVALID_PARAMETER;
    }
    void* root = HeaderOf(lpObject).root ? HeaderOf(lpObject).root : lpObject;
    if (mapi::portable::NextAllocationFails(r)) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    void* p = mapi::portable::NewBlock(r, cbSize, root);
    if (!p) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    Header& rootHeader = HeaderOf(root);
    HeaderOf(p).nextLinked = rootHeader.nextLinked;
    rootHeader.nextLinked = p;
    ++r.stats.liveLinkedBlocks;
    ++r.stats.linkedAllocations;
    r.stats.liveBytes += cbSize;
    *lppBuffer = p;
    return mapi::S_OK;
}

mapi::ULONG MAPI_CALL MAPIFreeBuffer(mapi::LPVOID lpBuffer) {
    if (!lpBuffer) return mapi::S_OK;
    Registry& r = mapi::portable::TheRegistry();
    mapi::portable::RuntimeGuard lock(r.mutex);
    if (!r.blocks.Contains(mapi::portable::Address(lpBuffer)) || HeaderOf(lpBuffer).root) {
        ++r.stats.badFrees;
        return mapi::S_OK;
    }
    for (void* p = HeaderOf(lpBuffer).nextLinked; p;) {
        void* next = HeaderOf(p).nextLinked;
        r.stats.liveBytes -= HeaderOf(p).size;
        --r.stats.liveLinkedBlocks;
        r.blocks.Erase(mapi::portable::Address(p));
        mapi::portable::FreeBlock(p);
        p = next;
    }
    r.stats.liveBytes -= HeaderOf(lpBuffer).size;
    --r.stats.liveBuffers;
    r.blocks.Erase(mapi::portable::Address(lpBuffer));
    mapi::portable::FreeBlock(lpBuffer);
    return mapi::S_OK;
}

}  // extern "C"

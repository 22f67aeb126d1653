// MAPIAllocateBuffer, MAPIAllocateMore and MAPIFreeBuffer, with the accounting of
// mapi_accounting.h.
//
// A root buffer owns the blocks allocated "more" on it; freeing the root frees them all. A block
// allocated on a linked block is linked to that block's root. New blocks are filled with 0xCD,
// as MAPI does not clear them. Every block is aligned for any scalar type (at least 8 bytes, as
// SPropValue arrays need).
#include <cstdlib>
#include <cstring>
#include "mapi/portable/runtime_lock.h"
#include <unordered_map>
#include <vector>

#include "mapi/mapi_codes.h"
#include "mapi/mapi_runtime.h"
#include "mapi/portable/mapi_accounting.h"

namespace mapi::portable {
namespace {

constexpr unsigned char kFreshFill = 0xCD;

struct Block {
    std::size_t size = 0;
    void* root = nullptr;       // null for a root buffer
    std::vector<void*> linked;  // a root's linked blocks
};

struct Registry {
    RuntimeLock mutex;
    std::unordered_map<const void*, Block> blocks;
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

void* NewBlock(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p) std::memset(p, kFreshFill, size);
    return p;
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
    return r.blocks.count(p) != 0;
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

using mapi::portable::Block;
using mapi::portable::Registry;

extern "C" {

mapi::SCODE MAPI_CALL MAPIAllocateBuffer(mapi::ULONG cbSize, mapi::LPVOID* lppBuffer) {
    if (!lppBuffer) return mapi::MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    Registry& r = mapi::portable::TheRegistry();
    mapi::portable::RuntimeGuard lock(r.mutex);
    if (mapi::portable::NextAllocationFails(r)) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    void* p = mapi::portable::NewBlock(cbSize);
    if (!p) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    // The bookkeeping allocates too; running out of memory there is a result like any other,
    // never an exception through this C interface.
    try {
        r.blocks.emplace(p, Block{cbSize, nullptr, {}});
    } catch (...) {
        std::free(p);
        return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    }
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
    auto parent = r.blocks.find(lpObject);
    if (parent == r.blocks.end()) {
        ++r.stats.badParents;
        return mapi::MAPI_E_INVALID_PARAMETER;
    }
    void* root = parent->second.root ? parent->second.root : lpObject;
    if (mapi::portable::NextAllocationFails(r)) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    void* p = mapi::portable::NewBlock(cbSize);
    if (!p) return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    std::vector<void*>& linked = r.blocks.at(root).linked;
    try {
        linked.push_back(p);
        r.blocks.emplace(p, Block{cbSize, root, {}});
    } catch (...) {
        if (!linked.empty() && linked.back() == p) linked.pop_back();
        std::free(p);
        return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    }
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
    auto found = r.blocks.find(lpBuffer);
    if (found == r.blocks.end() || found->second.root) {
        ++r.stats.badFrees;
        return mapi::S_OK;
    }
    Block root = std::move(found->second);
    r.blocks.erase(found);
    for (void* p : root.linked) {
        auto linked = r.blocks.find(p);
        r.stats.liveBytes -= linked->second.size;
        r.blocks.erase(linked);
        std::free(p);
    }
    r.stats.liveLinkedBlocks -= root.linked.size();
    r.stats.liveBytes -= root.size;
    --r.stats.liveBuffers;
    std::free(lpBuffer);
    return mapi::S_OK;
}

}  // extern "C"

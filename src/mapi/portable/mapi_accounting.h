// Accounting of the portable MAPI runtime's buffers, for tests: what is alive, what was freed
// wrongly, and allocation failures on request.
//
// Every block from MAPIAllocateBuffer (a root buffer) or MAPIAllocateMore (a block linked to a
// root) is registered until MAPIFreeBuffer frees its root. MAPIFreeBuffer on anything else (an
// unknown pointer, an already freed buffer, a linked block) frees nothing and is counted.
#pragma once

#include <cstddef>

#include "mapi/mapi_types.h"

namespace mapi::portable {

struct BufferStats {
    std::size_t liveBuffers = 0;       // root buffers not yet freed
    std::size_t liveLinkedBlocks = 0;  // blocks linked to those roots
    std::size_t liveBytes = 0;         // bytes requested for all live blocks
    std::size_t allocations = 0;       // root buffers allocated since the last counter reset
    std::size_t linkedAllocations = 0; // blocks linked to a root since the last counter reset
    std::size_t badFrees = 0;          // MAPIFreeBuffer calls on a pointer that is no live root
    std::size_t badParents = 0;        // MAPIAllocateMore calls on a pointer that is no live block

    // Every allocation since the last counter reset, root buffers and linked blocks.
    std::size_t TotalAllocations() const { return allocations + linkedAllocations; }
};

MAPI_RUNTIME_API BufferStats GetBufferStats();

// Zeroes allocations, linkedAllocations, badFrees and badParents. Live blocks stay registered, so buffers
// allocated before the reset can still be freed correctly.
MAPI_RUNTIME_API void ResetBufferCounters();

// True while p is a live root buffer or a live linked block.
MAPI_RUNTIME_API bool IsLiveBuffer(const void* p);

// Makes allocations fail with MAPI_E_NOT_ENOUGH_MEMORY: after `succeeding` more successful
// allocations (MAPIAllocateBuffer or MAPIAllocateMore), the next `failing` ones fail.
MAPI_RUNTIME_API void InjectAllocationFailures(std::size_t succeeding, std::size_t failing = 1);
MAPI_RUNTIME_API void ClearAllocationFailures();

}  // namespace mapi::portable

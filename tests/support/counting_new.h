// A replacement of the global operator new for the test programs that link counting_new.cpp:
// every allocation of the library (not those of the simulated provider or of the stand-ins for
// MAPI32 and Win32, which have heaps of their own in reality) is counted, and one of them can be
// made to fail, as the MAPI runtime's allocation failures are injected: after `succeeding` further allocations the next one throws std::bad_alloc (or
// returns null for the nothrow forms), then all succeed again; or, with `forGood`, every later
// one fails as well, as when memory is exhausted for good.
#pragma once

#include <cstddef>

namespace tav::testing {

void FailAllocationAfter(std::size_t succeeding, bool forGood = false);
// Disarms; true when the armed failure happened (at least once).
bool ClearAllocationFailure();
// Allocations since the last FailAllocationAfter or ResetAllocationCount.
std::size_t AllocationCount();
void ResetAllocationCount();

}  // namespace tav::testing

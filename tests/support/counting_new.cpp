#include "support/counting_new.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "sim/object_base.h"

namespace tav::testing {
namespace {

std::size_t g_count = 0;
bool g_armed = false;
bool g_fired = false;
bool g_forGood = false;
std::size_t g_failAt = 0;

// The stand-ins for system DLLs (MAPI32, the Win32 services) are shared libraries here; their
// allocations come from their own code.
bool FromSystemStandIn(void* caller) {
    Dl_info info;
    if (!caller || !dladdr(caller, &info) || !info.dli_fname) return false;
    const char* name = info.dli_fname;
    return std::strstr(name, "libtavmapi32") || std::strstr(name, "libtavplatform");
}

// True when this allocation is the one to fail. Only the library's own allocations count: the
// simulated provider and the system stand-ins allocate from heaps of their own in reality, so
// theirs are neither counted nor failed.
bool CountAndDecide(void* caller) {
    if (sim::InProvider() || FromSystemStandIn(caller)) return false;
    std::size_t index = g_count++;
    if (g_armed && (g_forGood ? index >= g_failAt : !g_fired && index == g_failAt)) {
        g_fired = true;
        return true;
    }
    return false;
}

void* Allocate(std::size_t size, std::size_t alignment, bool nothrow, void* caller) {
    if (CountAndDecide(caller)) {
        if (nothrow) return nullptr;
        throw std::bad_alloc();
    }
    if (size == 0) size = 1;
    void* p = nullptr;
    if (alignment <= alignof(std::max_align_t))
        p = std::malloc(size);
    else
        p = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (!p && !nothrow) throw std::bad_alloc();
    return p;
}

}  // namespace

void FailAllocationAfter(std::size_t succeeding, bool forGood) {
    g_count = 0;
    g_forGood = forGood;
    g_failAt = succeeding;
    g_fired = false;
    g_armed = true;
}

bool ClearAllocationFailure() {
    g_armed = false;
    return g_fired;
}

std::size_t AllocationCount() {
    return g_count;
}
void ResetAllocationCount() {
    g_count = 0;
}

}  // namespace tav::testing

using tav::testing::Allocate;
constexpr std::size_t kPlain = 0;

void* operator new(std::size_t size) {
    return Allocate(size, kPlain, false, __builtin_return_address(0));
}
void* operator new[](std::size_t size) {
    return Allocate(size, kPlain, false, __builtin_return_address(0));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, kPlain, true, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, kPlain, true, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t align) {
    return Allocate(size, static_cast<std::size_t>(align), false, __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return Allocate(size, static_cast<std::size_t>(align), false, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(align), true, __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(align), true, __builtin_return_address(0));
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}

// The lock of the portable MAPI runtime's shared state. The runtime also runs inside the
// simulator's provider DLL on Windows, built with the win32 thread model, which has neither
// std::mutex nor std::lock_guard; there it is a spin lock (the state is held only for a few
// instructions, and the console drives the DLL from one thread).
#pragma once

#ifdef _WIN32
#include <atomic>

namespace mapi::portable {

class RuntimeLock {
  public:
    void lock() {
        while (flag_.test_and_set(std::memory_order_acquire)) {
        }
    }
    void unlock() { flag_.clear(std::memory_order_release); }

  private:
    std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

}  // namespace mapi::portable
#else
#include <mutex>

namespace mapi::portable {
using RuntimeLock = std::mutex;
}
#endif

namespace mapi::portable {

class RuntimeGuard {
  public:
    explicit RuntimeGuard(RuntimeLock& lock) : lock_(lock) { lock_.lock(); }
    ~RuntimeGuard() { lock_.unlock(); }
    RuntimeGuard(const RuntimeGuard&) = delete;
    RuntimeGuard& operator=(const RuntimeGuard&) = delete;

  private:
    RuntimeLock& lock_;
};

}  // namespace mapi::portable

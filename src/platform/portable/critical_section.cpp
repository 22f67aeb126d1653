#include "platform/critical_section.h"

#include <mutex>

namespace platform {

struct CriticalSection::State {
    std::recursive_mutex mutex;  // critical sections may be entered again by their owner
};

CriticalSection::CriticalSection() : state_(std::make_unique<State>()) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::Enter() { state_->mutex.lock(); }
void CriticalSection::Leave() { state_->mutex.unlock(); }

}  // namespace platform

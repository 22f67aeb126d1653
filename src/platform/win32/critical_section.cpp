#include "platform/critical_section.h"

#include <windows.h>

namespace platform {

struct CriticalSection::State {
    CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : state_(std::make_unique<State>()) {
    ::InitializeCriticalSection(&state_->section);
}
CriticalSection::~CriticalSection() { ::DeleteCriticalSection(&state_->section); }
void CriticalSection::Enter() { ::EnterCriticalSection(&state_->section); }
void CriticalSection::Leave() { ::LeaveCriticalSection(&state_->section); }

}  // namespace platform

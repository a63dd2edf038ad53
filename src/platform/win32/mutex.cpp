#include "platform/mutex.h"

#include <windows.h>

namespace mk::platform {

static_assert(sizeof(SRWLOCK) == sizeof(void*));

namespace {
SRWLOCK* srw(void*& state) { return reinterpret_cast<SRWLOCK*>(&state); }
}  // namespace

void Mutex::lock() noexcept { AcquireSRWLockExclusive(srw(state_)); }
bool Mutex::try_lock() noexcept { return TryAcquireSRWLockExclusive(srw(state_)) != 0; }
void Mutex::unlock() noexcept { ReleaseSRWLockExclusive(srw(state_)); }

}  // namespace mk::platform

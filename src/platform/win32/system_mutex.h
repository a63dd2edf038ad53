#pragma once
// Included by platform/mutex.h only. windows.h stays out of the shared code:
// the lock's state is a slim reader/writer lock kept as the pointer it is.

namespace mk::platform {

class Mutex {
public:
    constexpr Mutex() noexcept = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() noexcept;
    bool try_lock() noexcept;
    void unlock() noexcept;

private:
    void* state_ = nullptr;  // SRWLOCK_INIT
};

}  // namespace mk::platform

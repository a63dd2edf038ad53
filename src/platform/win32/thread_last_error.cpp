// The records live in a TLS slot of the library's own, not in the compiler's
// thread_local (whose emulation takes a TLS slot and a semaphore at its first
// use and never gives either back): a record is freed when its thread ends
// while the DLL is loaded, and all that are left when the DLL is unloaded.
#include "platform/thread_last_error.h"

#include <windows.h>

#include <atomic>
#include <new>

#include "platform/mutex.h"
#include "platform/win32/dll_events.h"

namespace mk::platform {
namespace {

struct Record {
    ThreadLastError value;
    Record* previous = nullptr;
    Record* next = nullptr;
};

class Records {
public:
    constexpr Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    // Runs when the DLL is unloaded (or the program ends): no other thread
    // may be inside the library then, and one ended by the system at
    // process exit may have left the lock taken, so it is not taken.
    ~Records() {
        while (head_ != nullptr) {
            Record* next = head_->next;
            delete head_;
            head_ = next;
        }
        if (slot_ != TLS_OUT_OF_INDEXES) TlsFree(slot_);
    }

    ThreadLastError& current() {
        if (!InitOnceExecuteOnce(&once_, allocateSlot, this, nullptr) || slot_ == TLS_OUT_OF_INDEXES) {
            return fallback_;
        }
        if (auto* record = static_cast<Record*>(TlsGetValue(slot_))) return record->value;
        auto* record = new (std::nothrow) Record;
        if (record == nullptr || !TlsSetValue(slot_, record)) {
            delete record;
            return fallback_;
        }
        std::lock_guard lock(mutex_);
        record->next = head_;
        if (head_ != nullptr) head_->previous = record;
        head_ = record;
        return record->value;
    }

    // The calling thread is ending.
    void releaseCurrent() {
        const DWORD slot = slot_.load();
        if (slot == TLS_OUT_OF_INDEXES) return;
        auto* record = static_cast<Record*>(TlsGetValue(slot));
        if (record == nullptr) return;
        TlsSetValue(slot, nullptr);
        {
            std::lock_guard lock(mutex_);
            if (record->previous != nullptr)
                record->previous->next = record->next;
            else
                head_ = record->next;
            if (record->next != nullptr) record->next->previous = record->previous;
        }
        delete record;
    }

private:
    static BOOL CALLBACK allocateSlot(INIT_ONCE*, void* records, void**) {
        static_cast<Records*>(records)->slot_ = TlsAlloc();
        return TRUE;
    }

    INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
    // Atomic for a thread that ends, never having used the library, while
    // another thread makes the slot.
    std::atomic<DWORD> slot_ = TLS_OUT_OF_INDEXES;
    Mutex mutex_;
    Record* head_ = nullptr;
    // Shared by all threads, only when the system has no slot or memory left.
    ThreadLastError fallback_;
};

constinit Records records;

}  // namespace

ThreadLastError& threadLastError() { return records.current(); }

void releaseThreadLastError() { records.releaseCurrent(); }

}  // namespace mk::platform

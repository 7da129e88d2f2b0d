#include "common/platform.h"

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#elif !defined(_WIN32)
#include <functional>
#include <thread>
#endif

namespace ormel {

#ifdef _WIN32

CriticalSection::CriticalSection() { InitializeCriticalSection(&cs_); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(&cs_); }
void CriticalSection::enter() { EnterCriticalSection(&cs_); }
void CriticalSection::leave() { LeaveCriticalSection(&cs_); }

ConditionVariable::ConditionVariable() { InitializeConditionVariable(&cv_); }
ConditionVariable::~ConditionVariable() = default;
void ConditionVariable::wait(CriticalSection &cs) { SleepConditionVariableCS(&cv_, &cs.cs_, INFINITE); }
void ConditionVariable::wake_all() { WakeAllConditionVariable(&cv_); }

uint32_t current_thread_number() { return static_cast<uint32_t>(GetCurrentThreadId()); }

uint32_t AtomicWord::load() const {
#if defined(__GNUC__)
    // A plain acquiring load: readers on several threads share the word's cache line
    // without writing it, as an interlocked compare-exchange would.
    return static_cast<uint32_t>(__atomic_load_n(&value_, __ATOMIC_ACQUIRE));
#else
    return static_cast<uint32_t>(InterlockedCompareExchange(const_cast<volatile LONG *>(&value_), 0, 0));
#endif
}
uint32_t AtomicWord::exchange(uint32_t value) {
    return static_cast<uint32_t>(InterlockedExchange(&value_, static_cast<LONG>(value)));
}

#else

CriticalSection::CriticalSection() = default;
CriticalSection::~CriticalSection() = default;
void CriticalSection::enter() { mutex_.lock(); }
void CriticalSection::leave() { mutex_.unlock(); }

ConditionVariable::ConditionVariable() = default;
ConditionVariable::~ConditionVariable() = default;
void ConditionVariable::wait(CriticalSection &cs) {
    std::unique_lock<std::mutex> lock(cs.mutex_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();  // the caller still holds it
}
void ConditionVariable::wake_all() { cv_.notify_all(); }

uint32_t current_thread_number() {
    // The kernel's thread identifier, as GetCurrentThreadId gives on Windows: it is the same
    // number for every plug-in of the process, so flags named after it can be shared.
#if defined(__linux__)
    thread_local const uint32_t number = static_cast<uint32_t>(syscall(SYS_gettid));
#else
    thread_local const uint32_t number =
        static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
#endif
    return number;
}

uint32_t AtomicWord::load() const { return value_.load(); }
uint32_t AtomicWord::exchange(uint32_t value) { return value_.exchange(value); }

#endif

}  // namespace ormel

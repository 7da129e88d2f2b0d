// The few operating-system primitives the module needs: a mutual-exclusion lock with a
// condition to wait on, the calling thread's numeric identifier and an atomic 32-bit word.
#ifndef ORMEL_COMMON_PLATFORM_H
#define ORMEL_COMMON_PLATFORM_H

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <atomic>
#include <condition_variable>
#include <mutex>
#endif

namespace ormel {

// A non-recursive lock that exists from construction to destruction.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection &) = delete;
    CriticalSection &operator=(const CriticalSection &) = delete;

    void enter();
    void leave();

private:
    friend class ConditionVariable;
#ifdef _WIN32
    CRITICAL_SECTION cs_;
#else
    std::mutex mutex_;
#endif
};

// Lets threads that hold a CriticalSection wait, with it released, until another thread
// that changed what they wait for wakes them.
class ConditionVariable {
public:
    ConditionVariable();
    ~ConditionVariable();
    ConditionVariable(const ConditionVariable &) = delete;
    ConditionVariable &operator=(const ConditionVariable &) = delete;

    // The caller holds cs; it is released while waiting and held again on return. A
    // return does not prove that anything changed: callers wait in a loop on their test.
    void wait(CriticalSection &cs);
    void wake_all();

private:
#ifdef _WIN32
    CONDITION_VARIABLE cv_;
#else
    std::condition_variable cv_;
#endif
};

// Holds a CriticalSection for the lifetime of the guard.
class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CriticalSection &cs) : cs_(cs) { cs_.enter(); }
    ~CriticalSectionGuard() { cs_.leave(); }
    CriticalSectionGuard(const CriticalSectionGuard &) = delete;
    CriticalSectionGuard &operator=(const CriticalSectionGuard &) = delete;

private:
    CriticalSection &cs_;
};

// The calling thread's identifier as a 32-bit number; distinct for threads alive together.
uint32_t current_thread_number();

// A 32-bit word that is read atomically and replaced by atomic exchange.
class AtomicWord {
public:
    explicit AtomicWord(uint32_t initial) : value_(initial) {}
    uint32_t load() const;
    // Stores value and returns the previous one.
    uint32_t exchange(uint32_t value);

private:
#ifdef _WIN32
    volatile LONG value_;
#else
    std::atomic<uint32_t> value_;
#endif
};

}  // namespace ormel

#endif

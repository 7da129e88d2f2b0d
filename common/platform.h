// The few operating-system primitives the module needs: a mutual-exclusion lock, the
// calling thread's numeric identifier and an atomic exchange of a 32-bit word.
#ifndef ORMEL_COMMON_PLATFORM_H
#define ORMEL_COMMON_PLATFORM_H

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <atomic>
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
#ifdef _WIN32
    CRITICAL_SECTION cs_;
#else
    std::mutex mutex_;
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

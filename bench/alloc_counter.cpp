#include "bench/alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace bench {
namespace {

std::atomic<long> g_allocations{0};
thread_local bool t_counting = false;
thread_local long t_allocations = 0;

void *allocate(std::size_t size, std::size_t align = 0) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (t_counting) ++t_allocations;
    if (size == 0) size = 1;
    void *p = nullptr;
    if (align > alignof(std::max_align_t)) {
        if (posix_memalign(&p, align, size) != 0) p = nullptr;
    } else {
        p = std::malloc(size);
    }
    return p;
}

}  // namespace

long process_allocations() { return g_allocations.load(std::memory_order_relaxed); }
long thread_allocations() { return t_allocations; }
void set_thread_counting(bool on) { t_counting = on; }
bool thread_counting() { return t_counting; }

}  // namespace bench

// The replaced allocation functions: the executable's definitions serve the loaded plug-in
// file too, since it takes them from the global scope.
void *operator new(std::size_t size) {
    if (void *p = bench::allocate(size)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size) {
    if (void *p = bench::allocate(size)) return p;
    throw std::bad_alloc();
}
void *operator new(std::size_t size, std::align_val_t align) {
    if (void *p = bench::allocate(size, static_cast<std::size_t>(align))) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size, std::align_val_t align) {
    if (void *p = bench::allocate(size, static_cast<std::size_t>(align))) return p;
    throw std::bad_alloc();
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return bench::allocate(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return bench::allocate(size); }
void *operator new(std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept {
    return bench::allocate(size, static_cast<std::size_t>(align));
}
void *operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept {
    return bench::allocate(size, static_cast<std::size_t>(align));
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }

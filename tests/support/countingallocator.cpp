#include "countingallocator.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <new>
#include <pthread.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own count; GCC ships no header for it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {
thread_local bool t_watched = false;
std::atomic<uint64_t> g_allocations{0}, g_locks{0};

void* Allocate(size_t size) {
    if (t_watched) g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    using Lock = int (*)(pthread_mutex_t*);
    static const Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (t_watched) g_locks.fetch_add(1, std::memory_order_relaxed);
    return real(mutex);
}

namespace counting {

void Watch(bool on) {
    t_watched = on;
}

bool Watched() {
    return t_watched;
}

Counts Counted() {
    return {g_allocations.load(), g_locks.load()};
}

bool SeesAllocationsAndLocks() {
    const Counts none = Counted();
    std::mutex mutex;
    const bool was = t_watched;
    t_watched = true;
    delete new int(1);
    mutex.lock();
    mutex.unlock();
    t_watched = was;
    const Counts counted = Counted();
    g_allocations -= counted.allocations - none.allocations;
    g_locks -= counted.locks - none.locks;
    return counted.allocations == none.allocations + 1 && counted.locks == none.locks + 1;
}

size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

} // namespace counting

#pragma once
// Allocations and locks counted on the threads a test watches: operator new
// (every form) and pthread_mutex_lock of the test program stand in for the
// libraries' and a loaded plugin's, which find them first. Link the support
// library into the test program itself.
#include <cstddef>
#include <cstdint>

namespace counting {

// The calling thread is watched from now on, or no longer.
void Watch(bool on);
bool Watched();

struct Counts {
    uint64_t allocations = 0, locks = 0;
};
Counts Counted();

// Whether an allocation and a lock on a watched thread are counted (each
// once); what the check counted is taken off again.
bool SeesAllocationsAndLocks();

// Bytes the heap holds now.
size_t HeapInUse();

} // namespace counting

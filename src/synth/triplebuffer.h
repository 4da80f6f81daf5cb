#pragma once
// The newest copy of a value that one thread writes and another reads,
// lock-free: the writer fills a slot of its own and swaps it in, the reader
// swaps the newest out. Neither ever waits, and a copy is never read while
// it is being written. One writer and one reader at a time. No Qt.
#include <atomic>

template <typename T> class TripleBuffer {
public:
    // The writer's slot: fill it, then publish it.
    T& Back() { return slots_[back_]; }
    void Publish() { back_ = middle_.exchange(back_ | kNew, std::memory_order_acq_rel) & kSlot; }
    // The reader: takes the newest published copy; true when there was one.
    bool Take() {
        if (!(middle_.load(std::memory_order_acquire) & kNew)) return false;
        front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kSlot;
        return true;
    }
    const T& Front() const { return slots_[front_]; }

private:
    static constexpr int kNew = 4, kSlot = 3;
    T slots_[3]{};
    std::atomic<int> middle_{1};
    int back_ = 2;  // the writer's
    int front_ = 0; // the reader's
};

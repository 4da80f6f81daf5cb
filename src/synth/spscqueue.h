#pragma once
// A bounded single-producer single-consumer ring of values, lock-free:
// pushing, peeking and popping never allocate, lock or wait. One thread
// pushes and one pops at a time; either end may change hands only through
// an acquire/release hand-over outside this class. No Qt.
#include <array>
#include <atomic>
#include <cstddef>

template <typename T, size_t Capacity> class SpscQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "the capacity is a power of two");

public:
    // Producer: false when the ring is full; nothing is pushed then.
    bool TryPush(const T& value) {
        const size_t head = head_.load(std::memory_order_relaxed);
        if (head - tailSeen_ == Capacity) {
            tailSeen_ = tail_.load(std::memory_order_acquire);
            if (head - tailSeen_ == Capacity) return false;
        }
        items_[head & (Capacity - 1)] = value;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer: the oldest value, or null when the ring is empty. It stays
    // valid until Pop.
    const T* Peek() {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == headSeen_) {
            headSeen_ = head_.load(std::memory_order_acquire);
            if (tail == headSeen_) return nullptr;
        }
        return &items_[tail & (Capacity - 1)];
    }
    void Pop() {
        tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    bool Empty() const {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

private:
    std::array<T, Capacity> items_{};
    alignas(64) std::atomic<size_t> head_{0}; // written by the producer only
    size_t tailSeen_ = 0;                     // the producer's copy of tail_
    alignas(64) std::atomic<size_t> tail_{0}; // written by the consumer only
    size_t headSeen_ = 0;                     // the consumer's copy of head_
};

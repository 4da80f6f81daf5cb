#pragma once
// Bounded single-producer single-consumer ring of OPL3 register writes, the
// only path from the writing thread to the audio thread. Lock-free; pushing
// and draining never allocate.
//
// One producer at a time. Consumers may change hands (audio callback, an
// offline renderer, the writer itself when no one else renders) as long as
// they are serialized by an acquire/release handover outside this class.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

struct RegisterWrite {
    uint16_t index; // 0x000-0x1FF
    uint8_t value;
};

class RegisterQueue {
public:
    // capacity must be a power of two.
    explicit RegisterQueue(size_t capacity)
        : capacity_(capacity), mask_(capacity - 1),
          items_(std::make_unique<RegisterWrite[]>(capacity)) {}

    size_t Capacity() const { return capacity_; }

    // Producer: false when the ring is full; nothing is written then.
    bool TryPush(RegisterWrite write) {
        const size_t head = head_.load(std::memory_order_relaxed);
        if (head - tailSeen_ == capacity_) {
            tailSeen_ = tail_.load(std::memory_order_acquire);
            if (head - tailSeen_ == capacity_) return false;
        }
        items_[head & mask_] = write;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer: hands every queued write to apply, oldest first; returns the count.
    template <typename Apply> size_t Drain(Apply&& apply) {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t head = head_.load(std::memory_order_acquire);
        for (size_t i = tail; i != head; ++i)
            apply(items_[i & mask_]);
        tail_.store(head, std::memory_order_release);
        return head - tail;
    }

    bool Empty() const {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

private:
    const size_t capacity_;
    const size_t mask_;
    std::unique_ptr<RegisterWrite[]> items_;
    alignas(64) std::atomic<size_t> head_{0}; // written by the producer only
    size_t tailSeen_ = 0;                     // producer's cached copy of tail_
    alignas(64) std::atomic<size_t> tail_{0}; // written by the consumer only
};

#pragma once
// Frames of the card's output on their way from the audio callback to a
// recorder: a bounded lock-free ring, one producer (the callback), one
// consumer (the recorder's thread). Pushing never allocates, locks or waits;
// a block that does not fit is left out whole and counted, never lost
// silently.
#include "hardware/emulated/audiooutput.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class StereoRing {
public:
    // capacity in frames, a power of two.
    explicit StereoRing(size_t capacity)
        : mask_(capacity - 1), samples_(std::make_unique<float[]>(2 * capacity)) {}

    size_t Capacity() const { return mask_ + 1; }

    // Producer.
    bool Push(StereoOut block, size_t frames) {
        const size_t head = head_.load(std::memory_order_relaxed);
        if (frames > Capacity() - (head - tail_.load(std::memory_order_acquire))) {
            lostFrames_.fetch_add(frames, std::memory_order_relaxed);
            overflows_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        for (size_t i = 0; i < frames; ++i) {
            float* frame = &samples_[2 * ((head + i) & mask_)];
            frame[0] = block.left[i * block.step];
            frame[1] = block.right[i * block.step];
        }
        head_.store(head + frames, std::memory_order_release);
        return true;
    }

    // Consumer: up to `frames` frames, interleaved; returns how many.
    size_t Pop(float* interleaved, size_t frames) {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t available = head_.load(std::memory_order_acquire) - tail;
        const size_t n = available < frames ? available : frames;
        for (size_t i = 0; i < n; ++i) {
            const float* frame = &samples_[2 * ((tail + i) & mask_)];
            interleaved[2 * i] = frame[0];
            interleaved[2 * i + 1] = frame[1];
        }
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    uint64_t LostFrames() const { return lostFrames_.load(std::memory_order_relaxed); }
    uint64_t Overflows() const { return overflows_.load(std::memory_order_relaxed); }

private:
    const size_t mask_;
    std::unique_ptr<float[]> samples_;        // interleaved
    alignas(64) std::atomic<size_t> head_{0}; // written by the producer only
    alignas(64) std::atomic<size_t> tail_{0}; // written by the consumer only
    std::atomic<uint64_t> lostFrames_{0};
    std::atomic<uint64_t> overflows_{0};
};

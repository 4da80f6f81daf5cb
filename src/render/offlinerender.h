#pragma once
// Rendering through the emulated card without an audio device. Each message
// is handed over between two Render calls, at its own frame: the card hears
// a write made between two calls from the frame where the first ended, so
// every message is heard where its time says, not at a block boundary.
// After the last message the rendering goes on until the output has been
// silent for half a second, ten seconds at most.
#include "midi/midifile.h"
#include "midi/shortmessage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class EmulatedCard;

struct FramedMessage {
    uint64_t Frame;
    ShortMessage Message;
};

// Each message's time on the frame grid of `rate`, to the nearest frame.
std::vector<FramedMessage> FrameMessages(std::span<const TimedMessage> messages, unsigned rate);

struct OfflineRender {
    static constexpr double kSilenceToEnd = 0.5; // seconds
    static constexpr double kLongestTail = 10.0; // seconds after the last message
    // Below half a step of 24-bit samples: what a WAV file stores as zero.
    static constexpr float kSilent = 0.5f / 8388608.0f;
    static constexpr size_t kBlockFrames = 1024;

    // Makes the card's register writes for one message.
    std::function<void(ShortMessage)> deliver;
    // Takes the rendered frames, interleaved stereo, in order.
    std::function<void(const float* frames, size_t count)> write;
    // Optional: frames rendered so far, and the frame of the last message.
    std::function<void(uint64_t done, uint64_t music)> progress;
    // Optional: runs before every message and may raise to stop, so that
    // millions of messages on one frame can't hold a stop up.
    std::function<void()> check;

    // Messages in frame order, on a card at the output rate wanted, with no
    // audio output open. Returns the frames written.
    uint64_t Run(EmulatedCard& card, std::span<const FramedMessage> messages) const;

    // Most frames Run writes for messages whose last one is at `lastFrame`.
    static uint64_t MostFrames(uint64_t lastFrame, unsigned rate);

private:
    void Emit(const float* block, size_t frames, uint64_t& done, uint64_t music) const;
};

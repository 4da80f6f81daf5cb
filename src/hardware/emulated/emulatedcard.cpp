#include "hardware/emulated/emulatedcard.h"

#include "error.h"

#include <algorithm>
#include <chrono>
#include <thread>

EmulatedCard::EmulatedCard(uint16_t base) : base_(base) {}

EmulatedCard::~EmulatedCard() {
    StopOutput();
}

// Ports

void EmulatedCard::OutByte(uint16_t port, uint8_t value) {
    const uint16_t offset = static_cast<uint16_t>(port - base_);
    // The hot path: two bytes per register write, every one of them here.
    const unsigned opl = static_cast<uint16_t>(offset - kOpl3Offset);
    if (opl < 4) {
        const unsigned bank = opl >> 1;
        if ((opl & 1) == 0) {
            latch_[bank] = value;
        } else {
            const RegisterWrite write{static_cast<uint16_t>(bank << 8 | latch_[bank]), value};
            if (!queue_.TryPush(write)) [[unlikely]]
                WaitForRoom(write);
        }
        return;
    }
    // Byte halves of the volume register. Nothing else of the card is modelled.
    if (offset == kVolumeOffset)
        volume_.store(static_cast<uint16_t>((volume_.load() & 0xFF00) | value));
    else if (offset == kVolumeOffset + 1)
        volume_.store(static_cast<uint16_t>((volume_.load() & 0x00FF) | (value << 8)));
}

void EmulatedCard::OutWord(uint16_t port, uint16_t value) {
    if (port == base_ + kVolumeOffset) volume_.store(value);
}

uint16_t EmulatedCard::InWord(uint16_t port) {
    if (port == base_ + kVolumeOffset) return volume_.load();
    return 0xFFFF; // nothing answers: the bus floats high
}

// The chip's owners

namespace {
// The card whose period this thread is rendering: its writes can reach the
// chip at once when the queue is full.
thread_local EmulatedCard* t_inPeriod = nullptr;
} // namespace

// One period rendered in pieces, each after the writes made before it.
class EmulatedCard::Segments final : public PeriodClient::Run {
public:
    Segments(EmulatedCard& card, StereoOut out, size_t frames)
        : card_(card), out_(out), frames_(frames) {}
    void RenderUntil(size_t frame) override {
        frame = std::min(frame, frames_);
        if (frame <= done_) return;
        const StereoOut part{out_.left + done_ * out_.step, out_.right + done_ * out_.step,
                             out_.step};
        card_.engine_.Period(card_.queue_, card_.volume_.load(std::memory_order_relaxed), part,
                             frame - done_);
        done_ = frame;
    }

private:
    EmulatedCard& card_;
    const StereoOut out_;
    const size_t frames_;
    size_t done_ = 0;
};

void EmulatedCard::OutputPeriod(void* user, StereoOut out, size_t frames) {
    auto& card = *static_cast<EmulatedCard*>(user);
    ChipOwner expected = kStream;
    if (!card.chip_.compare_exchange_strong(expected, kInCallback, std::memory_order_acquire)) {
        // Only after the stream was given up for dead: the writer has the chip.
        for (size_t i = 0; i < frames; ++i)
            out.left[i * out.step] = out.right[i * out.step] = 0;
        return;
    }
    Segments segments(card, out, frames);
    if (PeriodClient* client = card.client_.load(std::memory_order_acquire)) {
        t_inPeriod = &card;
        client->Period(segments, card.output_.PeriodFrameTime(), frames);
        t_inPeriod = nullptr;
    }
    segments.RenderUntil(frames);
    if (card.outputTap_) card.outputTap_->Push(out, frames);
    card.chip_.store(kStream, std::memory_order_release);
}

void EmulatedCard::SetPeriodClient(PeriodClient* client) {
    client_.store(client, std::memory_order_release);
    // A period that took the old client finishes before anyone else writes.
    while (chip_.load(std::memory_order_acquire) == kInCallback)
        std::this_thread::yield();
}

void EmulatedCard::WaitForRoom(RegisterWrite write) {
    while (!queue_.TryPush(write)) {
        if (t_inPeriod == this) {
            // The period's own writes: the chip hears them now, at the
            // frame the period has reached, and the audio thread never waits.
            engine_.ApplyWrites(queue_);
            continue;
        }
        if (chip_.load(std::memory_order_acquire) == kOffline) {
            std::lock_guard<std::mutex> lock(offline_);
            // Unless a stream opened meanwhile and has it now.
            if (chip_.load(std::memory_order_acquire) == kOffline) engine_.ApplyWrites(queue_);
            continue;
        }
        std::unique_lock<std::mutex> lock(outputLock_);
        if (output_.Failed()) {
            TakeChipFromDeadStream();
        } else {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}

void EmulatedCard::TakeChipFromDeadStream() {
    // A dead stream calls back no more; at most one last period is finishing.
    ChipOwner expected = kStream;
    while (!chip_.compare_exchange_weak(expected, kOffline, std::memory_order_acquire)) {
        if (expected == kOffline) return; // taken already
        expected = kStream;
        std::this_thread::yield();
    }
}

// Audio output

void EmulatedCard::PrepareOutput(void* user, unsigned rate) {
    auto& card = *static_cast<EmulatedCard*>(user);
    std::lock_guard<std::mutex> lock(card.offline_);
    card.engine_.SetOutputRate(rate);
    if (card.outputTap_ && card.tapRate_ != 0 && rate != card.tapRate_) {
        card.outputTap_ = nullptr; // what it fills can't change its rate midway
        card.tapCutAtRate_ = rate;
    }
    if (card.outputTap_) card.tapRate_ = rate;
    card.chip_.store(kStream, std::memory_order_release); // no period has run yet
}

bool EmulatedCard::StartOutput(OutputKeeper::Listener listener) {
    StopOutput();
    std::string api;
    {
        std::lock_guard<std::mutex> lock(outputLock_);
        if (!output_.Open(&EmulatedCard::PrepareOutput)) {
            chip_.store(kOffline, std::memory_order_release);
            return false;
        }
        outputUp_.store(true, std::memory_order_release);
        api = output_.Info().api;
    }
    keeper_ = std::make_unique<OutputKeeper>(
        OutputKeeper::Output{[this] { return OutputFailed(); }, [this] { DropDeadOutput(); },
                             [this] { return ReopenOutput(); }},
        api, std::move(listener));
    return true;
}

void EmulatedCard::StopOutput() {
    if (keeper_) keeper_->Stop();
    std::lock_guard<std::mutex> lock(outputLock_);
    outputUp_.store(false, std::memory_order_release);
    output_.Close();
    chip_.store(kOffline, std::memory_order_release);
}

AudioOutputInfo EmulatedCard::OutputInfo() const {
    std::lock_guard<std::mutex> lock(outputLock_);
    return output_.Info();
}

bool EmulatedCard::OutputOnJack() const {
    std::lock_guard<std::mutex> lock(outputLock_);
    return output_.OnJack();
}

bool EmulatedCard::OutputRunning() const {
    if (!outputUp_.load(std::memory_order_acquire)) return false;
    // While the keeper holds the output, it is as it last was: up.
    std::unique_lock<std::mutex> lock(outputLock_, std::try_to_lock);
    return !lock.owns_lock() || (outputUp_.load(std::memory_order_relaxed) && !output_.Failed());
}

OutputStatus EmulatedCard::OutputState() const {
    return keeper_ ? keeper_->Status() : OutputStatus{};
}

bool EmulatedCard::OutputFailed() {
    std::lock_guard<std::mutex> lock(outputLock_);
    return output_.Failed();
}

void EmulatedCard::DropDeadOutput() {
    std::lock_guard<std::mutex> lock(outputLock_);
    outputUp_.store(false, std::memory_order_release);
    TakeChipFromDeadStream();
    output_.Close();
    chip_.store(kOffline, std::memory_order_release);
}

bool EmulatedCard::ReopenOutput() {
    std::lock_guard<std::mutex> lock(outputLock_);
    if (output_.Reopen(&EmulatedCard::PrepareOutput)) {
        outputUp_.store(true, std::memory_order_release);
        return true;
    }
    chip_.store(kOffline, std::memory_order_release); // in case it got as far as preparing
    return false;
}

// Offline

void EmulatedCard::SetOutputRate(unsigned rate) {
    std::lock_guard<std::mutex> outputLock(outputLock_);
    if (output_.IsOpen()) throw Error("The output rate can't change while audio output is open");
    std::lock_guard<std::mutex> lock(offline_);
    engine_.SetOutputRate(rate);
}

void EmulatedCard::Render(float* interleavedStereo, size_t frames) {
    std::lock_guard<std::mutex> outputLock(outputLock_);
    if (output_.IsOpen()) throw Error("Offline rendering needs the audio output closed");
    std::lock_guard<std::mutex> lock(offline_);
    engine_.Period(queue_, volume_.load(std::memory_order_relaxed),
                   StereoOut::Interleaved(interleavedStereo), frames);
}

void EmulatedCard::SetWriteTap(WriteTap tap) {
    std::lock_guard<std::mutex> lock(offline_);
    engine_.SetWriteTap(tap);
}

void EmulatedCard::SetOutputTap(StereoRing* ring) {
    outputTap_ = ring;
    tapRate_ = 0;
    tapCutAtRate_ = 0;
}

#include "hardware/emulated/emulatedcard.h"

#include "error.h"

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

void EmulatedCard::OutputPeriod(void* user, StereoOut out, size_t frames) {
    auto& card = *static_cast<EmulatedCard*>(user);
    ChipOwner expected = kStream;
    if (!card.chip_.compare_exchange_strong(expected, kInCallback, std::memory_order_acquire)) {
        // Only after the stream was given up for dead: the writer has the chip.
        for (size_t i = 0; i < frames; ++i)
            out.left[i * out.step] = out.right[i * out.step] = 0;
        return;
    }
    card.engine_.Period(card.queue_, card.volume_.load(std::memory_order_relaxed), out, frames);
    if (card.outputTap_) card.outputTap_->Push(out, frames);
    card.chip_.store(kStream, std::memory_order_release);
}

void EmulatedCard::WaitForRoom(RegisterWrite write) {
    while (!queue_.TryPush(write)) {
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
    output_.Close();
    chip_.store(kOffline, std::memory_order_release);
}

AudioOutputInfo EmulatedCard::OutputInfo() const {
    std::lock_guard<std::mutex> lock(outputLock_);
    return output_.Info();
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
    TakeChipFromDeadStream();
    output_.Close();
    chip_.store(kOffline, std::memory_order_release);
}

bool EmulatedCard::ReopenOutput() {
    std::lock_guard<std::mutex> lock(outputLock_);
    if (output_.Reopen(&EmulatedCard::PrepareOutput)) return true;
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

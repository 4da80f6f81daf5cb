#include "render/offlinerender.h"

#include "hardware/emulated/emulatedcard.h"

#include <algorithm>
#include <cmath>

std::vector<FramedMessage> FrameMessages(std::span<const TimedMessage> messages, unsigned rate) {
    std::vector<FramedMessage> framed;
    framed.reserve(messages.size());
    for (const TimedMessage& m : messages)
        framed.push_back({static_cast<uint64_t>(std::llround(m.Seconds * rate)), m.Message});
    return framed;
}

uint64_t OfflineRender::MostFrames(uint64_t lastFrame, unsigned rate) {
    return lastFrame + static_cast<uint64_t>(std::ceil(kLongestTail * rate));
}

void OfflineRender::Emit(const float* block, size_t frames, uint64_t& done, uint64_t music) const {
    write(block, frames);
    done += frames;
    if (progress) progress(done, music);
}

uint64_t OfflineRender::Run(EmulatedCard& card, std::span<const FramedMessage> messages) const {
    std::vector<float> block(2 * kBlockFrames);
    const uint64_t music = messages.empty() ? 0 : messages.back().Frame;
    uint64_t done = 0;
    for (size_t next = 0; next < messages.size();) {
        const uint64_t at = messages[next].Frame;
        while (done < at) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlockFrames, at - done));
            card.Render(block.data(), n);
            Emit(block.data(), n, done, music);
        }
        for (; next < messages.size() && messages[next].Frame <= done; ++next) {
            if (check) check();
            deliver(messages[next].Message);
        }
    }

    // The tail: until kSilenceToEnd of silence, counted from the last message on.
    const unsigned rate = card.OutputRate();
    const uint64_t silenceToEnd = static_cast<uint64_t>(std::llround(kSilenceToEnd * rate));
    const uint64_t end = MostFrames(done, rate);
    uint64_t silent = 0;
    while (done < end && silent < silenceToEnd) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kBlockFrames, end - done));
        card.Render(block.data(), n);
        for (size_t i = 0; i < n; ++i) {
            const bool quiet =
                std::fabs(block[2 * i]) < kSilent && std::fabs(block[2 * i + 1]) < kSilent;
            silent = quiet ? silent + 1 : 0;
            if (silent == silenceToEnd) n = i + 1; // ends the loop and the song
        }
        Emit(block.data(), n, done, music);
    }
    return done;
}

#pragma once
// A recorder put between the card's queue and its chip: what reached the
// chip, in order. Read it only while nothing renders.
#include "hardware/emulated/emulatedcard.h"

#include <array>
#include <cstdint>

struct AppliedWrites {
    static constexpr uint64_t kDigestSeed = 0xCBF29CE484222325ull;
    // FNV-1a over the three bytes of each write: order-sensitive.
    static uint64_t Digest(uint64_t digest, RegisterWrite write) {
        constexpr uint64_t kPrime = 0x100000001B3ull;
        for (uint8_t byte : {static_cast<uint8_t>(write.index >> 8),
                             static_cast<uint8_t>(write.index & 0xFF), write.value})
            digest = (digest ^ byte) * kPrime;
        return digest;
    }

    explicit AppliedWrites(EmulatedCard& card) { card.SetWriteTap({&AppliedWrites::Record, this}); }

    uint64_t count = 0;
    uint64_t digest = kDigestSeed;
    std::array<uint8_t, 0x200> image{};

private:
    static void Record(void* self, RegisterWrite w) {
        auto& a = *static_cast<AppliedWrites*>(self);
        ++a.count;
        a.digest = Digest(a.digest, w);
        a.image[w.index & 0x1FF] = w.value;
    }
};

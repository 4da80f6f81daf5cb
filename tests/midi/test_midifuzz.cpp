// Random, truncated and mutated files through the MIDI file reader: it
// either gives sound messages in time order or refuses with a reason.
#include "midi/midifile.h"

#include "error.h"
#include "support/smfbuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

// Songs as sequencers write them: several tracks, a tempo map, running
// status, system exclusive, text.
std::vector<SmfBuilder> RealSongs() {
    SmfBuilder one(1, 480);
    one.Track().Tempo(0, 500000).Event(0, {0xFF, 0x58, 4, 4, 2, 24, 8}).Tempo(1920, 400000);
    one.EndOfTrack();
    one.Track().Event(0, {0xFF, 0x03, 5, 'P', 'i', 'a', 'n', 'o'}).Event(0, {0xC0, 3});
    for (uint8_t n = 48; n < 72; n += 2)
        one.Event(120, {0x90, n, 100})
            .Event(0, {static_cast<uint8_t>(n + 4), 80})
            .Event(240, {0x80, n, 0});
    one.Event(0, {0xE0, 0, 0x60}).Event(10, {0xB0, 7, 90}).EndOfTrack();
    one.Track().Event(0, {0xF0, 5, 0x7E, 0x7F, 9, 1, 0xF7}).Event(960, {0x91, 40, 60});
    one.Event(960, {40, 0}).Event(0, {0xD1, 30}).EndOfTrack();

    SmfBuilder zero(0, 96);
    zero.Track().Tempo(0, 600000);
    for (uint8_t n = 60; n < 80; ++n)
        zero.Event(24, {0x90, n, 64}).Event(24, {n, 0});
    zero.EndOfTrack();
    return {one, zero};
}

void Check(const std::vector<uint8_t>& bytes, int& accepted, int& refused) {
    try {
        const MidiFile file = ParseMidiFile(bytes);
        double last = 0;
        for (const TimedMessage& m : file.Messages) {
            ASSERT_TRUE(std::isfinite(m.Seconds));
            ASSERT_GE(m.Seconds, last);
            last = m.Seconds;
            ASSERT_GE(m.Message.Status, 0x80);
            ASSERT_LT(m.Message.Status, 0xF0);
            ASSERT_LT(m.Message.Data1, 0x80);
            ASSERT_LT(m.Message.Data2, 0x80);
        }
        ++accepted;
    } catch (const Error& e) {
        const std::string why = e.what();
        ASSERT_FALSE(why.empty());
        ASSERT_EQ(why.find('\n'), std::string::npos) << why;
        const bool known = why.starts_with("not a standard MIDI file") ||
                           why.starts_with("truncated (") || why.starts_with("corrupt ") ||
                           why.starts_with("format 2") || why == "no tracks";
        ASSERT_TRUE(known) << why;
        ++refused;
    }
}

void Mutate(std::vector<uint8_t>& bytes, std::mt19937& random) {
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const int changes = 1 + static_cast<int>(pick(3));
    for (int i = 0; i < changes && !bytes.empty(); ++i) {
        const size_t at = pick(bytes.size());
        switch (pick(5)) {
        case 0:
            bytes[at] = static_cast<uint8_t>(random());
            break;
        case 1:
            bytes[at] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 2:
            bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
            break;
        case 3:
            bytes.erase(bytes.begin() + static_cast<long>(at));
            break;
        default: // a byte that means much: a status, a length, an end
            bytes[at] = std::array<uint8_t, 6>{0x80, 0xF0, 0xFF, 0x7F, 0x00, 0x2F}[pick(6)];
        }
    }
}

std::vector<uint8_t> Noise(std::mt19937& random, bool behindAHeader) {
    std::vector<uint8_t> bytes(std::uniform_int_distribution<size_t>(0, 200)(random));
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    if (!behindAHeader) return bytes;
    bytes.erase(bytes.begin(),
                bytes.begin() + static_cast<long>(std::min<size_t>(22, bytes.size())));
    return SmfBuilder::File(0, 96, {bytes});
}

TEST(MidiFileFuzz, HundredThousandHostileFilesEndInMessagesOrAReason) {
    std::mt19937 random(801);
    const std::vector<SmfBuilder> songs = RealSongs();
    int accepted = 0, refused = 0, files = 0;
    // Every truncation of every real file.
    for (const SmfBuilder& song : songs) {
        const std::vector<uint8_t> file = song.Bytes();
        for (size_t n = 0; n <= file.size(); ++n, ++files)
            Check(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(n)), accepted,
                  refused);
    }
    for (int i = 0; i < 100000; ++i, ++files) {
        const SmfBuilder& song = songs[static_cast<size_t>(i) % songs.size()];
        std::vector<uint8_t> bytes;
        if (i % 10 == 0) {
            bytes = Noise(random, i % 20 == 0);
        } else if (i % 2 == 0) { // anywhere in the file
            bytes = song.Bytes();
            Mutate(bytes, random);
        } else { // inside a track, its chunk still whole: only the events tell
            auto tracks = song.Tracks();
            Mutate(tracks[static_cast<size_t>(random()) % tracks.size()], random);
            bytes = SmfBuilder::File(1, 480, tracks);
        }
        Check(bytes, accepted, refused);
        if (HasFatalFailure()) {
            std::string hex;
            for (uint8_t b : bytes)
                hex += std::to_string(b) + " ";
            FAIL() << "file " << i << ": " << hex;
        }
    }
    std::printf("%d files: %d read, %d refused\n", files, accepted, refused);
    EXPECT_GT(accepted, files / 10); // the mutations reach past the header
    EXPECT_GT(refused, files / 10);
}

} // namespace

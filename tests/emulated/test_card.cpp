// The emulated card as a port backend: its registers, its queue, its output.
#include "rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint16_t kBase = EmulatedCard::kDefaultBase;
constexpr uint16_t kVolume = kBase + 2;

TEST(EmulatedCard, VolumeRegisterStartsAt0606AndReadsBackWhatWasWritten) {
    EmulatedCard card;
    EXPECT_EQ(card.InWord(kVolume), 0x0606);
    {
        ScopedPortBackend scope(card);
        FM801 fm(kBase);
        bool muted = true;
        uint8_t left = 0, right = 0;
        fm.GetAttenuation(muted, left, right);
        EXPECT_FALSE(muted);
        EXPECT_EQ(left, 6);
        EXPECT_EQ(right, 6);
    }
    struct Step {
        bool word;
        uint16_t port;
        uint16_t value;
        uint16_t reads;
    };
    const Step steps[] = {
        {true, kVolume, 0xFFFF, 0xFFFF},   {true, kVolume, 0x8A05, 0x8A05},
        {false, kVolume, 0x1F, 0x8A1F},    {false, kVolume + 1, 0x00, 0x001F},
        {true, kBase + 4, 0x1234, 0x001F}, // another port: the register keeps its value
        {true, kVolume, 0x0000, 0x0000},
    };
    for (const Step& s : steps) {
        if (s.word)
            card.OutWord(s.port, s.value);
        else
            card.OutByte(s.port, static_cast<uint8_t>(s.value));
        EXPECT_EQ(card.InWord(kVolume), s.reads) << std::hex << s.port << " " << s.value;
    }
}

TEST(EmulatedCard, AnswersOnlyAtItsOwnBase) {
    EmulatedCard card(0xD000);
    AppliedWrites applied(card);
    std::vector<float> buffer(2 * 4800);
    card.Render(buffer.data(), 4800);
    const uint64_t before = applied.count;
    card.OutByte(kBase + 0x68, 0x20); // the default base is not this card's
    card.OutByte(kBase + 0x69, 0x21);
    EXPECT_EQ(card.InWord(kVolume), 0xFFFF);
    card.OutByte(0xD068, 0x20);
    card.OutByte(0xD069, 0x21);
    EXPECT_EQ(card.InWord(0xD002), 0x0606);
    card.Render(buffer.data(), 4800);
    EXPECT_EQ(applied.count, before + 1);
    EXPECT_EQ(applied.image[0x20], 0x21);
}

TEST(EmulatedCard, EachBankKeepsItsOwnAddressLatch) {
    EmulatedCard card;
    AppliedWrites applied(card);
    card.OutByte(kBase + 0x68, 0x40);
    card.OutByte(kBase + 0x6A, 0x43);
    card.OutByte(kBase + 0x6B, 0x11); // bank 1, 0x43
    card.OutByte(kBase + 0x69, 0x22); // bank 0, 0x40
    card.OutByte(kBase + 0x69, 0x33); // the latch stays: 0x40 again
    std::vector<float> buffer(2 * 4800);
    card.Render(buffer.data(), 4800);
    uint64_t digest = AppliedWrites::kDigestSeed;
    for (RegisterWrite w :
         {RegisterWrite{0x143, 0x11}, RegisterWrite{0x040, 0x22}, RegisterWrite{0x040, 0x33}})
        digest = AppliedWrites::Digest(digest, w);
    EXPECT_EQ(applied.count, 3u);
    EXPECT_EQ(applied.digest, digest);
    EXPECT_EQ(applied.image[0x143], 0x11);
    EXPECT_EQ(applied.image[0x040], 0x33);
}

TEST(EmulatedCard, WritesWithNobodyRenderingNeverBlockAndAllArrive) {
    // Without an audio output nothing drains the queue but the writer.
    EmulatedCard card;
    AppliedWrites applied(card);
    const size_t n = 3 * EmulatedCard::kQueueCapacity + 5;
    for (size_t i = 0; i < n; ++i) {
        card.OutByte(kBase + 0x68, 0xA0);
        card.OutByte(kBase + 0x69, static_cast<uint8_t>(i));
    }
    std::vector<float> buffer(2 * 4800);
    card.Render(buffer.data(), 4800);
    EXPECT_EQ(applied.count, n);
    EXPECT_EQ(applied.image[0xA0], static_cast<uint8_t>(n - 1));
}

// Follows the ports like the card does and digests the register writes.
class DigestPorts : public PortBackend {
public:
    void EnableAccess() override {}
    void OutByte(uint16_t port, uint8_t value) override {
        switch (port - kBase) {
        case 0x68:
            latch[0] = value;
            break;
        case 0x6A:
            latch[1] = value;
            break;
        case 0x69:
            Add({latch[0], value});
            break;
        case 0x6B:
            Add({static_cast<uint16_t>(0x100 | latch[1]), value});
            break;
        }
    }
    void OutWord(uint16_t, uint16_t) override {}
    uint16_t InWord(uint16_t) override { return 0x0606; }
    void Add(RegisterWrite w) {
        ++count;
        digest = AppliedWrites::Digest(digest, w);
    }
    uint8_t latch[2] = {0, 0};
    uint64_t count = 0;
    uint64_t digest = AppliedWrites::kDigestSeed;
};

// A million random register writes, then a sine note.
void Storm(OPL3& opl3) {
    std::mt19937 random(801);
    std::uniform_int_distribution<int> index(0x001, 0x1F5), value(0, 255);
    for (int i = 0; i < 1'000'000; ++i)
        opl3.WriteRegister(static_cast<uint16_t>(index(random)),
                           static_cast<uint8_t>(value(random)));
    opl3.Reset();
    opl3.SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    opl3.NoteOn(0, 0, 69);
}

TEST(EmulatedCard, StormOfWritesWhileRenderingArrivesWholeAndInOrder) {
    // The same construction (a reset) and storm, followed on plain ports.
    DigestPorts ports;
    uint64_t expectedCount = 0, expectedDigest = 0;
    {
        ScopedPortBackend scope(ports);
        OPL3 opl3(kBase + 0x68);
        Storm(opl3);
        expectedCount = ports.count;
        expectedDigest = ports.digest;
    }

    Rig rig;
    std::atomic<bool> writing{true};
    std::thread renderer([&] {
        std::vector<float> block(2 * EmulatedCard::kPreferredPeriod);
        while (writing.load())
            rig.card.Render(block.data(), EmulatedCard::kPreferredPeriod);
    });
    Storm(rig.Opl3());
    writing.store(false);
    renderer.join();
    const Signal s = rig.Render(0.6);

    const AppliedWrites& applied = rig.applied;
    EXPECT_EQ(applied.count, expectedCount);
    EXPECT_EQ(applied.digest, expectedDigest);
    for (uint16_t i = 0x001; i < 0x1F6; ++i)
        ASSERT_EQ(applied.image[i], rig.Opl3().ReadRegister(i)) << std::hex << i;

    // The chip itself followed: the note plays at its pitch.
    const int channel = KeyedTwoOperatorChannel(rig.Opl3());
    ASSERT_GE(channel, 0);
    const double expectedHz = ChannelFrequency(rig.Opl3(), static_cast<uint16_t>(channel));
    EXPECT_NEAR(Cents(MeasureFrequency(s.Channel(0, s.rate / 10), s.rate), expectedHz), 0.0, 0.1);
}

TEST(EmulatedCard, OutputEitherOpensWithItsDetailsOrSaysWhyNot) {
    Rig rig;
    const bool opened = rig.card.StartOutput();
    const AudioOutputInfo& info = rig.card.OutputInfo();
    EXPECT_EQ(info.open, opened);
    if (opened) {
        EXPECT_FALSE(info.api.empty());
        EXPECT_FALSE(info.device.empty());
        EXPECT_GT(info.rate, 0u);
        EXPECT_GT(info.period, 0u);
        EXPECT_GT(info.latencyMs, 0.0);
    } else {
        EXPECT_FALSE(info.error.empty());
        std::printf("no output: %s\n", info.error.c_str());
    }
    // Either way the card goes on taking writes.
    rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    rig.Opl3().Reset();
    rig.card.StopOutput();
    EXPECT_FALSE(rig.card.OutputInfo().open);
    EXPECT_FALSE(rig.card.OutputInfo().error.empty());
}

TEST(EmulatedCard, LookingForAnOutputPrintsNothing) {
    // Without a sound card ALSA's library prints its own errors and JACK's
    // its failed connection, unless told not to; the dialog says it better.
    char path[] = "/tmp/vi801-stderr-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file, 2);
    {
        EmulatedCard card;
        card.StartOutput();
        card.StopOutput();
    }
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path);
    EXPECT_EQ(text.str(), "");
}

} // namespace

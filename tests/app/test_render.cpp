// A MIDI file the test writes, rendered as --render renders it (the
// synthesizer core on the emulated card, with presets of the test's own)
// into a WAV file and measured: every message is heard at its own time, at
// the chip's own pitch.
#include "app/cardsession.h"
#include "app/songplayer.h"
#include "emulated/rig.h"
#include "error.h"
#include "hardware/opl3regs.h"
#include "presets/presetfile.h"
#include "render/offlinerender.h"
#include "render/rendersong.h"
#include "support/smfbuilder.h"
#include "synth/synthcore.h"
#include "wavfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

constexpr unsigned kRate = 48000;
// The card plays a write half a resampler filter after the frame it was made at.
constexpr double kLatency = 24.0 / EmulatedCard::kChipRate;

// The bank's presets, by program number: operator 6 alone, a sine at the
// note, at its octave, and one that is never released.
const char* const kPresets[] = {"A Sine", "B Octave", "C Held"};
constexpr int kOctave = 1;

SynthPatch Sine(uint8_t multiplier, uint8_t release) {
    SynthPatch patch = TwoOperatorSine();
    patch.Ops[5].Reg20 = static_cast<uint8_t>(opl3::kHold.Mask() | multiplier);
    patch.Ops[5].Reg80 = release;
    return patch;
}

// The 6op bank of the test's presets under root; the card at full volume.
void WritePresets(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "6op");
    const SynthPatch patches[] = {Sine(1, 0x0F), Sine(2, 0x0F), Sine(1, 0x00)};
    PatchSettings settings = TwoOperatorOutputs();
    settings.Volume = 31;
    for (size_t i = 0; i < std::size(kPresets); ++i) {
        const auto bytes = EncodePreset(PresetKind::SixOperator, kPresets[i], patches[i], settings);
        std::ofstream(root / "6op" / (std::string(kPresets[i]) + ".sbi"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
}

// What the chip was told to play: the F-number's pitch of the keyed note,
// times the preset's multiplier.
double ChipPitch(SynthCore& core) {
    const OPL3& opl3 = core.Chip();
    const int channel = KeyedTwoOperatorChannel(opl3);
    if (channel < 0) return 0;
    return ChannelFrequency(opl3, static_cast<uint16_t>(channel)) *
           (core.State().presetIndex == kOctave ? 2 : 1);
}

// 480 ticks a quarter, 120 bpm and from 2 s on 150 bpm. Message times in
// seconds: 0.25 on, 0.75 off (running status); 1.0 on, 1.5 off; 2.1 on,
// 2.4 bend +50 cents, 2.7 program 1 (an octave up), 3.0 master volume
// 12 dB down, 3.3 off. On channel 3, which the render plays; a note on
// channel 1 is not heard.
std::vector<uint8_t> Song() {
    return SmfBuilder(1, 480)
        .Track()
        .Tempo(0, 500000)
        .Tempo(1920, 400000)
        .EndOfTrack()
        .Track()
        .Event(0, {0xC2, 0})
        .Event(240, {0x92, 69, 100})
        .Event(480, {69, 0})
        .Event(240, {0x92, 57, 100})
        .Event(0, {0x90, 60, 100})
        .Event(480, {0x82, 57, 0})
        .Event(600, {0x92, 64, 100}) // tick 2040: 2.1 s
        .Event(360, {0xE2, 0, 96})
        .Event(360, {0xC2, kOctave})
        .Event(360, {0xB2, 7, 92}) // master volume 23 of 31: 8 steps of 1.5 dB down
        .Event(360, {0x82, 64, 0})
        .EndOfTrack()
        .Bytes();
}

struct Rendered {
    WavContents wav;
    std::vector<double> pitch; // after each message
    std::vector<TimedMessage> messages;
    RenderReport report;
};

// As the program renders: the card of a render, the core set up by the
// command line, each message handed over at its frame. The song's program
// changes choose presets unless told otherwise.
Rendered Render(const std::vector<uint8_t>& bytes, const QTemporaryDir& dir,
                const std::string& preset = kPresets[0], bool programChanges = true) {
    const std::filesystem::path root = dir.path().toStdString();
    WritePresets(root);
    CommandLine options;
    options.render = (root / "song.mid").string();
    options.out = (root / "song.wav").string();
    options.preset = preset;
    options.programChanges = programChanges;
    options.channel = 3;
    CardSession card(options);
    SongPlayer player(card.Emulated()->Base(), options, root);
    Rendered r;
    const MidiFile song = ParseMidiFile(bytes);
    r.messages = song.Messages;
    r.report = RenderToWav(
        song, RenderOptionsOf(options), *card.Emulated(),
        [&](ShortMessage m) {
            player.Play(m);
            r.pitch.push_back(ChipPitch(player.Core()));
        },
        nullptr);
    r.wav = ReadWav(options.out);
    return r;
}

std::vector<double> Window(const WavContents& wav, double from, double to) {
    std::vector<double> x;
    for (size_t i = static_cast<size_t>(from * kRate); i < static_cast<size_t>(to * kRate); ++i)
        x.push_back(wav.samples[2 * i]);
    return x;
}

double Onset(const WavContents& wav, double after) {
    for (size_t i = static_cast<size_t>(after * kRate); i < wav.Frames(); ++i)
        if (std::fabs(wav.samples[2 * i]) > 1e-3) return static_cast<double>(i) / kRate;
    return -1;
}

TEST(Render, EveryMessageIsHeardAtItsTimeAndTheChipsPitch) {
    QTemporaryDir dir;
    const Rendered r = Render(Song(), dir);
    ASSERT_TRUE(r.wav.read);
    ASSERT_EQ(r.messages.size(), 11u);
    ASSERT_DOUBLE_EQ(r.messages[6].Seconds, 2.1);

    // Onsets, 1 ms at most from the message's time plus the card's delay.
    double worstOnset = 0, worstPitch = 0;
    for (size_t m : {1, 3, 6}) {
        const double t = r.messages[m].Seconds, onset = Onset(r.wav, t - 0.05);
        EXPECT_NEAR(onset, t + kLatency, 0.001) << "note at " << t;
        worstOnset = std::max(worstOnset, std::fabs(onset - t - kLatency));
    }
    // Pitch within a cent of the chip's, between messages; the changes in
    // the middle of the last note are heard no further than a millisecond away.
    struct Span {
        size_t message; // the pitch after it
        double from, to;
    };
    const Span spans[] = {
        {1, 0.26, 0.74}, {3, 1.01, 1.49}, {6, 2.11, 2.4}, {7, 2.401, 2.7}, {8, 2.701, 3.29}};
    for (const Span& s : spans) {
        ASSERT_GT(r.pitch[s.message], 0) << "no note after message " << s.message;
        const double cents =
            Cents(MeasureFrequency(Window(r.wav, s.from, s.to), kRate), r.pitch[s.message]);
        EXPECT_NEAR(cents, 0.0, 1.0) << "from " << s.from;
        worstPitch = std::max(worstPitch, std::fabs(cents));
    }
    std::printf("onsets within %.3f ms of time + %.3f ms, pitch within %.4f cents\n",
                1000 * worstOnset, 1000 * kLatency, worstPitch);
    EXPECT_NEAR(Cents(r.pitch[7], r.pitch[6]), 50.0, 5.0);    // the bend, in F-number steps
    EXPECT_NEAR(Cents(r.pitch[8], r.pitch[7]), 1200.0, 0.01); // the program change
    // The controller: 12 dB down from its time on, after the card's 64-frame glide.
    const double before = Rms(Window(r.wav, 2.9, 3.0)), after = Rms(Window(r.wav, 3.002, 3.1));
    EXPECT_NEAR(Db(after / before), -12.0, 0.1);
    EXPECT_NEAR(Db(Rms(Window(r.wav, 2.997, 3.0)) / before), 0.0, 0.5);
    EXPECT_NEAR(Db(Rms(Window(r.wav, 3.002, 3.005)) / after), 0.0, 0.5);

    // Half a second of silence closes it, right after the note died away
    // (give or take a few milliseconds: the file stores a value below one
    // 24-bit step as zero, the render waits for it to fall below half a step).
    const size_t last = static_cast<size_t>(3.3 * kRate), silence = kRate / 2;
    ASSERT_GT(r.wav.Frames(), last + silence);
    EXPECT_LT(r.wav.Frames(), last + silence + kRate / 2);
    for (size_t i = r.wav.Frames() - silence; i < r.wav.Frames(); ++i)
        ASSERT_EQ(r.wav.samples[2 * i], 0.0f) << i;
    size_t audible = 0; // frames up to the last one the file holds as not zero
    for (size_t i = 0; i < r.wav.samples.size(); ++i)
        if (r.wav.samples[i] != 0) audible = i / 2 + 1;
    EXPECT_LT(r.wav.Frames() - audible, silence + kRate / 20);

    EXPECT_EQ(r.report.notes, 3); // channel 3's
    EXPECT_DOUBLE_EQ(r.report.seconds, static_cast<double>(r.wav.Frames()) / kRate);
    EXPECT_GT(r.report.speed, 1.0);
    float peak = 0;
    for (float x : r.wav.samples)
        peak = std::max(peak, std::fabs(x));
    EXPECT_NEAR(r.report.peak, peak, 1.0 / 8388608);
}

TEST(Render, ThePresetNamedPlaysThroughoutUnlessProgramChangesMayChoose) {
    QTemporaryDir dir;
    const Rendered r = Render(Song(), dir, kPresets[0], false);
    ASSERT_TRUE(r.wav.read);
    EXPECT_EQ(r.report.programChangesIgnored, 2); // channel 3's, at 0 and 2.7 s
    EXPECT_EQ(r.pitch.size(), r.messages.size() - 2);
    // No octave up at 2.7 s: the bent note goes on at its pitch.
    const double before = MeasureFrequency(Window(r.wav, 2.401, 2.7), kRate);
    const double after = MeasureFrequency(Window(r.wav, 2.701, 3.29), kRate);
    EXPECT_NEAR(Cents(after, before), 0.0, 1.0);
}

TEST(Render, ANoteThatNeverEndsStopsTenSecondsAfterTheLastMessage) {
    QTemporaryDir dir;
    const auto song = SmfBuilder(0, 480)
                          .Track()
                          .Event(96, {0x92, 60, 100})
                          .Event(96, {0x82, 60, 0})
                          .EndOfTrack()
                          .Bytes(); // off at 0.2 s, and release 0: it sounds on
    const Rendered r = Render(song, dir, kPresets[2]);
    EXPECT_EQ(r.wav.Frames(), kRate / 5 + 10 * kRate);
    EXPECT_GT(Rms(Window(r.wav, 10.0, 10.1)), 0.01);
}

TEST(Render, ASongTooLongForAWavFileIsRefusedBeforeAnythingIsWritten) {
    QTemporaryDir dir;
    MidiFile song = ParseMidiFile(Song());
    song.Messages.back().Seconds = 5 * 3600.0; // 24-bit stereo at 48 kHz: 4 GiB in 4.1 hours
    Rig rig(kRate);
    RenderOptions options;
    options.out = dir.filePath("long.wav").toStdString();
    try {
        RenderToWav(
            song, options, rig.card, [](ShortMessage) {}, nullptr);
        ADD_FAILURE() << "rendered";
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), options.out + ": longer than a WAV file holds (4 GiB)");
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

// A stop asked for while a million messages fall on one frame is heard
// before the next message, and the file is gone.
TEST(Render, AStopEndsTheRenderBetweenTwoMessagesOfOneFrame) {
    QTemporaryDir dir;
    MidiFile song;
    song.Messages.assign(1'000'000, TimedMessage{0.0, ShortMessage{0xC0, 0, 0}});
    Rig rig(kRate);
    RenderOptions options;
    options.out = dir.filePath("stopped.wav").toStdString();
    size_t delivered = 0;
    EXPECT_THROW(RenderToWav(
                     song, options, rig.card, [&delivered](ShortMessage) { ++delivered; }, nullptr,
                     [&delivered] {
                         if (delivered == 1000) throw Error("stopped");
                     }),
                 Error);
    EXPECT_EQ(delivered, 1000u);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

} // namespace

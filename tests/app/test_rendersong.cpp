// A MIDI file the test writes, rendered offline into a WAV file and measured:
// every message is heard at its own time, at the chip's own pitch.
#include "app/offlinerender.h"
#include "app/rendersong.h"
#include "emulated/rig.h"
#include "error.h"
#include "hardware/opl3regs.h"
#include "support/smfbuilder.h"
#include "wavfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

constexpr unsigned kRate = 48000;
// The card plays a write half a resampler filter after the frame it was made at.
constexpr double kLatency = 24.0 / EmulatedCard::kChipRate;

// Operator 6 alone, a sine at `multiplier` times the note, released at once
// (or never, release 0).
SynthPatch Sine(uint8_t multiplier, uint8_t release) {
    SynthPatch patch = TwoOperatorSine();
    patch.Ops[5].Reg20 = static_cast<uint8_t>(opl3::kHold.Mask() | multiplier);
    patch.Ops[5].Reg80 = release;
    return patch;
}

// Stands in for the main window: plays each message on the card's chip and
// notes the pitch the chip was given at that moment.
struct Player {
    explicit Player(OPL3& chip) : opl3(chip) { opl3.SetPatch(programs[0], TwoOperatorOutputs()); }

    void operator()(ShortMessage m) {
        switch (m.Status & 0xF0) {
        case 0x90:
            if (m.Data2) {
                opl3.NoteOn(bend, bend, m.Data1);
                break;
            }
            [[fallthrough]];
        case 0x80:
            opl3.NoteOff(m.Data1);
            break;
        case 0xC0:
            program = m.Data1;
            opl3.SetPatch(programs[program], TwoOperatorOutputs());
            break;
        case 0xE0:
            bend = static_cast<int32_t>((m.Data2 - 64) * 1.5625);
            opl3.Retune(bend, bend);
            break;
        case 0xB0:
            opl3.SetLevel(5, static_cast<uint8_t>(m.Data2 / 2));
            break;
        }
        const int channel = KeyedTwoOperatorChannel(opl3);
        pitch.push_back(channel < 0 ? 0
                                    : ChannelFrequency(opl3, static_cast<uint16_t>(channel)) *
                                          (program == 1 ? 2 : 1));
    }

    OPL3& opl3;
    const SynthPatch programs[3] = {Sine(1, 0x0F), Sine(2, 0x0F), Sine(1, 0x00)};
    int program = 0;
    int32_t bend = 0;
    std::vector<double> pitch; // after each message
};

// 480 ticks a quarter, 120 bpm and from 2 s on 150 bpm. Message times in
// seconds: 0.25 on, 0.75 off; 1.0 on, 1.5 off; 2.1 on, 2.4 bend +50 cents,
// 2.7 program 1 (an octave up), 3.0 controller (12 dB down), 3.3 off.
std::vector<uint8_t> Song() {
    return SmfBuilder(1, 480)
        .Track()
        .Tempo(0, 500000)
        .Tempo(1920, 400000)
        .EndOfTrack()
        .Track()
        .Event(0, {0xC0, 0})
        .Event(240, {0x90, 69, 100})
        .Event(480, {69, 0})
        .Event(240, {0x90, 57, 100})
        .Event(480, {0x80, 57, 0})
        .Event(600, {0x90, 64, 100}) // tick 2040: 2.1 s
        .Event(360, {0xE0, 0, 96})
        .Event(360, {0xC0, 1})
        .Event(360, {0xB0, 7, 78})
        .Event(360, {0x80, 64, 0})
        .EndOfTrack()
        .Bytes();
}

struct Rendered {
    WavContents wav;
    std::vector<double> pitch;
    std::vector<TimedMessage> messages;
    RenderReport report;
};

Rendered Render(const std::vector<uint8_t>& bytes, const std::string& out) {
    Rig rig(kRate);
    Player player(rig.Opl3());
    CommandLine options;
    options.out = out;
    Rendered r;
    const MidiFile song = ParseMidiFile(bytes);
    r.messages = song.Messages;
    r.report = RenderToWav(song, options, rig.card, std::ref(player), nullptr);
    r.pitch = player.pitch;
    r.wav = ReadWav(out);
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

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(RenderSong, EveryMessageIsHeardAtItsTimeAndTheChipsPitch) {
    QTemporaryDir dir;
    const std::string out = dir.filePath("song.wav").toStdString();
    const Rendered r = Render(Song(), out);
    ASSERT_TRUE(r.wav.read);
    ASSERT_EQ(r.messages.size(), 10u);
    ASSERT_DOUBLE_EQ(r.messages[5].Seconds, 2.1);

    // Onsets, 1 ms at most from the message's time plus the card's delay.
    double worstOnset = 0, worstPitch = 0;
    for (size_t m : {1, 3, 5}) {
        const double t = r.messages[m].Seconds, onset = Onset(r.wav, t - 0.05);
        EXPECT_NEAR(onset, t + kLatency, 0.001) << "note at " << t;
        worstOnset = std::max(worstOnset, std::fabs(onset - t - kLatency));
    }
    // Pitch within a cent of the chip's, between messages; the changes in
    // the middle of note 3 are heard no further than a millisecond away.
    struct Span {
        size_t message; // the pitch after it
        double from, to;
    };
    const Span spans[] = {
        {1, 0.26, 0.74}, {3, 1.01, 1.49}, {5, 2.11, 2.4}, {6, 2.401, 2.7}, {7, 2.701, 3.29}};
    for (const Span& s : spans) {
        const double measured = MeasureFrequency(Window(r.wav, s.from, s.to), kRate);
        EXPECT_NEAR(Cents(measured, r.pitch[s.message]), 0.0, 1.0) << "from " << s.from;
        worstPitch = std::max(worstPitch, std::fabs(Cents(measured, r.pitch[s.message])));
    }
    std::printf("onsets within %.3f ms of time + %.3f ms, pitch within %.4f cents\n",
                1000 * worstOnset, 1000 * kLatency, worstPitch);
    EXPECT_NEAR(Cents(r.pitch[6], r.pitch[5]), 50.0, 5.0); // the bend, in F-number steps
    // The controller: 12 dB down, from its time on.
    const double before = Rms(Window(r.wav, 2.9, 3.0)), after = Rms(Window(r.wav, 3.001, 3.1));
    EXPECT_NEAR(Db(after / before), -12.0, 0.5);
    EXPECT_NEAR(Db(Rms(Window(r.wav, 2.997, 3.0)) / before), 0.0, 1.0);
    EXPECT_NEAR(Db(Rms(Window(r.wav, 3.001, 3.004)) / after), 0.0, 1.0);

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

    EXPECT_EQ(r.report.notes, 3);
    EXPECT_DOUBLE_EQ(r.report.seconds, static_cast<double>(r.wav.Frames()) / kRate);
    EXPECT_GT(r.report.speed, 1.0);

    // Again: the very same bytes.
    const std::string again = dir.filePath("again.wav").toStdString();
    Render(Song(), again);
    EXPECT_TRUE(Bytes(again) == Bytes(out));
}

TEST(RenderSong, ANoteThatNeverEndsStopsTenSecondsAfterTheLastMessage) {
    QTemporaryDir dir;
    const auto song = SmfBuilder(0, 480)
                          .Track()
                          .Event(0, {0xC0, 2})
                          .Event(96, {0x90, 60, 100})
                          .Event(96, {0x80, 60, 0})
                          .EndOfTrack()
                          .Bytes(); // off at 0.2 s, and release 0: it sounds on
    const Rendered r = Render(song, dir.filePath("held.wav").toStdString());
    EXPECT_EQ(r.wav.Frames(), kRate / 5 + 10 * kRate);
    EXPECT_GT(Rms(Window(r.wav, 10.0, 10.1)), 0.01);
}

TEST(RenderSong, ASongTooLongForAWavFileIsRefusedBeforeAnythingIsWritten) {
    QTemporaryDir dir;
    MidiFile song = ParseMidiFile(Song());
    song.Messages.back().Seconds = 5 * 3600.0; // 24-bit stereo at 48 kHz: 4 GiB in 4.1 hours
    Rig rig(kRate);
    CommandLine options;
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

} // namespace

// The emulated card measured by its sound: pitch, level, silence, routing.
#include "hardware/emulated/finiteguard.h"
#include "rig.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

TEST(EmulatedSound, NotesSoundAtTheFrequencyOfTheirFNumberAndBlock) {
    for (unsigned rate : {44100u, 48000u}) {
        for (uint8_t note : {57, 60, 69, 81}) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << " note " << int(note));
            Rig rig(rate);
            rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
            ASSERT_EQ(rig.Opl3().NoteOn(0, 0, note), 1);
            const int channel = KeyedTwoOperatorChannel(rig.Opl3());
            ASSERT_GE(channel, 0);
            const double expected = ChannelFrequency(rig.Opl3(), static_cast<uint16_t>(channel));

            rig.Render(0.1); // attack and resampler settle
            const Signal s = rig.Render(2.0);
            for (int side = 0; side < 2; ++side) {
                const double measured = MeasureFrequency(s.Channel(side), s.rate);
                const double error = Cents(measured, expected);
                if (side == 0)
                    std::printf("pitch rate %u note %d: expected %.4f Hz measured %.4f Hz, "
                                "%+.4f cents\n",
                                rate, note, expected, measured, error);
                EXPECT_NEAR(error, 0.0, 0.1) << "side " << side;
            }
        }
    }
}

// Steady level of each side after a volume change has glided in.
std::pair<double, double> Levels(Rig& rig) {
    rig.Render(0.02);
    const Signal s = rig.Render(0.25);
    return {Rms(s.Channel(0)), Rms(s.Channel(1))};
}

TEST(EmulatedSound, EachAttenuationStepLowersTheLevelBy1Point5Decibels) {
    Rig rig;
    rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    rig.Opl3().NoteOn(0, 0, 69);
    rig.Render(0.1);
    // Left walks down while right walks up, so both fields are checked apart.
    double previousLeft = 0, previousRight = 0;
    for (uint8_t step = 0; step < 32; ++step) {
        rig.fm.SetAttenuation(step, static_cast<uint8_t>(31 - step));
        const auto [left, right] = Levels(rig);
        ASSERT_GT(left, 0.0);
        ASSERT_GT(right, 0.0);
        if (step > 0) {
            SCOPED_TRACE(testing::Message() << "step " << int(step));
            EXPECT_NEAR(Db(left / previousLeft), -1.5, 0.1);
            EXPECT_NEAR(Db(right / previousRight), 1.5, 0.1);
        }
        previousLeft = left;
        previousRight = right;
    }
}

// The output stage's fixed gain: a full-level operator, about -18 dB of the
// chip's 16-bit scale, fills the output at the card's top volume.
TEST(EmulatedSound, AFullLevelOperatorPeaksAtFullScaleAtTheTopVolume) {
    struct Case {
        uint8_t attenuation;
        double peakDb;
    };
    for (const Case c : {Case{0, 0.0}, Case{6, -9.0}, Case{20, -30.0}}) {
        SCOPED_TRACE(testing::Message() << "attenuation " << int(c.attenuation));
        Rig rig;
        SynthPatch patch = TwoOperatorSine();
        patch.Ops[5] = SineOperator(63);
        rig.Opl3().SetPatch(patch, TwoOperatorOutputs());
        rig.fm.SetAttenuation(c.attenuation, c.attenuation);
        rig.Opl3().NoteOn(0, 0, 69);
        rig.Render(0.1);
        const Signal s = rig.Render(0.5);
        for (int side = 0; side < 2; ++side)
            EXPECT_NEAR(Db(Peak(s.Channel(side))), c.peakDb, 0.3) << "side " << side;
    }
}

TEST(EmulatedSound, MuteSilencesBothSidesAndUnmuteRestoresThem) {
    Rig rig;
    rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    rig.Opl3().NoteOn(0, 0, 69);
    const auto [left, right] = Levels(rig);
    rig.fm.Mute();
    const auto [mutedLeft, mutedRight] = Levels(rig);
    EXPECT_EQ(mutedLeft, 0.0);
    EXPECT_EQ(mutedRight, 0.0);
    rig.fm.Unmute();
    const auto [againLeft, againRight] = Levels(rig);
    EXPECT_NEAR(Db(againLeft / left), 0.0, 0.1);
    EXPECT_NEAR(Db(againRight / right), 0.0, 0.1);
}

TEST(EmulatedSound, ResetSilencesASoundingNote) {
    Rig rig;
    rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    rig.Opl3().NoteOn(0, 0, 60);
    const Signal before = rig.Render(0.2);
    ASSERT_GT(Rms(before.Channel(0)), 0.01);
    rig.Opl3().Reset();
    rig.Render(0.5);
    const Signal after = rig.Render(0.5);
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side);
        EXPECT_LT(Db(Peak(after.Channel(side))), -96.0);
    }
}

TEST(EmulatedSound, OutputsRouteToTheirSide) {
    // Every operator sounds, so whichever voice has an output is heard.
    SynthPatch loud;
    for (auto& op : loud.Ops)
        op = SineOperator(50);
    SetConnectionBits(loud, 7);
    struct Case {
        uint8_t outputs;
        bool left, right;
    };
    const Case cases[] = {
        {outputs::kA, true, false},  {outputs::kB, false, true},
        {outputs::kA2, true, false}, {outputs::kB2, false, true},
        {0, false, false},           {outputs::kA | outputs::kB2, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "outputs " << int(c.outputs));
        Rig rig;
        PatchSettings settings;
        settings.Outputs = c.outputs;
        rig.Opl3().SetPatch(loud, settings);
        rig.Opl3().NoteOn(0, 0, 64);
        rig.Render(0.05);
        const Signal s = rig.Render(0.2);
        const double left = Rms(s.Channel(0)), right = Rms(s.Channel(1));
        EXPECT_EQ(left > 0.01, c.left) << left;
        EXPECT_EQ(right > 0.01, c.right) << right;
        if (!c.left) {
            EXPECT_LT(Db(Peak(s.Channel(0))), -96.0);
        }
        if (!c.right) {
            EXPECT_LT(Db(Peak(s.Channel(1))), -96.0);
        }
    }
}

} // namespace

namespace {

// Frames from the first of `signal` to its first frame above -60 dBFS.
size_t FirstSound(const Signal& s) {
    for (size_t i = 0; i < s.Frames(); ++i)
        if (std::fabs(s.samples[2 * i]) > 1e-3 || std::fabs(s.samples[2 * i + 1]) > 1e-3) return i;
    return s.Frames();
}

TEST(EmulatedSound, AKeyOnWrittenBeforeAPeriodIsHeardInThatPeriod) {
    for (size_t period : {32u, 64u, 128u}) {
        // Many starting points, so the key-on meets the resampler at many phases.
        for (size_t silent : {1u, 7u, 20u, 33u}) {
            SCOPED_TRACE(testing::Message() << "period " << period << " after " << silent);
            Rig rig;
            rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
            rig.RenderFrames(silent * period, period);
            rig.Opl3().NoteOn(0, 0, 69);
            EXPECT_LT(FirstSound(rig.RenderFrames(4 * period, period)), period);
        }
    }
}

TEST(EmulatedSound, ANoteAfterALongSilenceSoundsAsOnACardThatNeverSlept) {
    constexpr size_t kPeriod = 64;
    Rig fresh;
    fresh.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    fresh.Opl3().NoteOn(0, 0, 69);
    const Signal expected = fresh.RenderFrames(9600, kPeriod);

    Rig slept;
    slept.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    slept.RenderFrames(3 * 48000 + 17, kPeriod);
    ASSERT_TRUE(slept.card.Sleeping());
    slept.Opl3().NoteOn(0, 0, 69);
    const Signal woken = slept.RenderFrames(9600, kPeriod);
    EXPECT_FALSE(slept.card.Sleeping());
    EXPECT_LT(FirstSound(woken), kPeriod);
    ASSERT_EQ(woken.samples.size(), expected.samples.size());
    for (size_t i = 0; i < woken.samples.size(); ++i)
        ASSERT_EQ(woken.samples[i], expected.samples[i]) << "sample " << i;
}

// The output stage's last guard: only what is not a number at all becomes
// silence; every finite sample, however extreme, passes bit for bit.
TEST(EmulatedSound, TheLastGuardSilencesOnlyWhatIsNotFinite) {
    using Limits = std::numeric_limits<float>;
    struct Case {
        float in, out;
    };
    const Case cases[] = {
        {Limits::quiet_NaN(), 0.0f},
        {-Limits::quiet_NaN(), 0.0f},
        {Limits::signaling_NaN(), 0.0f},
        {Limits::infinity(), 0.0f},
        {-Limits::infinity(), 0.0f},
        {0.5f, 0.5f},
        {-1.0f, -1.0f},
        {Limits::max(), Limits::max()},
        {-Limits::max(), -Limits::max()},
        {Limits::denorm_min(), Limits::denorm_min()},
        {-0.0f, -0.0f},
        {0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in);
        const float out = FiniteOrSilence(c.in);
        EXPECT_EQ(std::bit_cast<uint32_t>(out), std::bit_cast<uint32_t>(c.out));
    }
}

} // namespace

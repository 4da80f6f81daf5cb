// Undo, redo and the A/B compare in the synthesizer core: every change of
// the patch is a step, a gesture is one, and after every step back or
// forth the chip holds what the values say.
#include "synth/corefixture.h"

#include "presets/presetfile.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The chip's registers apart from the notes' frequencies and keys.
std::vector<uint8_t> PatchRegisters(const OPL3& chip) {
    std::vector<uint8_t> image;
    for (uint16_t r = 0; r < OPL3::kRegisterCount; ++r)
        if ((r & 0xFF) < 0xA0 || (r & 0xFF) > 0xB8) image.push_back(chip.Shadow[r]);
    return image;
}

// What the values say: the whole patch programmed on a chip of its own.
std::vector<uint8_t> RegistersOf(const SynthState& state) {
    PortRecorder rec;
    ScopedThreadPortBackend ports(rec);
    OPL3 chip(kOplPort);
    chip.SetPatch(SynthPatchOf(state), PatchSettingsOf(state));
    return PatchRegisters(chip);
}

PresetChoice Preset(uint8_t level, uint8_t volume) {
    SynthPatch patch;
    patch.Ops.fill({0x21, level, 0xF2, 0x54, 3});
    patch.RegC0Ops12 = 0x0B;
    PatchSettings settings;
    settings.Volume = volume;
    settings.Pan = -20;
    settings.Tuning1 = 1200;
    settings.Outputs = 0x0F;
    return PresetChoice::FromBytes(EncodePreset(PresetKind::SixOperator, "", patch, settings));
}

struct Edit {
    const char* name;
    std::function<void(SynthCore&)> run;
};

// One of every kind of change of the patch.
const std::vector<Edit>& Edits() {
    static const std::vector<Edit> edits = {
        {"a bar", [](SynthCore& c) { c.SetOperatorField(2, kFieldAttack, 4); }},
        {"a check", [](SynthCore& c) { c.SetOperatorField(0, kFieldTremolo, 1); }},
        {"a list", [](SynthCore& c) { c.SetOperatorField(5, kFieldWaveform, 3); }},
        {"a voice list", [](SynthCore& c) { c.SetVoiceField(VoiceField::Connection, 2); }},
        {"an output", [](SynthCore& c) { c.SetVoiceField(VoiceField::OutputB2, 0); }},
        {"volume and pan", [](SynthCore& c) { c.SetVolumeAndPan(12, 30); }},
        {"a tuning", [](SynthCore& c) { c.SetTuning(Tuning::Voice2, TuningFromText(-1, "+7")); }},
        {"CC", [](SynthCore& c) { c.SetCcEnabled(1, true); }},
        {"paste",
         [](SynthCore& c) {
             c.PasteOperator(3, {0xE1, 0x45, 0x3A, 0x27, 2});
         }},
        {"a controller", [](SynthCore& c) { c.HandleController(77, 90); }},
        {"a preset", [](SynthCore& c) { c.LoadPreset(Preset(0x10, 9)); }},
        {"clear", [](SynthCore& c) { c.ClearOperator(0); }},
        {"default", [](SynthCore& c) { c.LoadDefaultPatch(); }},
        {"a program change",
         [](SynthCore& c) {
             c.HandleMidiData(1, {0xC0, 0, 0});
         }},
    };
    return edits;
}

TEST(History, UndoAndRedoWalkEveryKindOfStepWithTheChip) {
    Core c;
    PresetBank bank;
    bank.Names = {"P"};
    bank.Choices = {Preset(0x05, 20)};
    c.core->SetBank(&bank);
    std::vector<SynthState> after = {c.State()};
    for (const Edit& edit : Edits()) {
        edit.run(*c.core);
        after.push_back(c.State());
        EXPECT_EQ(c.State().undoSteps, static_cast<int>(after.size() - 1)) << edit.name;
    }
    // A typed tuning comes back as its number: the cents are what count.
    const auto same = [](const SynthState& a, const SynthState& b) {
        for (int t = 0; t < kTuningCount; ++t)
            if (a.tunings[t].cents != b.tunings[t].cents) return false;
        return a.ops == b.ops && a.voice == b.voice && a.volume == b.volume && a.pan == b.pan;
    };
    for (size_t i = after.size() - 1; i-- > 0;) {
        SCOPED_TRACE(std::string("undo ") + Edits()[i].name);
        c.core->Undo();
        EXPECT_TRUE(same(c.State(), after[i]));
        EXPECT_EQ(PatchRegisters(c.core->Chip()), RegistersOf(c.State()));
        EXPECT_EQ(c.State().volume, after[i].volume);
    }
    EXPECT_EQ(c.State().undoSteps, 0);
    c.rec.Clear();
    c.core->Undo(); // nothing left
    EXPECT_TRUE(c.rec.Accesses().empty());
    for (size_t i = 1; i < after.size(); ++i) {
        SCOPED_TRACE(std::string("redo ") + Edits()[i - 1].name);
        c.core->Redo();
        EXPECT_TRUE(same(c.State(), after[i]));
        EXPECT_EQ(PatchRegisters(c.core->Chip()), RegistersOf(c.State()));
    }
    EXPECT_EQ(c.State().redoSteps, 0);
    c.core->SetBank(nullptr);
}

TEST(History, ATypedTuningComesBackAsItsNumberAndANewStepDropsTheRedo) {
    Core c;
    c.core->SetTuning(Tuning::Voice1, TuningFromText(-1, "+12 cents or so"));
    c.core->SetOperatorField(0, kFieldVolume, 40);
    c.core->Undo();
    c.core->Undo();
    const uint32_t serial = c.State().tunings[1].serial;
    c.core->Redo();
    EXPECT_EQ(c.State().tunings[1].Shown(), "12");
    EXPECT_EQ(c.State().tunings[1].serial, serial + 1);
    EXPECT_EQ(c.State().redoSteps, 1);
    c.core->SetOperatorField(1, kFieldVolume, 30);
    EXPECT_EQ(c.State().redoSteps, 0);
    EXPECT_EQ(c.State().undoSteps, 2);
}

int64_t g_now = 0;
int64_t FakeClock() {
    return g_now;
}

// Which edits are one step: a drag, a controller turned or a tuning typed
// without a pause of more than a second.
TEST(History, AGestureIsOneStep) {
    struct Case {
        const char* name;
        std::function<void(SynthCore&)> run;
        int steps;
    };
    uint8_t value = 0; // every turn moves on: volume and pan change each time
    const auto turn = [&value](SynthCore& c, uint8_t number, std::initializer_list<int64_t> times) {
        for (int64_t t : times) {
            g_now = t;
            c.HandleController(number, value += 8);
        }
    };
    const Case cases[] = {
        {"a drag",
         [](SynthCore& c) {
             c.BeginGesture();
             for (int v = 0; v < 10; ++v)
                 c.SetOperatorField(1, kFieldDecay, v);
             c.EndGesture();
         },
         1},
        {"two drags",
         [](SynthCore& c) {
             for (int drag = 0; drag < 2; ++drag) {
                 c.BeginGesture();
                 c.SetVolumeAndPan(3 + drag, 0);
                 c.SetVolumeAndPan(9 + drag, 0);
                 c.EndGesture();
             }
         },
         2},
        {"clicks on a bar",
         [](SynthCore& c) {
             for (int v = 0; v < 3; ++v)
                 c.SetOperatorField(1, kFieldDecay, v);
         },
         3},
        {"a knob",
         [&](SynthCore& c) {
             turn(c, 7, {0, 300, 900, 1800});
         },
         1},
        {"a knob with a pause",
         [&](SynthCore& c) {
             turn(c, 7, {0, 300, 1301, 1500});
         },
         2},
        {"two knobs in turn",
         [&](SynthCore& c) {
             turn(c, 7, {0});
             turn(c, 10, {10});
             turn(c, 7, {20});
         },
         3},
        {"a knob that moves nothing",
         [&](SynthCore& c) {
             turn(c, 74, {0, 10});
         },
         0},
        {"typing",
         [](SynthCore& c) {
             for (const char* text : {"+", "+1", "+12", "+120", "+1200"}) {
                 g_now += 200;
                 c.SetTuning(Tuning::Transpose, TuningFromText(-1, text));
             }
         },
         1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Core c;
        c.core->SetClock(&FakeClock);
        g_now = 0;
        value = 0;
        k.run(*c.core);
        EXPECT_EQ(c.State().undoSteps, k.steps);
    }
    // An undo ends a gesture: what follows is a step of its own.
    Core c;
    c.core->SetClock(&FakeClock);
    turn(*c.core, 7, {0, 100});
    c.core->Undo();
    turn(*c.core, 7, {200, 300});
    EXPECT_EQ(c.State().undoSteps, 1);
    EXPECT_EQ(c.State().redoSteps, 0);
}

TEST(History, KeepsTheLast255StepsInMemoryMadeOnce) {
    static_assert(PatchHistory::kCapacity - 1 >= 200);
    static_assert(PatchHistory::kBytes <= 64 * 1024);
    Core c;
    for (int i = 0; i < 300; ++i)
        c.core->SetVolumeAndPan(i % 32, i % 2 ? 10 : -10);
    EXPECT_EQ(c.State().undoSteps, 255);
    while (c.State().undoSteps > 0)
        c.core->Undo();
    EXPECT_EQ(c.State().volume, 44 % 32); // after the 45th edit
    EXPECT_EQ(c.State().redoSteps, 255);
    c.core->ForgetHistory();
    EXPECT_EQ(c.State().redoSteps, 0);
}

TEST(Compare, TwoMemoriesSwitchAndCopy) {
    Core c;
    const auto level = [&c] { return c.State().ops[0].fields[kFieldVolume]; };
    c.core->SetOperatorField(0, kFieldVolume, 40); // A
    c.rec.Clear();
    c.core->SwitchCompare(); // B starts as A: nothing changes but the memory
    EXPECT_TRUE(c.State().comparingB);
    EXPECT_TRUE(c.rec.Accesses().empty());
    c.core->SetOperatorField(0, kFieldVolume, 50); // B
    c.core->SwitchCompare();
    EXPECT_FALSE(c.State().comparingB);
    EXPECT_EQ(level(), 40);
    EXPECT_EQ(PatchRegisters(c.core->Chip()), RegistersOf(c.State()));
    c.core->SwitchCompare();
    EXPECT_EQ(level(), 50);
    c.core->CopyAToB(); // B sounding becomes A
    EXPECT_TRUE(c.State().comparingB);
    EXPECT_EQ(level(), 40);
    EXPECT_EQ(PatchRegisters(c.core->Chip()), RegistersOf(c.State()));

    // Switches and copies are steps too: undo goes back through them.
    c.core->Undo(); // the copy
    EXPECT_EQ(level(), 50);
    c.core->Undo(); // the last switch
    EXPECT_FALSE(c.State().comparingB);
    EXPECT_EQ(level(), 40);
    c.core->Undo(); // the switch before
    c.core->Undo(); // the edit of B
    EXPECT_TRUE(c.State().comparingB);
    EXPECT_EQ(level(), 40);
    c.core->Undo(); // the first switch
    EXPECT_FALSE(c.State().comparingB);
    EXPECT_EQ(c.State().undoSteps, 1);

    // Copying while A sounds keeps the sound and makes B the same.
    Core d;
    d.core->SetOperatorField(0, kFieldVolume, 40);
    d.core->SwitchCompare();
    d.core->SetOperatorField(0, kFieldVolume, 50);
    d.core->SwitchCompare();
    d.core->CopyAToB();
    d.core->SwitchCompare();
    EXPECT_EQ(d.State().ops[0].fields[kFieldVolume], 40);
}

TEST(History, ContinuesOnlyTheSameGestureOrControlWithinThePause) {
    using K = StepKey::Kind;
    struct Case {
        StepKey last, next;
        bool continues;
    };
    const Case cases[] = {
        {{K::Gesture, 3, 0}, {K::Gesture, 3, 99999}, true},
        {{K::Gesture, 3, 0}, {K::Gesture, 4, 0}, false},
        {{K::Controller, 7, 0}, {K::Controller, 7, kStepPauseMs}, true},
        {{K::Controller, 7, 0}, {K::Controller, 7, kStepPauseMs + 1}, false},
        {{K::Controller, 7, 50}, {K::Controller, 7, 10}, false}, // a clock that went back
        {{K::Controller, 7, 0}, {K::Controller, 8, 0}, false},
        {{K::Tuning, 1, 0}, {K::Controller, 1, 0}, false},
        {{K::Single, 0, 0}, {K::Single, 0, 0}, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(ContinuesStep(k.last, k.next), k.continues)
            << int(k.last.kind) << "/" << k.last.id << " then " << int(k.next.kind) << "/"
            << k.next.id << " at " << k.next.ms;
}

} // namespace

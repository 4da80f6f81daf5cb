// The core's pedals, bend range and MIDI learn, without any window: the sustain
// and sostenuto pedals, the bend range and its registered parameter, and
// MIDI learn.
#include "synth/corefixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct Message {
    uint8_t status, data1, data2;
};

std::vector<int> Sounding(const SynthCore& core) {
    std::vector<int> notes;
    for (int32_t note : const_cast<SynthCore&>(core).Chip().Slots)
        if (note != OPL3::FreeSlot) notes.push_back(note);
    std::sort(notes.begin(), notes.end());
    return notes;
}

void Play(Core& c, const std::vector<Message>& messages) {
    for (const Message& m : messages)
        c.Send(m.status, m.data1, m.data2);
}

// The writes act makes after prepare, on a core of their own (one recorder
// is the port backend at a time).
std::vector<RegWrite> WritesOf(const std::function<void(Core&)>& prepare,
                               const std::function<void(Core&)>& act) {
    Core c;
    prepare(c);
    c.rec.Clear();
    act(c);
    return c.Writes();
}

TEST(Pedals, HoldReleasedNotesUntilTheyGoUp) {
    struct Case {
        const char* name;
        std::vector<Message> messages;
        std::vector<int> sounding;
        bool chord = false;
    };
    const Case cases[] = {
        {"a key released under the pedal", {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}}, {60}},
        {"the pedal up", {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}, {0xB0, 64, 0}}, {}},
        {"pressed before the note, a note on at velocity 0 as the key up",
         {{0xB0, 64, 64}, {0x90, 60, 100}, {0x90, 60, 0}},
         {60}},
        {"below 64 is up", {{0x90, 60, 100}, {0xB0, 64, 63}, {0x80, 60, 0}}, {}},
        {"a key still down when the pedal goes up",
         {{0xB0, 64, 127}, {0x90, 60, 100}, {0x90, 62, 100}, {0x80, 62, 0}, {0xB0, 64, 0}},
         {60}},
        {"a held note struck again and released",
         {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}, {0x90, 60, 90}, {0x80, 60, 0}},
         {60}},
        {"all notes off forgets what was held",
         {{0x90, 60, 100},
          {0xB0, 64, 127},
          {0x80, 60, 0},
          {0xB0, 123, 0},
          {0x90, 61, 100},
          {0xB0, 64, 0}},
         {61}},
        {"reset all controllers lifts it",
         {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}, {0xB0, 121, 0}},
         {}},
        {"another channel's pedal", {{0x90, 60, 100}, {0xB1, 64, 127}, {0x80, 60, 0}}, {}},
        {"sostenuto keeps the keys down when it went down",
         {{0x90, 60, 100},
          {0x90, 64, 100},
          {0xB0, 66, 127},
          {0x80, 60, 0},
          {0x90, 67, 100},
          {0x80, 67, 0}},
         {60, 64}},
        {"sostenuto up",
         {{0x90, 60, 100}, {0x90, 64, 100}, {0xB0, 66, 127}, {0x80, 60, 0}, {0xB0, 66, 0}},
         {64}},
        {"sustain up under sostenuto",
         {{0x90, 60, 100},
          {0xB0, 66, 127},
          {0xB0, 64, 127},
          {0x80, 60, 0},
          {0x90, 62, 100},
          {0x80, 62, 0},
          {0xB0, 64, 0}},
         {60}},
        {"a chord", {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}}, {60, 64, 67}, true},
        {"a chord let go",
         {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}, {0xB0, 64, 0}},
         {},
         true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Core c;
        c.core->SetChord(k.chord);
        Play(c, k.messages);
        EXPECT_EQ(Sounding(*c.core), k.sounding);
        EXPECT_EQ(c.State().poly, static_cast<int>(k.sounding.size()));
    }
}

// Released and started again, as if no pedal had held it.
TEST(Pedals, AHeldNoteStruckAgainStartsAgain) {
    const auto again = WritesOf(
        [](Core& c) {
            Play(c, {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}});
        },
        [](Core& c) { c.Send(0x90, 60, 90); });
    const auto plain = WritesOf(
        [](Core& c) {
            Play(c, {{0x90, 60, 100}});
        },
        [](Core& c) {
            c.core->Chip().NoteOff(60);
            c.core->Chip().NoteOn(0, 0, 60);
        });
    EXPECT_EQ(again, plain);
    EXPECT_FALSE(again.empty());
}

TEST(Pedals, ABoundRowTheSettingAndAChannelChangeComeFirst) {
    Core bound;
    bound.core->SetControllerNumber(1, 64); // Master Volume
    Play(bound, {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}});
    EXPECT_EQ(bound.State().volume, 31);
    EXPECT_TRUE(Sounding(*bound.core).empty());

    Core off;
    off.core->SetPedalsEnabled(false);
    Play(off, {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}});
    EXPECT_TRUE(Sounding(*off.core).empty());
    EXPECT_FALSE(off.State().sustain);

    Core moved;
    Play(moved, {{0x90, 60, 100}, {0x90, 62, 100}, {0xB0, 64, 127}, {0x80, 60, 0}});
    EXPECT_TRUE(moved.State().sustain);
    moved.core->SetMidiChannel(3);
    EXPECT_EQ(Sounding(*moved.core), std::vector<int>{62}); // its key is still down
    EXPECT_EQ(moved.State().poly, 1);
    EXPECT_FALSE(moved.State().sustain);

    // Turned off while down: what it holds is let go.
    Core lifted;
    Play(lifted, {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}});
    lifted.core->SetPedalsEnabled(false);
    EXPECT_TRUE(Sounding(*lifted.core).empty());
}

// A pedal that moves with nothing to hold sends nothing.
TEST(Pedals, WithNothingHeldThePedalsSendNothing) {
    Core c;
    Play(c, {{0xB0, 64, 127}, {0xB0, 66, 127}, {0xB0, 64, 0}, {0xB0, 66, 0}, {0xB0, 121, 0}});
    EXPECT_TRUE(c.rec.Accesses().empty());
}

// --- the bend range ---

TEST(BendRange, RegisteredParameterZeroSetsItWhenDataEntryIsFree) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, uint8_t>> controllers;
        int range;
    };
    const Case cases[] = {
        {"two semitones", {{101, 0}, {100, 0}, {6, 2}}, 200},
        {"and fifty cents", {{101, 0}, {100, 0}, {6, 2}, {38, 50}}, 250},
        {"cents first, then semitones", {{101, 0}, {100, 0}, {38, 50}, {6, 3}}, 300},
        {"at most two octaves", {{101, 0}, {100, 0}, {6, 30}}, 2400},
        {"another parameter", {{101, 0}, {100, 1}, {6, 2}}, 100},
        {"a non-registered one chosen since", {{101, 0}, {100, 0}, {99, 1}, {6, 2}}, 100},
        {"reset all controllers", {{101, 0}, {100, 0}, {121, 0}, {6, 2}}, 100},
        {"no parameter chosen", {{6, 2}}, 100},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Core c;
        c.core->SetControllerNumber(0, kUnbound); // Master Tuning leaves controller 6
        for (auto [number, value] : k.controllers)
            c.Send(0xB0, number, value);
        EXPECT_EQ(c.State().bendRange, k.range);
    }
    // Bound, data entry goes to its row.
    Core c;
    for (auto [number, value] : {std::pair<uint8_t, uint8_t>{101, 0}, {100, 0}, {6, 127}})
        c.Send(0xB0, number, value);
    EXPECT_EQ(c.State().bendRange, 100);
    EXPECT_EQ(c.State().tunings[0].cents, 3600);
}

// The core bends every sounding note by what the bend reads at its range.
TEST(BendRange, SoundingNotesAreRetunedByTheBendAtTheRange) {
    struct Case {
        int range;
        uint8_t data1, data2;
        int32_t cents;
    };
    const Case cases[] = {{100, 0x7F, 127, 98}, {200, 0x7F, 127, 200}, {2400, 0, 0, -2400}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.range);
        const auto bent = WritesOf(
            [&k](Core& c) {
                c.core->SetBendRange(k.range);
                c.Send(0x90, 69, 127);
            },
            [&k](Core& c) { c.Send(0xE0, k.data1, k.data2); });
        const auto plain = WritesOf([](Core& c) { c.Send(0x90, 69, 127); },
                                    [&k](Core& c) { c.core->Chip().Retune(k.cents, k.cents); });
        EXPECT_EQ(bent, plain);
    }
    Core c;
    c.core->SetBendRange(5000);
    EXPECT_EQ(c.State().bendRange, 2400);
    c.core->SetBendRange(-3);
    EXPECT_EQ(c.State().bendRange, 0);
}

// --- MIDI learn ---

TEST(Learn, TheNextControllerOnTheChannelBindsAndMovesFromItsRow) {
    Core c;
    c.core->SetMidiChannel(2);
    c.core->Learn(17); // Operator Attack
    EXPECT_EQ(c.State().learnRow, 17);
    c.Send(0xB0, 7, 100); // another channel
    c.Send(0xB2, 123, 0); // a channel mode message is not a controller
    EXPECT_EQ(c.State().learnRow, 17);
    c.Send(0xB2, 7, 20); // Master Volume's
    EXPECT_EQ(c.State().learnRow, -1);
    EXPECT_EQ(c.State().controllers[17], 7);
    EXPECT_EQ(c.State().controllers[1], kUnbound);
    EXPECT_EQ(c.State().learned, (LearnedBinding{17, 7, 1, 1}));
    EXPECT_EQ(c.State().volume, 25); // learning took the message

    c.core->Learn(17);
    c.Send(0xB2, 20, 1); // free: nobody loses it
    EXPECT_EQ(c.State().learned, (LearnedBinding{17, 20, -1, 2}));
    EXPECT_EQ(c.State().controllers[17], 20);

    c.core->Learn(1);
    c.core->Learn(-1); // Esc
    c.Send(0xB2, 20, 0);
    EXPECT_EQ(c.State().controllers[1], kUnbound);
    EXPECT_EQ(c.State().learned.serial, 2u);
}

} // namespace

#include "synth/noterules.h"

#include <climits>
#include <gtest/gtest.h>

TEST(NoteRules, BendSpansMinus100ToPlus98CentsCutTowardZero) {
    const std::pair<uint8_t, int32_t> cases[] = {
        {0, -100}, {1, -98}, {63, -1}, {64, 0}, {65, 1}, {100, 56}, {127, 98},
    };
    for (auto [data2, cents] : cases)
        EXPECT_EQ(BendCents(data2), cents) << int(data2);
}

// At the default range a bend reads its upper seven bits only; at any other
// all fourteen, each half reaching the range at its end.
TEST(NoteRules, ABendReadsFourteenBitsAtAnyRangeButTheDefault) {
    struct Case {
        int32_t range;
        uint8_t data1, data2;
        int32_t cents;
    };
    const Case cases[] = {{100, 0x7F, 127, 98},  {100, 0x00, 127, 98},    {100, 0x7F, 0, -100},
                          {200, 0x7F, 127, 200}, {200, 0, 0, -200},       {200, 0, 96, 100},
                          {200, 0x7F, 63, 0},    {200, 0, 32, -100},      {2400, 0, 64, 0},
                          {2400, 1, 64, 0},      {2400, 0x7F, 127, 2400}, {0, 0x7F, 127, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(BendCents(c.data1, c.data2, c.range), c.cents)
            << c.range << " " << int(c.data1) << " " << int(c.data2);
}

TEST(NoteRules, DataEntryGivesTheBendRangeInSemitonesThenCents) {
    EXPECT_EQ(BendRangeFromSemitones(2), 200);
    EXPECT_EQ(BendRangeFromSemitones(24), 2400);
    EXPECT_EQ(BendRangeFromSemitones(127), 2400);
    EXPECT_EQ(BendRangeWithCents(200, 50), 250);
    EXPECT_EQ(BendRangeWithCents(250, 10), 210); // the cents are replaced
    EXPECT_EQ(BendRangeWithCents(250, 127), 299);
    EXPECT_EQ(BendRangeWithCents(2400, 50), 2400);
}

TEST(NoteRules, VelocityScalesTheVolumeCutToAnInteger) {
    EXPECT_EQ(VelocityLevel(63, 64), 31);
    EXPECT_EQ(VelocityLevel(63, 127), 63);
    EXPECT_EQ(VelocityLevel(63, 1), 0);
    EXPECT_EQ(VelocityLevel(40, 100), 31); // 31.49
}

TEST(NoteRules, PresetStepWrapsAtBothEnds) {
    struct Case {
        int selected;
        int8_t step;
        int count;
        int index;
    };
    const Case cases[] = {
        {0, -1, 4, 3},  {3, 1, 4, 0}, {1, 1, 4, 2},
        {-1, 1, 4, 0},                                // nothing selected: +1 is the first
        {-1, -1, 4, 3}, {0, 1, 1, 0}, {0, -1, 0, -1}, // an empty list selects nothing
    };
    for (const Case& c : cases)
        EXPECT_EQ(PresetStep(c.selected, c.step, c.count), c.index)
            << c.selected << " " << int(c.step) << " " << c.count;
}

TEST(NoteRules, ControllerSpreadsOverAListAnd127IsTheLastItem) {
    EXPECT_EQ(ListItemFromController(0, 14), 0);
    EXPECT_EQ(ListItemFromController(64, 14), 7);
    EXPECT_EQ(ListItemFromController(126, 14), 13);
    EXPECT_EQ(ListItemFromController(127, 14), 13); // 14 * 127 / 127 would be past the end
    EXPECT_EQ(ListItemFromController(127, 8), 7);
}

// Tuning texts can hold any number of digits; their sum must not overflow.
TEST(NoteRules, CentsSaturateInsteadOfOverflowing) {
    EXPECT_EQ(VoiceCents("+1200", "-5"), 1195);
    EXPECT_EQ(VoiceCents("0 cents", ""), 0);
    EXPECT_EQ(VoiceCents("2147483647", "2147483647"), INT32_MAX);
    EXPECT_EQ(VoiceCents("-99999999999999", "-1"), INT32_MIN);
    EXPECT_EQ(AddCents(INT32_MAX, BendCents(127)), INT32_MAX);
    EXPECT_EQ(AddCents(INT32_MIN, BendCents(0)), INT32_MIN);
    EXPECT_EQ(AddCents(-100, 98), -2);
}

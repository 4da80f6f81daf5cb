#include "render/programchanges.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramChanges, ANamedPresetDropsThoseOfTheChannelPlayedUnlessTheyMayChoose) {
    const std::vector<TimedMessage> song = {{0.0, {0xC0, 5, 0}},    {0.0, {0xC2, 7, 0}},
                                            {0.1, {0x90, 60, 100}}, {0.5, {0xC0, 9, 0}},
                                            {0.6, {0xB0, 7, 90}},   {0.7, {0x80, 60, 0}}};
    struct Case {
        const char* preset;
        bool programChanges;
        int channel;
        std::vector<size_t> kept; // indices into the song
    };
    const Case cases[] = {
        {"", false, 1, {0, 1, 2, 3, 4, 5}},        // no preset: the song chooses
        {"Flute", false, 1, {1, 2, 4, 5}},         // channel 1's two are dropped
        {"Flute", false, 3, {0, 2, 3, 4, 5}},      // only the channel played counts
        {"Flute", true, 1, {0, 1, 2, 3, 4, 5}},    // --program-changes
        {"Default", false, 2, {0, 1, 2, 3, 4, 5}}, // none on channel 2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "'" << c.preset << "' " << c.programChanges << " " << c.channel);
        RenderOptions options;
        options.preset = c.preset;
        options.programChanges = c.programChanges;
        options.channel = c.channel;
        std::vector<TimedMessage> messages = song, expected;
        for (size_t i : c.kept)
            expected.push_back(song[i]);
        EXPECT_EQ(DropProgramChanges(messages, options),
                  static_cast<int>(song.size() - c.kept.size()));
        EXPECT_EQ(messages, expected);
    }
}

TEST(ProgramChanges, TheNoteSaysHowManyInOneLine) {
    EXPECT_EQ(IgnoredProgramChangesNote(1, "Grand Piano"),
              "1 program change of the song was ignored: --preset=Grand Piano plays throughout "
              "(--program-changes obeys them)");
    EXPECT_EQ(IgnoredProgramChangesNote(12, "Flute"),
              "12 program changes of the song were ignored: --preset=Flute plays throughout "
              "(--program-changes obeys them)");
}

} // namespace

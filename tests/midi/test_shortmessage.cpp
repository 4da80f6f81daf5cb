#include "midi/shortmessage.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

TEST(ShortMessage, PacksAsStatusData1Data2FromTheLowByteUp) {
    struct Case {
        ShortMessage message;
        uint32_t lparam;
    };
    const Case cases[] = {
        {{0x90, 60, 127}, 0x007F3C90}, // note on, channel 1
        {{0x80, 60, 0}, 0x00003C80},
        {{0xC0, 0xFF, 0}, 0x0000FFC0}, // the keyboard's preset step down
        {{0xEF, 0x7F, 0x7F}, 0x007F7FEF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PackShortMessage(c.message), c.lparam);
        EXPECT_EQ(UnpackShortMessage(c.lparam), c.message);
    }
    // The top byte carries nothing.
    EXPECT_EQ(UnpackShortMessage(0xAB7F3C90), (ShortMessage{0x90, 60, 127}));
}

TEST(ShortMessage, InputHandsOverOnlyWhatCanBePlayed) {
    using Bytes = std::vector<uint8_t>;
    struct Case {
        Bytes bytes;
        std::optional<ShortMessage> message;
    };
    const Case cases[] = {
        {{0x90, 60, 100}, ShortMessage{0x90, 60, 100}},
        {{0xC5, 12}, ShortMessage{0xC5, 12, 0}},
        {{0xF2, 1, 2}, ShortMessage{0xF2, 1, 2}},
        {{0xFF}, ShortMessage{0xFF, 0, 0}},
        {{0x90, 60, 0xC0}, std::nullopt}, // a status where the velocity should be
        {{0x90, 0xBC, 100}, std::nullopt},
        {{0xB0, 7, 0xFF}, std::nullopt},
        {{0xE0, 0x80, 0x40}, std::nullopt},
        {{0xC0, 0x80}, std::nullopt},
        {{60, 100}, std::nullopt}, // running status without its status
        {{0xF0, 0x7E, 0xF7}, std::nullopt},
        {{0xF8}, std::nullopt},
        {{0xFE}, std::nullopt},
        {{}, std::nullopt},
        {{0x90, 60, 100, 0}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShortMessageFromInput(c.bytes), c.message) << testing::PrintToString(c.bytes);
}

#include "midi/shortmessage.h"

#include <gtest/gtest.h>

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

TEST(ShortMessage, FromRawBytesKeepsWhatCanBePlayed) {
    struct Case {
        std::vector<uint8_t> bytes;
        bool taken;
        ShortMessage message;
    };
    const Case cases[] = {
        {{0x91, 60, 100}, true, {0x91, 60, 100}},
        {{0xC3, 5}, true, {0xC3, 5, 0}},
        {{0xFC}, true, {0xFC, 0, 0}}, // stop: ignored later, by channel
        {{}, false, {}},
        {{0x90, 60, 100, 0}, false, {}},
        {{60, 100}, false, {}}, // running status: no status byte
        {{0xF0, 0x7E, 0xF7}, false, {}},
        {{0xF8}, false, {}},
        {{0xFE}, false, {}},
    };
    for (const Case& c : cases) {
        ShortMessage m{1, 2, 3};
        EXPECT_EQ(ShortMessageFromBytes(c.bytes.data(), c.bytes.size(), m), c.taken);
        if (c.taken) EXPECT_EQ(m, c.message);
    }
}

#include "midi/shortmessage.h"

#include <gtest/gtest.h>

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

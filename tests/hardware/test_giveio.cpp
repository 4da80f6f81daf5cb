#include "error.h"
#include "hardware/giveio.h"
#include "support/portrecorder.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using Kind = PortRecorder::Kind;

TEST(PortLayer, PrimitivesReachTheInstalledBackendInCallOrder) {
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    EnablePortAccess();
    EXPECT_TRUE(rec.AccessEnabled());
    OutByte(0xE868, 0xBD);
    OutByte(0xE869, 0xC0);
    OutWord(0xE802, 0x1234);
    EXPECT_EQ(InWord(0xE802), 0x1234); // last word written
    const std::vector<PortRecorder::Access> expected = {
        {Kind::OutByte, 0xE868, 0xBD},
        {Kind::OutByte, 0xE869, 0xC0},
        {Kind::OutWord, 0xE802, 0x1234}, // one word access, never two bytes
        {Kind::InWord, 0xE802, 0x1234},
    };
    EXPECT_EQ(rec.Accesses(), expected);
}

TEST(PortLayer, InWordAnswersAPresetValueUntilWritten) {
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    rec.SetWord(0xE802, 0x8000);
    EXPECT_EQ(InWord(0xE802), 0x8000);
    EXPECT_EQ(InWord(0xE804), 0); // untouched ports read 0
    OutWord(0xE802, 0x0606);
    EXPECT_EQ(InWord(0xE802), 0x0606);
}

TEST(PortLayer, RefusedAccessRaisesTheMessageAndTouchesNoPort) {
    PortRecorder rec;
    rec.RefuseAccess(true);
    ScopedPortBackend scope(rec);
    try {
        EnablePortAccess();
        FAIL() << "no error raised";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Couldn't access giveio device");
    }
    EXPECT_TRUE(rec.Accesses().empty());
}

TEST(PortLayer, ScopedBackendRestoresThePreviousOne) {
    PortRecorder outer, inner;
    ScopedPortBackend a(outer);
    {
        ScopedPortBackend b(inner);
        OutByte(1, 1);
    }
    OutByte(2, 2);
    EXPECT_EQ(inner.Accesses().size(), 1u);
    ASSERT_EQ(outer.Accesses().size(), 1u);
    EXPECT_EQ(outer.Accesses()[0].port, 2);
}

TEST(PortLayer, HardwareBackendRefusesWithoutPrivilege) {
    // The test machines run without I/O-port permission (EPERM or ENOSYS).
    // Where the process really has it there is nothing to check.
    if (geteuid() == 0) {
        try {
            HardwarePorts::Instance().EnableAccess();
            GTEST_SKIP() << "this process may use I/O ports";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Couldn't access giveio device");
        }
    } else {
        EXPECT_THROW(HardwarePorts::Instance().EnableAccess(), Error);
    }
}

// Several cards in one process: each thread reaches its own, and a thread
// without one the process-wide backend.
TEST(PortLayer, AThreadsOwnBackendWinsOnThatThreadOnly) {
    PortRecorder shared, first, second;
    ScopedPortBackend process(shared);
    auto play = [](PortRecorder& own, uint8_t value) {
        ScopedThreadPortBackend scope(own);
        for (int i = 0; i < 1000; ++i)
            OutByte(0x68, value);
    };
    std::thread a(play, std::ref(first), 1), b(play, std::ref(second), 2);
    OutByte(0x68, 3);
    a.join();
    b.join();
    EXPECT_EQ(first.Accesses(),
              std::vector<PortRecorder::Access>(1000, {PortRecorder::Kind::OutByte, 0x68, 1}));
    EXPECT_EQ(second.Accesses(),
              std::vector<PortRecorder::Access>(1000, {PortRecorder::Kind::OutByte, 0x68, 2}));
    EXPECT_EQ(shared.Accesses().size(), 1u);
    {
        ScopedThreadPortBackend scope(first);
        EXPECT_EQ(&CurrentPortBackend(), &first);
    }
    EXPECT_EQ(&CurrentPortBackend(), &shared);
}

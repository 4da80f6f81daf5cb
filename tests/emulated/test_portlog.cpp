#include "error.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/fm801.h"
#include "hardware/portlog.h"
#include "support/portrecorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class PortLogTest : public testing::Test {
protected:
    std::string path = (std::filesystem::temp_directory_path() /
                        ("vi801-portlog-" + std::to_string(getpid()) + ".txt"))
                           .string();
    void TearDown() override { std::filesystem::remove(path); }

    std::vector<std::string> Lines() const {
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

TEST_F(PortLogTest, WritesEachAccessAsOneLineAndPassesItOn) {
    PortRecorder inner;
    inner.SetWord(0xE802, 0x8A05);
    using Kind = PortRecorder::Kind;
    const std::vector<PortRecorder::Access> accesses = {
        {Kind::OutByte, 0xE86A, 0xA2},  {Kind::OutByte, 0xE86B, 0x0A},
        {Kind::InWord, 0xE802, 0x8A05}, {Kind::OutWord, 0xE802, 0x0606},
        {Kind::InWord, 0xE802, 0x0606}, {Kind::OutByte, 0x0068, 0x00},
    };
    const std::vector<std::string> expected = {
        "OUTB 0xE86A 0xA2",   "OUTB 0xE86B 0x0A",  "INW 0xE802 0x8A05",
        "OUTW 0xE802 0x0606", "INW 0xE802 0x0606", "OUTB 0x0068 0x00",
    };
    PortLog log(inner, path);
    for (const auto& a : accesses) {
        switch (a.kind) {
        case Kind::OutByte:
            log.OutByte(a.port, static_cast<uint8_t>(a.value));
            break;
        case Kind::OutWord:
            log.OutWord(a.port, a.value);
            break;
        case Kind::InWord:
            EXPECT_EQ(log.InWord(a.port), a.value);
            break;
        }
    }
    EXPECT_EQ(inner.Accesses(), accesses);
    // Complete while the log is still open: nothing waits in a buffer.
    EXPECT_EQ(Lines(), expected);
}

TEST_F(PortLogTest, AroundTheEmulatedCardLogsTheChipResetInOrder) {
    EmulatedCard card;
    {
        PortLog log(card, path);
        ScopedPortBackend scope(log);
        FM801 fm(EmulatedCard::kDefaultBase);
        bool muted;
        uint8_t left, right;
        fm.GetAttenuation(muted, left, right);
    }
    const std::vector<std::string> lines = Lines();
    // 528 register writes on construction, the read, 528 on destruction.
    ASSERT_EQ(lines.size(), 2 * 1056 + 1u);
    EXPECT_EQ(lines[0], "OUTB 0xE868 0x01");
    EXPECT_EQ(lines[1], "OUTB 0xE869 0x00");
    EXPECT_EQ(lines[2], "OUTB 0xE86A 0x01");
    EXPECT_EQ(lines[3], "OUTB 0xE86B 0x00");
    EXPECT_EQ(lines[1056], "INW 0xE802 0x0606");
}

TEST_F(PortLogTest, RefusedAccessAndUnwritableFilesRaiseErrors) {
    PortRecorder inner;
    inner.RefuseAccess(true);
    {
        PortLog log(inner, path);
        EXPECT_THROW(log.EnableAccess(), Error);
    }
    try {
        PortLog log(inner, "/nonexistent-dir/port.log");
        FAIL() << "no error";
    } catch (const PortLogError& error) {
        EXPECT_STREQ(error.what(), "can't create the port log '/nonexistent-dir/port.log': "
                                   "No such file or directory");
    }
}

TEST_F(PortLogTest, AFullDiskIsToldOnceAndTheAccessesGoOn) {
    PortRecorder inner;
    std::vector<std::string> told;
    PortLog log(inner, "/dev/full", [&told](const std::string& why) { told.push_back(why); });
    EXPECT_EQ(log.Failure(), "");
    log.OutByte(0xE868, 0x01);
    log.OutWord(0xE802, 0x0606);
    EXPECT_EQ(inner.Accesses().size(), 2u);
    const std::string why = "can't write the port log '/dev/full': No space left on device";
    EXPECT_EQ(told, std::vector<std::string>{why});
    EXPECT_EQ(log.Failure(), why);
}

} // namespace

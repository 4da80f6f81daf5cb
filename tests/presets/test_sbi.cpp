// The preset store on a real file system: listing, names that would leave
// their bank, saves that must not destroy the preset they replace.
#include "presets/presetfile.h"
#include "presets/sbi.h"
#include "recordsamples.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

class Banks : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("vi801-banks-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        for (const char* bank : {"2op", "4op", "6op"})
            fs::create_directories(root / bank);
    }
    void TearDown() override { fs::remove_all(root); }

    void Put(const fs::path& relative, const Bytes& bytes) {
        std::ofstream(root / relative, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    Bytes Get(const fs::path& relative) {
        std::ifstream in(root / relative, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    // Every file under the root, to catch strays.
    std::vector<std::string> Files() {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (!e.is_directory()) files.push_back(fs::relative(e.path(), root).string());
        std::sort(files.begin(), files.end());
        return files;
    }

    fs::path root;
};

Bytes SixOperatorFile(uint8_t fill) {
    SynthPatch patch;
    patch.Ops.fill({fill, fill, fill, fill, 1});
    return EncodePreset(PresetKind::SixOperator, "x", patch, SampleSettings());
}

TEST(PresetName, RefusesWhatWouldLeaveTheBankOrWhatFileSystemsRefuse) {
    for (const char* good : {"Grand Piano", "default", "a.b", "...", ".hidden", "Ça va", "-1"})
        EXPECT_TRUE(IsValidPresetName(good)) << good;
    for (const char* bad :
         {"", ".", "..", "a/b", "/etc/passwd", "../6op/x", "a\\b", "..\\x", "a?b", "a*b", "a<b",
          "a>b", "a:b", "a\"b", "a|b", "a\tb", "a\nb", "a\x7f", "\x1b"})
        EXPECT_FALSE(IsValidPresetName(bad)) << testing::PrintToString(std::string(bad));
}

TEST_F(Banks, ABankListsItsRegularPresetFilesSortedWithoutRegardToCase) {
    for (const char* file : {"b.sbi", "Zeta.sbi", "A.sbi", "alpha.sbi", "Default.sbi", "c.SBI",
                             "notes.txt", ".sbi", "a?b.sbi"})
        Put(fs::path("6op") / file, SixOperatorFile(0));
    fs::create_directory(root / "6op" / "folder.sbi");
    ASSERT_EQ(::mkfifo((root / "6op" / "pipe.sbi").c_str(), 0644), 0);
    fs::create_symlink("A.sbi", root / "6op" / "link.sbi");
    fs::create_symlink("nowhere.sbi", root / "6op" / "dangling.sbi");

    SBI store(root);
    const std::vector<std::string> expected = {"A", "alpha", "b", "link", "Zeta"};
    EXPECT_EQ(store.GetPresetList("6op"), expected);
    EXPECT_EQ(store.Directory, "6op");
}

TEST_F(Banks, ABankWithNoPresetListsDefaultAlone) {
    Put("4op/Default.sbi", SixOperatorFile(0));
    SBI store(root);
    for (const char* bank : {"2op", "4op", "missing"}) {
        SCOPED_TRACE(bank);
        EXPECT_EQ(store.GetPresetList(bank), std::vector<std::string>{"Default"});
        EXPECT_EQ(store.Directory, bank);
    }
}

TEST_F(Banks, APresetLoadsFromTheBankLastListedWhateverKindItIs) {
    Put("6op/Bell.sbi", SixOperatorFile(0x42));
    SBI store(root);
    store.GetPresetList("2op");
    SynthPatch patch;
    PatchSettings settings;
    EXPECT_FALSE(store.LoadPreset("Bell", patch, settings));
    store.GetPresetList("6op");
    ASSERT_TRUE(store.LoadPreset("Bell", patch, settings));
    EXPECT_EQ(patch.Ops[5].Reg20, 0x42);
    EXPECT_EQ(settings, SampleSettings());
}

TEST_F(Banks, WhatIsNoPresetFileLoadsNothingAndChangesNothing) {
    Put("6op/Big.sbi", Bytes(1 << 20, 0));
    Bytes long83 = SixOperatorFile(0x42);
    long83.push_back(0);
    Put("6op/Long.sbi", long83);
    Put("6op/Empty.sbi", {});
    fs::create_directory(root / "6op" / "Folder.sbi");
    ASSERT_EQ(::mkfifo((root / "6op" / "Pipe.sbi").c_str(), 0644), 0);
    Put("2op/Escaped.sbi", SixOperatorFile(0x42));

    SBI store(root);
    store.GetPresetList("6op");
    for (const char* name :
         {"Big", "Long", "Empty", "Folder", "Pipe", "Missing", "../2op/Escaped", "", "."}) {
        SCOPED_TRACE(name);
        SynthPatch patch = NumberedPatch();
        PatchSettings settings = SampleSettings();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(store.LoadPreset(name, patch, settings));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(patch, NumberedPatch());
        EXPECT_EQ(settings, SampleSettings());
    }
}

TEST_F(Banks, SavingWritesTheBanksKindAndReplacesAFileOfThatName) {
    SBI store(root);
    const SynthPatch patch = NumberedPatch();
    for (const char* bank : {"2op", "4op", "6op"}) {
        SCOPED_TRACE(bank);
        store.GetPresetList(bank);
        Put(fs::path(bank) / "Lead.sbi", Bytes(7, 0xEE));
        ASSERT_TRUE(store.SavePreset("Lead", patch, SampleSettings()));
        EXPECT_EQ(Get(fs::path(bank) / "Lead.sbi"),
                  EncodePreset(*KindOfBank(bank), "Lead", patch, SampleSettings()));
        EXPECT_EQ(fs::status(root / bank / "Lead.sbi").permissions() & fs::perms::others_read,
                  fs::perms::others_read);
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"2op/Lead.sbi", "4op/Lead.sbi", "6op/Lead.sbi"}));
}

TEST_F(Banks, ANameThatWouldLeaveTheBankOrABankThatIsMissingSavesNothing) {
    SBI store(root);
    store.GetPresetList("2op");
    for (const char* name : {"../6op/Evil", "/tmp/evil", "..", ".", "a?b", "a:b", "a\\b", ""})
        EXPECT_FALSE(store.SavePreset(name, SynthPatch{}, PatchSettings{})) << name;
    for (const char* bank : {"missing", "img"}) {
        store.GetPresetList(bank);
        EXPECT_FALSE(store.SavePreset("Lead", SynthPatch{}, PatchSettings{})) << bank;
    }
    EXPECT_TRUE(Files().empty()) << testing::PrintToString(Files());
    EXPECT_FALSE(fs::exists(root / "missing"));
}

// A save that fails half-way keeps the preset it was to replace, whole.
TEST_F(Banks, AShortWriteOrAFailedCloseLeavesTheOldPresetAndNoStrayFile) {
    const Bytes old = EncodePreset(PresetKind::SixOperator, "Pad", NumberedPatch(), {});
    PresetFileCalls shortWrite = PresetFileCalls::System();
    int calls = 0;
    shortWrite.Write = [&calls](int fd, const void* data, size_t size) -> ssize_t {
        if (++calls == 1) return ::write(fd, data, std::min<size_t>(size, 20));
        errno = ENOSPC;
        return -1;
    };
    PresetFileCalls failedClose = PresetFileCalls::System();
    failedClose.Close = [](int fd) {
        ::close(fd);
        errno = EIO;
        return -1;
    };
    for (PresetFileCalls* failing : {&shortWrite, &failedClose}) {
        Put("6op/Pad.sbi", old);
        SBI store(root, *failing);
        store.GetPresetList("6op");
        EXPECT_FALSE(store.SavePreset("Pad", SynthPatch{}, PatchSettings{}));
        EXPECT_EQ(Get("6op/Pad.sbi"), old);
        EXPECT_EQ(Files(), std::vector<std::string>{"6op/Pad.sbi"});
    }
    EXPECT_EQ(calls, 2);
}

bool SetImmutable(const fs::path& dir, bool on) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

// Permission bits don't stop root, so there the folder is made immutable.
bool MakeReadOnly(const fs::path& dir) {
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    return ::access(dir.c_str(), W_OK) != 0 || SetImmutable(dir, true);
}

void MakeWritable(const fs::path& dir) {
    SetImmutable(dir, false);
    fs::permissions(dir, fs::perms::owner_all);
}

TEST_F(Banks, SavingIntoAReadOnlyBankFailsAndKeepsWhatWasThere) {
    const Bytes old = EncodePreset(PresetKind::TwoOperator, "Lead", NumberedPatch(), {});
    Put("2op/Lead.sbi", old);
    if (!MakeReadOnly(root / "2op")) {
        MakeWritable(root / "2op");
        GTEST_SKIP() << "this file system lets us make no folder read-only";
    }
    SBI store(root);
    store.GetPresetList("2op");
    const bool savedOver = store.SavePreset("Lead", SynthPatch{}, PatchSettings{});
    const bool savedNew = store.SavePreset("New", SynthPatch{}, PatchSettings{});
    MakeWritable(root / "2op");
    EXPECT_FALSE(savedOver);
    EXPECT_FALSE(savedNew);
    EXPECT_EQ(Get("2op/Lead.sbi"), old);
    EXPECT_EQ(Files(), std::vector<std::string>{"2op/Lead.sbi"});
}

} // namespace

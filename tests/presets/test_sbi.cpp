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
    for (const char* good :
         {"Grand Piano", "default", "a.b", "...", ".hidden", "Ça va", "-1", "Caf\xe9", " x "})
        EXPECT_TRUE(IsValidPresetName(good)) << good;
    struct Case {
        const char* name;
        bool staysInBank; // listed and loaded when it is there
        const char* why;  // a save is refused
    };
    const Case cases[] = {
        {"", false, "You must supply a name for the preset"},
        {"   ", true, "You must supply a name for the preset"},
        {".", false, "A preset can't be named \".\""},
        {"..", false, "A preset can't be named \"..\""},
        {"a/b", false, "The character '/' is not allowed in a preset name"},
        {"../6op/x", false, "The character '/' is not allowed in a preset name"},
        {"a\\b", true, "The character '\\' is not allowed in a preset name"},
        {"a?b", true, "The character '?' is not allowed in a preset name"},
        {"a*b", true, "The character '*' is not allowed in a preset name"},
        {"a<b", true, "The character '<' is not allowed in a preset name"},
        {"a>b", true, "The character '>' is not allowed in a preset name"},
        {"a:b", true, "The character ':' is not allowed in a preset name"},
        {"a\"b", true, "The character '\"' is not allowed in a preset name"},
        {"a|b", true, "The character '|' is not allowed in a preset name"},
        {"a\tb", true, "A preset name can't hold control characters"},
        {"a\x7f", true, "A preset name can't hold control characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.name)));
        EXPECT_FALSE(IsValidPresetName(c.name));
        EXPECT_EQ(PresetNameRefusal(c.name), c.why);
        EXPECT_EQ(StaysInBank(c.name), c.staysInBank);
    }
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
    const std::vector<std::string> expected = {"A", "a?b", "alpha", "b", "link", "Zeta"};
    EXPECT_EQ(store.GetPresetList("6op"), expected);
    EXPECT_EQ(store.Directory, "6op");
}

// A file name is the bytes it is: names that are no UTF-8, and names with
// characters no save would make, are listed and load their own file.
TEST_F(Banks, PresetsOfAnyNameThatIsThereAreListedAndLoadTheirOwnFile) {
    const std::pair<std::string, uint8_t> files[] = {
        {"Caf\xe9", 0x11}, {"Caf\xe8", 0x22},        {"Caf\xc3\xa9", 0x33}, {"a:b", 0x44},
        {"a?b*c", 0x55},   {"\"q\" <x>|y\\z", 0x66}, {"   ", 0x77},
    };
    for (const auto& [name, fill] : files)
        Put(fs::path("6op") / (name + ".sbi"), SixOperatorFile(fill));
    SBI store(root);
    EXPECT_EQ(store.GetPresetList("6op").size(), std::size(files));
    for (const auto& [name, fill] : files) {
        SCOPED_TRACE(testing::PrintToString(name));
        EXPECT_NE(std::find(store.Names.begin(), store.Names.end(), name), store.Names.end());
        SynthPatch patch;
        PatchSettings settings;
        ASSERT_TRUE(store.LoadPreset(name, patch, settings));
        EXPECT_EQ(patch.Ops[0].Reg20, fill);
    }
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
    fs::remove(root / "4op");
    store.GetPresetList("4op");
    EXPECT_FALSE(store.SavePreset("Lead", SynthPatch{}, PatchSettings{}));
    EXPECT_EQ(store.SaveFailure, "The folder " + (root / "4op").string() + " does not exist");
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
        EXPECT_EQ(store.SaveFailure,
                  failing == &shortWrite ? "The disk is full" : "Input/output error");
        EXPECT_EQ(Get("6op/Pad.sbi"), old);
        EXPECT_EQ(Files(), std::vector<std::string>{"6op/Pad.sbi"});
    }
    EXPECT_EQ(calls, 2);
}

// What a save killed half-way leaves goes once it is surely no save of a
// running program; nothing else that looks like it.
TEST_F(Banks, TemporariesOfAKilledSaveGoOnceAMinuteOldWhenTheBankIsListedOrSavedInto) {
    struct Case {
        const char* file;
        int age; // seconds
        bool removed;
    };
    const Case cases[] = {
        {".preset-aB3xY9", 120, true},   {".preset-000000", 61 * 60, true},
        {".preset-aB3xY8", 10, false},   {".preset-aB3xY", 120, false},
        {".preset-aB3xY9z", 120, false}, {".preset-aB3-Y9", 120, false},
        {"x.preset-aB3xY9", 120, false}, {".Preset-aB3xY9", 120, false},
    };
    for (const bool saving : {false, true}) {
        SCOPED_TRACE(saving ? "saved into" : "listed");
        for (const Case& c : cases) {
            Put(fs::path("6op") / c.file, Bytes(20, 0));
            fs::last_write_time(root / "6op" / c.file,
                                fs::file_time_type::clock::now() - std::chrono::seconds(c.age));
        }
        SBI store(root);
        store.Directory = "6op";
        if (saving)
            EXPECT_TRUE(store.SavePreset("Lead", SynthPatch{}, PatchSettings{}));
        else
            store.GetPresetList("6op");
        for (const Case& c : cases)
            EXPECT_EQ(fs::exists(root / "6op" / c.file), !c.removed) << c.file;
        fs::remove_all(root / "6op");
        fs::create_directory(root / "6op");
    }
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
    EXPECT_EQ(store.SaveFailure, "The folder " + (root / "2op").string() + " is not writable");
    EXPECT_EQ(Get("2op/Lead.sbi"), old);
    EXPECT_EQ(Files(), std::vector<std::string>{"2op/Lead.sbi"});
}

} // namespace

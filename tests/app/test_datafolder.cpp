#include "app/datafolder.h"
#include "app/startupnotes.h"
#include "filesizelimit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {
void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A start folder, an installed share folder and the user's folder, all
// under one temporary folder.
struct Places {
    Places() {
        root = fs::temp_directory_path() /
               ("vi801-data-" + std::to_string(::getpid()) + "-" + std::to_string(++count));
        fs::create_directories(root / "start");
        places = {root / "start", root / "prefix/share/vi801", root / "home/.local/share/vi801"};
        Write(places.shared / "img/cnt0.jpg", "picture 0");
        Write(places.shared / "6op/Bell.sbi", "bell");
        Write(places.shared / "2op/Flute.sbi", "flute");
        fs::create_directories(places.shared / "4op");
    }
    ~Places() { fs::remove_all(root); }
    static inline int count = 0;
    fs::path root;
    DataPlaces places;
};

TEST(DataFolder, AFolderWithImgIsUsedAsItIs) {
    Places p;
    fs::create_directories(p.places.start / "img");
    const DataFolder folder = ChooseDataFolder(p.places);
    EXPECT_EQ(folder.path, p.places.start);
    EXPECT_EQ(folder.note, "");
    EXPECT_FALSE(fs::exists(p.places.user));
}

TEST(DataFolder, InstalledTheUserFolderIsMadeFromShareOnTheFirstRun) {
    Places p;
    const DataFolder folder = ChooseDataFolder(p.places);
    EXPECT_EQ(folder.path, p.places.user);
    EXPECT_EQ(folder.note, "");
    EXPECT_EQ(Read(p.places.user / "img/cnt0.jpg"), "picture 0");
    EXPECT_EQ(Read(p.places.user / "6op/Bell.sbi"), "bell");
    EXPECT_EQ(Read(p.places.user / "2op/Flute.sbi"), "flute");
    EXPECT_TRUE(fs::is_directory(p.places.user / "4op"));
}

TEST(DataFolder, AnUpgradeAddsNewStartersAndPicturesButNeverTouchesTheUsersPresets) {
    Places p;
    ChooseDataFolder(p.places);
    const fs::path& user = p.places.user;
    Write(user / "6op/Bell.sbi", "the user's own bell"); // saved over a starter
    fs::remove(user / "2op/Flute.sbi");                  // deleted by the user
    Write(user / "6op/Mine.sbi", "mine");
    // The upgrade brings a new starter, new pictures and a new Bell.
    Write(p.places.shared / "4op/Organ.sbi", "organ");
    Write(p.places.shared / "img/cnt0.jpg", "picture 0, redrawn");
    Write(p.places.shared / "6op/Bell.sbi", "bell, improved");

    EXPECT_EQ(ChooseDataFolder(p.places).path, user);
    EXPECT_EQ(Read(user / "4op/Organ.sbi"), "organ");
    EXPECT_EQ(Read(user / "img/cnt0.jpg"), "picture 0, redrawn");
    EXPECT_EQ(Read(user / "6op/Bell.sbi"), "the user's own bell");
    EXPECT_FALSE(fs::exists(user / "2op/Flute.sbi"));
    EXPECT_EQ(Read(user / "6op/Mine.sbi"), "mine");
}

TEST(DataFolder, AUserFolderThatCantBeMadeRunsInShareAndSaysWhy) {
    Places p;
    Write(p.root / "home/.local/share", "a file where the folder should be");
    const DataFolder folder = ChooseDataFolder(p.places);
    EXPECT_EQ(folder.path, p.places.shared);
    EXPECT_NE(folder.note.find(p.places.user.string()), std::string::npos) << folder.note;
    EXPECT_NE(folder.note.find("can't be saved"), std::string::npos) << folder.note;
}

TEST(DataFolder, NeitherImgNorAnInstallSaysWhereItLookedInOneLine) {
    Places p;
    fs::remove_all(p.places.shared);
    const DataFolder folder = ChooseDataFolder(p.places);
    EXPECT_EQ(folder.path, p.places.start);
    for (const std::string& part :
         {p.places.start.string(), p.places.shared.string(), std::string("img/"),
          std::string("bash scripts/run.sh"), std::string("data/")})
        EXPECT_NE(folder.note.find(part), std::string::npos) << part << " in: " << folder.note;
    EXPECT_EQ(folder.note.find('\n'), std::string::npos);
}

TEST(DataFolder, UserDataHomeFollowsXdgRules) {
    EXPECT_EQ(UserDataHome("/xdg/data", "/home/u"), fs::path("/xdg/data"));
    EXPECT_EQ(UserDataHome(nullptr, "/home/u"), fs::path("/home/u/.local/share"));
    EXPECT_EQ(UserDataHome("", "/home/u"), fs::path("/home/u/.local/share"));
    EXPECT_EQ(UserDataHome("relative", "/home/u"), fs::path("/home/u/.local/share"));
    EXPECT_EQ(UserDataHome("/xdg/data", nullptr), fs::path("/xdg/data"));
    // No HOME: no folder of the user's, rather than one under /.
    EXPECT_EQ(UserDataHome(nullptr, nullptr), fs::path());
    EXPECT_EQ(UserDataHome("relative", ""), fs::path());
}

TEST(DataFolder, WithoutAUserFolderTheSharedOneIsUsedAsItIsAndTheNoteSaysWhy) {
    Places p;
    p.places.user.clear();
    const DataFolder folder = ChooseDataFolder(p.places);
    EXPECT_EQ(folder.path, p.places.shared);
    EXPECT_EQ(folder.note, "HOME is not set, nor XDG_DATA_HOME: running in " +
                               p.places.shared.string() + ", where presets can't be saved");
    EXPECT_FALSE(fs::exists(p.root / "home"));
}

// A disk that fills during a copy leaves no part of a starter under its
// name; what an earlier version left so is made whole once there is room.
TEST(DataFolder, AStarterTheDiskCutShortIsNotLeftHalfAndComesWholeOnALaterRun) {
    Places p;
    const std::string bell(300, 'b');
    Write(p.places.shared / "6op/Bell.sbi", bell);
    Write(p.places.user / "2op/Flute.sbi", "fl"); // an earlier run's, cut short
    DataFolder folder;
    {
        const FileSizeLimit full(100);
        folder = ChooseDataFolder(p.places);
    }
    EXPECT_EQ(folder.path, p.places.user);
    EXPECT_NE(folder.note.find("6op/Bell.sbi"), std::string::npos) << folder.note;
    EXPECT_EQ(Read(p.places.user / "2op/Flute.sbi"), "flute");
    EXPECT_TRUE(fs::is_empty(p.places.user / "6op"));

    folder = ChooseDataFolder(p.places);
    EXPECT_EQ(folder.note, "");
    EXPECT_EQ(Read(p.places.user / "6op/Bell.sbi"), bell);
}

// The list of starters handed out is what keeps a deleted starter away: a
// starter is added only with its line in the list.
TEST(DataFolder, AStarterListThatCantBeWrittenOrReadIsToldAndNoDeletedStarterComesBack) {
    Places p;
    const fs::path& user = p.places.user;
    ChooseDataFolder(p.places);
    fs::remove(user / "6op/Bell.sbi");                 // deleted by the user
    Write(p.places.shared / "4op/Organ.sbi", "organ"); // brought by an upgrade
    DataFolder folder;
    {
        const FileSizeLimit full(20); // the list of three does not fit
        folder = ChooseDataFolder(p.places);
    }
    EXPECT_EQ(folder.note.rfind("can't write " + (user / ".starters").string() + " (", 0), 0u)
        << folder.note;
    EXPECT_FALSE(fs::exists(user / "4op/Organ.sbi"));
    EXPECT_FALSE(fs::exists(user / "6op/Bell.sbi"));

    EXPECT_EQ(ChooseDataFolder(p.places).note, "");
    EXPECT_EQ(Read(user / "4op/Organ.sbi"), "organ");
    EXPECT_FALSE(fs::exists(user / "6op/Bell.sbi"));
    EXPECT_EQ(Read(user / ".starters"), "2op/Flute.sbi\n4op/Organ.sbi\n6op/Bell.sbi\n");

    fs::remove(user / ".starters");
    fs::create_directory(user / ".starters"); // unreadable
    folder = ChooseDataFolder(p.places);
    EXPECT_EQ(folder.note.rfind("can't read " + (user / ".starters").string(), 0), 0u)
        << folder.note;
    EXPECT_FALSE(fs::exists(user / "6op/Bell.sbi"));
}

TEST(StartupNotes, PortRefusalSaysWhyAndHowToPlayWithoutTheCard) {
    struct Case {
        int reason;
        const char* why;
    };
    for (const Case& c : {Case{EPERM, "CAP_SYS_RAWIO"}, Case{ENOSYS, "kernel has no port I/O"},
                          Case{EIO, "Input/output error"}}) {
        const std::string note = PortAccessNote(c.reason);
        EXPECT_NE(note.find(c.why), std::string::npos) << note;
        EXPECT_NE(note.find("--card=emulated"), std::string::npos) << note;
        EXPECT_EQ(note.find('\n'), std::string::npos) << note;
    }
}
} // namespace

// Outputs on a real file system: what is replaced, what is written through.
#include "files/outputfile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

OutputFile::Options Options(mode_t mode, bool inPlace, bool seekable) {
    OutputFile::Options options;
    options.mode = mode;
    options.inPlace = inPlace;
    options.seekable = seekable;
    return options;
}

class Outputs : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("vi801-out-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    std::string At(const std::string& name) const { return (root / name).string(); }
    void Put(const std::string& name, const std::string& text, mode_t mode = 0644) {
        std::ofstream(At(name)) << text;
        ::chmod(At(name).c_str(), mode);
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(At(name));
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static int Write(const std::string& path, const std::string& text,
                     OutputFile::Options options = {}) {
        OutputFile out;
        if (const int error = out.Open(path, options)) return error;
        if (::write(out.Fd(), text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return errno;
        if (const int error = out.Close()) return error;
        return out.Publish();
    }
    static mode_t Mode(const std::string& path) {
        struct stat info {};
        ::lstat(path.c_str(), &info);
        return info.st_mode;
    }

    fs::path root;
};

TEST_F(Outputs, RegularFilesAreReplacedWholeThroughTheirLinksKeepingTheirMode) {
    struct Case {
        const char* written; // the name given
        const char* lands;   // the file that holds the text afterwards
        mode_t mode;         // its permission bits afterwards
    };
    Put("old", "old", 0640);
    Put("target", "target", 0600);
    fs::create_symlink("target", At("link"));
    fs::create_symlink("link", At("chain"));
    fs::create_symlink("missing", At("dangling"));
    const Case cases[] = {
        {"new", "new", 0644 & ~0022},
        {"old", "old", 0640},
        {"link", "target", 0600},
        {"chain", "target", 0600},
        {"dangling", "missing", 0644 & ~0022},
    };
    const mode_t umask = ::umask(0022);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        ASSERT_EQ(Write(At(c.written), c.written, Options(0644, false, false)), 0);
        EXPECT_EQ(Get(c.lands), c.written);
        EXPECT_EQ(Mode(At(c.lands)) & 07777, c.mode);
    }
    ::umask(umask);
    EXPECT_TRUE(fs::is_symlink(At("link")) && fs::is_symlink(At("chain")) &&
                fs::is_symlink(At("dangling")));
    EXPECT_EQ(Names(), (std::vector<std::string>{"chain", "dangling", "link", "missing", "new",
                                                 "old", "target"}));
}

TEST_F(Outputs, DevicesAndFifosAreWrittenAsTheyAreAndNeverReplaced) {
    EXPECT_EQ(Write("/dev/null", "nothing"), 0);
    EXPECT_TRUE(S_ISCHR(Mode("/dev/null")));
    EXPECT_EQ(Write("/dev/full", "nothing"), ENOSPC);

    ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
    fs::create_symlink("fifo", At("to-fifo"));
    for (const bool seekable : {false, true}) {
        const int reader = ::open(At("fifo").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        EXPECT_EQ(Write(At("to-fifo"), "through", Options(0666, false, seekable)), 0);
        char got[16] = {};
        EXPECT_EQ(::read(reader, got, sizeof got), 7) << seekable;
        EXPECT_STREQ(got, "through");
        ::close(reader);
    }
    EXPECT_TRUE(S_ISFIFO(Mode(At("fifo"))));

    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", At("socket").c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(Write(At("socket"), "refused"), ENXIO);
    EXPECT_TRUE(S_ISSOCK(Mode(At("socket"))));
    ::close(listener);

    EXPECT_EQ(Write(root.string(), "a folder"), EISDIR);
    fs::create_symlink("ring2", At("ring1"));
    fs::create_symlink("ring1", At("ring2"));
    EXPECT_EQ(Write(At("ring1"), "x"), ELOOP);
    EXPECT_EQ(Names(), (std::vector<std::string>{"fifo", "ring1", "ring2", "socket", "to-fifo"}));
}

TEST_F(Outputs, InPlaceKeepsTheFileAndAbandonedOrUnpublishedLeaveNothing) {
    Put("log", "an older log", 0600);
    struct stat before {};
    ::stat(At("log").c_str(), &before);
    ASSERT_EQ(Write(At("log"), "new", Options(0666, true, false)), 0);
    EXPECT_EQ(Get("log"), "new");
    struct stat after {};
    ::stat(At("log").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);

    Put("kept", "kept");
    {
        OutputFile out;
        OutputFile::Options options;
        options.temporaryPrefix = ".t-";
        options.temporarySuffix = ".part";
        ASSERT_EQ(out.Open(At("kept"), options), 0);
        const std::string temporary = fs::path(out.TemporaryPath()).filename().string();
        EXPECT_EQ(temporary.size(), 3 + 6 + 5) << temporary;
        EXPECT_EQ(temporary.rfind(".t-", 0), 0u) << temporary;
        EXPECT_EQ(::write(out.Fd(), "x", 1), 1);
        EXPECT_EQ(out.Close(), 0);
    } // never published
    EXPECT_EQ(Get("kept"), "kept");
    EXPECT_EQ(Names(), (std::vector<std::string>{"kept", "log"}));
}

TEST_F(Outputs, OneFileIsOneIdentityHoweverItIsNamed) {
    Put("song", "");
    fs::create_hard_link(At("song"), At("hard"));
    fs::create_symlink("song", At("soft"));
    fs::create_directory(At("dir"));
    fs::create_symlink("new", At("to-new"));
    const std::pair<std::string, std::string> same[] = {
        {"song", "./song"}, {"song", "dir/../song"}, {"song", "hard"},  {"song", "soft"},
        {"new", "./new"},   {"new", "dir/../new"},   {"new", "to-new"},
    };
    for (const auto& [a, b] : same) {
        const auto first = IdentityOf(At(a)), second = IdentityOf(At(b));
        ASSERT_TRUE(first && second) << a << " " << b;
        EXPECT_EQ(*first, *second) << a << " " << b;
    }
    EXPECT_FALSE(*IdentityOf(At("song")) == *IdentityOf(At("new")));
    EXPECT_FALSE(*IdentityOf(At("new")) == *IdentityOf(At("dir/new")));
    EXPECT_FALSE(IdentityOf(At("missing/new")));
    EXPECT_TRUE(IdentityOf("/dev/null")->characterDevice);
}

} // namespace

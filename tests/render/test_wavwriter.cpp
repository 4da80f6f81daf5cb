#include "render/wavwriter.h"

#include "app/wavfile.h"
#include "error.h"
#include "filesizelimit.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(WavWriter, TheFileTakesItsNameOnlyWhenFinishedWith24BitSamplesClipped) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("take.wav").toStdString();
    // Values a 24-bit sample holds exactly, and two beyond full scale.
    const std::vector<float> frames = {0.0f,           -1.0f, 0.5f,  -0.25f,
                                       1.0f / 8388608, 1.5f,  -3.0f, 0.0f};
    {
        WavWriter writer(path, 44100);
        writer.Write(frames.data(), 2);
        writer.Write(frames.data() + 4, 2);
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(fs::exists(writer.PartialPath()));
        EXPECT_EQ(fs::path(writer.PartialPath()).parent_path(), fs::path(path).parent_path());
        writer.Finish();
        EXPECT_EQ(writer.Frames(), 4u);
    }
    EXPECT_EQ(Names(dir.path().toStdString()), std::vector<std::string>{"take.wav"});
    const WavContents wav = ReadWav(path);
    ASSERT_TRUE(wav.read);
    EXPECT_EQ(wav.rate, 44100);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    const std::vector<float> expected = {
        0.0f, -1.0f, 0.5f, -0.25f, 1.0f / 8388608, 8388607.0f / 8388608, -1.0f, 0.0f};
    EXPECT_EQ(wav.samples, expected);
}

TEST(WavWriter, UnfinishedLeavesNothingAndTheFileThatWasThere) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("take.wav").toStdString();
    std::ofstream(path) << "an earlier take";
    {
        WavWriter writer(path, 48000);
        const float frame[2] = {0.5f, 0.5f};
        writer.Write(frame, 1);
    }
    EXPECT_EQ(Names(dir.path().toStdString()), std::vector<std::string>{"take.wav"});
    EXPECT_EQ(Contents(path), "an earlier take");
}

// What a named link or pipe leads to gets the file; the link and the pipe stay.
TEST(WavWriter, ALinkIsFollowedAndKeptAndAPipeGetsTheWholeFileAtTheEnd) {
    QTemporaryDir dir;
    const std::string take = dir.filePath("take.wav").toStdString();
    const std::string link = dir.filePath("latest.wav").toStdString();
    const std::string fifo = dir.filePath("fifo.wav").toStdString();
    std::ofstream(take) << "an earlier take";
    fs::permissions(take, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("take.wav", link);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const float frames[4] = {0.5f, -0.5f, 0.25f, -0.25f};
    for (const std::string& path : {link, fifo}) {
        WavWriter writer(path, 48000);
        writer.Write(frames, 2);
        writer.Finish();
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(take).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadWav(take).Frames(), 2u);

    EXPECT_TRUE(fs::is_fifo(fifo));
    std::string piped(4096, '\0');
    piped.resize(
        static_cast<size_t>(std::max<ssize_t>(::read(reader, piped.data(), piped.size()), 0)));
    ::close(reader);
    const std::string copy = dir.filePath("piped.wav").toStdString();
    std::ofstream(copy, std::ios::binary) << piped;
    const WavContents wav = ReadWav(copy);
    ASSERT_TRUE(wav.read);
    EXPECT_EQ(wav.samples, std::vector<float>(frames, frames + 4));
    std::vector<std::string> names = Names(dir.path().toStdString());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"fifo.wav", "latest.wav", "piped.wav", "take.wav"}));
}

TEST(WavWriter, RefusalsNameTheFileAndLeaveNothing) {
    QTemporaryDir dir;
    const std::string missing = dir.filePath("no/such/dir/take.wav").toStdString();
    const std::string directory = dir.path().toStdString();
    const std::pair<std::string, std::string> cases[] = {
        {missing, missing + ": No such file or directory"},
        {directory, directory + ": Is a directory"},
    };
    for (const auto& [path, error] : cases) {
        try {
            WavWriter writer(path, 48000);
            ADD_FAILURE() << path;
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), error);
        }
    }
    EXPECT_TRUE(Names(directory).empty());
    WavWriter writer(dir.filePath("long.wav").toStdString(), 48000);
    EXPECT_THROW(writer.Write(nullptr, WavWriter::kMaxFrames + 1), Error);
}

TEST(WavWriter, WhenTheDiskRefusesWhatWasWrittenBeforeIsKept) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("take.wav").toStdString();
    WavWriter writer(path, 48000);
    const std::vector<float> block(2 * 4096, 0.25f);
    std::string error;
    try {
        const FileSizeLimit full(64 * 1024);
        for (int i = 0; i < 10; ++i)
            writer.Write(block.data(), 4096);
    } catch (const Error& e) {
        error = e.what();
    }
    EXPECT_EQ(error, path + ": File too large");
    writer.Finish();
    const WavContents wav = ReadWav(path);
    ASSERT_TRUE(wav.read);
    EXPECT_GE(wav.Frames(), writer.Frames());
    EXPECT_GT(writer.Frames(), 0u);
}

} // namespace

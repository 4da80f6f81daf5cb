// The program as a user starts it: the real executable on a virtual X
// display (the test runs under xvfb-run), driven with xdotool.
#include "app/wavfile.h"
#include "jackpeers.h"
#include "portprotocol.h"
#include "smfbuilder.h"
#include "support/jackserver.h"
#include "ui/toolkit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/io.h>

namespace {
const QString kDialog = QStringLiteral("Device detection - VI 801");
const QString kMainWindow = QStringLiteral("Midi Synthesizer - VI 801");
constexpr uint16_t kOplPort = 0xE868;

// The program with a quiet, clean environment: its own runtime and config
// folders (or the config folder given), no leak report from the child (its
// behaviour is under test here).
struct Program {
    explicit Program(const QString& executable = VI801_PROGRAM, const QString& configHome = {}) {
        process.setProgram(executable);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", configHome.isEmpty() ? config.path() : configHome);
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        if (!env.contains("DISPLAY"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        else
            env.insert("QT_QPA_PLATFORM", "xcb");
        process.setProcessEnvironment(env);
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    void Start(const QStringList& args, const QString& folder) {
        process.setArguments(args);
        process.setWorkingDirectory(folder);
        process.start();
        ASSERT_TRUE(process.waitForStarted());
    }
    void Signal(int signal) const { ::kill(static_cast<pid_t>(process.processId()), signal); }
    // The exit status, or -1 when it did not end in time or ended by a signal.
    int Finish(int ms = 10000) {
        if (!process.waitForFinished(ms) || process.exitStatus() != QProcess::NormalExit) return -1;
        return process.exitCode();
    }
    QTemporaryDir runtime, config;
    QProcess process;
};

bool HasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY");
}

// The id of the visible window with exactly this title, once it is there.
QString WaitForWindow(const QString& title, int ms = 20000) {
    QProcess search;
    search.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
    if (!search.waitForFinished(ms)) {
        search.kill();
        search.waitForFinished();
        return {};
    }
    return QString::fromLatin1(search.readAllStandardOutput()).section('\n', 0, 0).trimmed();
}

// Enter clicks the focused button: OK in the detection dialog and the error box.
void PressEnter(const QString& window) {
    QProcess::execute("xdotool", {"windowfocus", "--sync", window});
    QProcess::execute("xdotool", {"key", "--clearmodifiers", "Return"});
}

std::vector<PortRecorder::Access> ReadPortLog(const QString& path) {
    std::vector<PortRecorder::Access> trace;
    std::ifstream log(path.toStdString());
    for (std::string kind, port, value; log >> kind >> port >> value;) {
        const auto k = kind == "OUTB"   ? PortRecorder::Kind::OutByte
                       : kind == "OUTW" ? PortRecorder::Kind::OutWord
                                        : PortRecorder::Kind::InWord;
        trace.push_back({k, static_cast<uint16_t>(std::stoi(port, nullptr, 16)),
                         static_cast<uint16_t>(std::stoi(value, nullptr, 16))});
    }
    return trace;
}

// Started in data/ on the emulated card, past the detection dialog.
void StartToMainWindow(Program& program, const QString& log) {
    program.Start({"--card=emulated", "--port-log=" + log}, VI801_SOURCE_DIR "/data");
    const QString dialog = WaitForWindow(kDialog);
    ASSERT_FALSE(dialog.isEmpty());
    PressEnter(dialog);
    ASSERT_FALSE(WaitForWindow(kMainWindow).isEmpty());
}

TEST(Program, EndSignalsRunTheShutdownThatResetsTheChip) {
    if (!HasDisplay()) GTEST_SKIP() << "needs an X display";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QTemporaryDir dir;
        const QString log = dir.filePath("ports.log");
        Program program;
        StartToMainWindow(program, log);
        program.Signal(signal);
        EXPECT_EQ(program.Finish(), 0) << "signal " << signal;
        const std::vector<RegWrite> writes = DecodeRegisterWrites(ReadPortLog(log), kOplPort);
        const std::vector<RegWrite> reset = ResetSequence();
        // The start-up reset, the patch, then the shutdown's reset last of all.
        ASSERT_GT(writes.size(), 2 * reset.size()) << "signal " << signal;
        EXPECT_TRUE(std::equal(reset.begin(), reset.end(), writes.end() - reset.size()))
            << "signal " << signal;
    }
}

TEST(Program, AnEndSignalInTheDetectionDialogCancelsIt) {
    if (!HasDisplay()) GTEST_SKIP() << "needs an X display";
    QTemporaryDir dir;
    const QString log = dir.filePath("ports.log");
    Program program;
    program.Start({"--card=emulated", "--port-log=" + log}, VI801_SOURCE_DIR "/data");
    ASSERT_FALSE(WaitForWindow(kDialog).isEmpty());
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Finish(), 0);
    EXPECT_TRUE(DecodeRegisterWrites(ReadPortLog(log), kOplPort).empty());
}

// What the last run left comes back after the described start (here the
// mini keyboard, left open); --no-settings starts as if nothing were
// remembered and leaves the file as it was.
TEST(Program, RemembersTheLastRunUnlessToldNotTo) {
    if (!HasDisplay()) GTEST_SKIP() << "needs an X display";
    QTemporaryDir config;
    const QString file = config.filePath("vi801/vi801.conf");
    ASSERT_TRUE(QDir().mkpath(config.filePath("vi801")));
    {
        QFile settings(file);
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[windows]\nkeyboard\\at=@Point(40 50)\nkeyboard\\open=true\n");
    }
    const auto run = [&](const QStringList& args, bool keyboard) {
        Program program(VI801_PROGRAM, config.path());
        program.Start(QStringList{"--card=emulated"} + args, VI801_SOURCE_DIR "/data");
        const QString dialog = WaitForWindow(kDialog);
        ASSERT_FALSE(dialog.isEmpty());
        PressEnter(dialog);
        ASSERT_FALSE(WaitForWindow(kMainWindow).isEmpty());
        EXPECT_EQ(!WaitForWindow("Mini Keyboard - VI 801", keyboard ? 20000 : 1500).isEmpty(),
                  keyboard);
        program.Signal(SIGTERM);
        EXPECT_EQ(program.Finish(), 0);
    };
    run({}, true);
    const auto bytes = [&file] {
        QFile settings(file);
        return settings.open(QIODevice::ReadOnly) ? settings.readAll() : QByteArray();
    };
    const QByteArray kept = bytes();
    EXPECT_TRUE(kept.contains("open=true")) << kept.toStdString();
    run({"--no-settings"}, false);
    EXPECT_EQ(bytes(), kept);
}

TEST(Program, AnUncreatablePortLogIsACommandLineError) {
    Program program;
    program.Start({"--card=emulated", "--port-log=/nonexistent-dir/ports.log"},
                  VI801_SOURCE_DIR "/data");
    EXPECT_EQ(program.Finish(), 2); // before any window, which would wait for the user
    EXPECT_EQ(program.process.readAllStandardError().toStdString(),
              "vi801: can't create the port log '/nonexistent-dir/ports.log': "
              "No such file or directory\n");
}

TEST(Program, RefusedPortsSayWhyOnTheTerminalAndExit1) {
    if (!HasDisplay()) GTEST_SKIP() << "needs an X display";
    if (iopl(3) == 0) {
        iopl(0);
        GTEST_SKIP() << "this machine grants port access";
    }
    Program program;
    program.Start({"--card=hardware"}, VI801_SOURCE_DIR "/data");
    const QString box = WaitForWindow("VI 801");
    ASSERT_FALSE(box.isEmpty());
    PressEnter(box);
    EXPECT_EQ(program.Finish(), 1);
    const QString err = QString::fromLocal8Bit(program.process.readAllStandardError());
    const QString line = err.section('\n', 0, 0);
    EXPECT_TRUE(line.startsWith("vi801: no access to the card's I/O ports: ")) << err.toStdString();
    EXPECT_TRUE(line.contains("--card=emulated plays without the card")) << err.toStdString();
}

TEST(Program, StartedWithoutImgSaysWhereItLookedAndGoesOn) {
    QTemporaryDir empty;
    Program program;
    program.Start({"--card=emulated"}, empty.path());
    // Its line, among whatever the sound libraries print.
    QByteArray err;
    QElapsedTimer timer;
    timer.start();
    while (!err.contains("vi801: ") || !err.mid(err.indexOf("vi801: ")).contains('\n')) {
        if (timer.elapsed() > 10000) break;
        program.process.waitForReadyRead(100);
        err += program.process.readAllStandardError();
    }
    const QByteArray from = err.mid(err.indexOf("vi801: "));
    const std::string line = from.left(from.indexOf('\n')).toStdString();
    EXPECT_NE(line.find("vi801: no img/ here"), std::string::npos) << err.toStdString();
    EXPECT_NE(line.find(empty.path().toStdString()), std::string::npos) << line;
    EXPECT_NE(line.find("bash scripts/run.sh"), std::string::npos) << line;
    // It goes on to the detection dialog, which the signal cancels.
    QThread::msleep(500);
    EXPECT_EQ(program.process.state(), QProcess::Running);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Finish(), 0);
}

// --- rendering and recording ---

// The line of the program's own that starts with `start`, among whatever
// the libraries print; empty when there is none.
std::string LineStarting(const QByteArray& output, const std::string& start) {
    std::istringstream lines(output.toStdString());
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(start, 0) == 0) return line;
    return {};
}

std::string FileBytes(const QString& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void WriteFile(const QString& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A RIFF file whose chunk sizes add up to the file: what players trust.
bool WholeRiff(const std::string& bytes) {
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0) return false;
    const auto size = [&](size_t at) {
        return static_cast<size_t>(static_cast<uint8_t>(bytes[at])) |
               static_cast<size_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
               static_cast<size_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
               static_cast<size_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
    };
    if (size(4) + 8 != bytes.size()) return false;
    size_t at = 12;
    while (at + 8 <= bytes.size())
        at += 8 + size(at + 4) + (size(at + 4) & 1);
    return at == bytes.size();
}

// A folder a user renders in: the song (three notes and a chord on channel
// 1), a bank holding one starter preset, and img/, so it is a data folder.
struct RenderFolder {
    RenderFolder() {
        QDir(dir.path()).mkpath("img");
        QDir(dir.path()).mkpath("6op");
        QFile::copy(VI801_SOURCE_DIR "/data/6op/Grand Piano.sbi",
                    dir.filePath("6op/Grand Piano.sbi"));
        WriteFile(dir.filePath("song.mid"), Song());
    }
    static std::vector<uint8_t> Song() {
        return SmfBuilder(0, 480)
            .Track()
            .Event(0, {0x90, 60, 100})
            .Event(240, {0x80, 60, 0})
            .Event(0, {0x90, 64, 100})
            .Event(240, {0x80, 64, 0})
            .Event(0, {0x90, 67, 100})
            .Event(240, {0x80, 67, 0})
            .Event(0, {0x90, 48, 90})
            .Event(0, {55, 90})
            .Event(480, {48, 0})
            .Event(0, {55, 0})
            .EndOfTrack()
            .Bytes();
    }
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
};

struct Ended {
    int status;
    QByteArray err;
};

Ended Render(const QStringList& args, const QString& folder) {
    Program program;
    program.Start(args, folder);
    const int status = program.Finish(60000);
    return {status, program.process.readAllStandardError()};
}

TEST(Render, AUserRendersASongWithAStarterPresetAndTheSameCommandGivesTheSameBytes) {
    RenderFolder folder;
    const QStringList args = {"--render=song.mid", "--preset=Grand Piano"};
    const Ended first = Render(args + QStringList{"--out=song.wav"}, folder.dir.path());
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    // The summary alone; no bar, as stderr is no terminal.
    const std::string summary = LineStarting(first.err, "song.wav: ");
    EXPECT_TRUE(
        QRegularExpression("^song\\.wav: 0:0\\d\\.\\d of audio, 5 notes, \\d+\\.\\d x real time$")
            .match(QString::fromStdString(summary))
            .hasMatch())
        << first.err.toStdString();
    EXPECT_FALSE(first.err.contains('\r'));
    const WavContents wav = ReadWav(folder.dir.filePath("song.wav").toStdString());
    ASSERT_TRUE(wav.read);
    EXPECT_EQ(wav.rate, 48000);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_GT(*std::max_element(wav.samples.begin(), wav.samples.end()), 0.01f);

    const Ended second = Render(args + QStringList{"--out=again.wav"}, folder.dir.path());
    ASSERT_EQ(second.status, 0) << second.err.toStdString();
    EXPECT_TRUE(FileBytes(folder.dir.filePath("again.wav")) ==
                FileBytes(folder.dir.filePath("song.wav")));

    // Silence on another channel is written too, and explained.
    const Ended other =
        Render(args + QStringList{"--out=other.wav", "--channel=2"}, folder.dir.path());
    EXPECT_EQ(other.status, 0);
    EXPECT_EQ(LineStarting(other.err, "vi801: "),
              "vi801: no notes on channel 2: the song's notes are on channel 1 (--channel=1)");
}

TEST(Render, BadInputIsToldInOneLineWithStatus1AndNothingIsWritten) {
    RenderFolder folder;
    std::vector<uint8_t> cut = RenderFolder::Song();
    cut.resize(cut.size() - 10);
    WriteFile(folder.dir.filePath("cut.mid"), cut);
    WriteFile(folder.dir.filePath("text.mid"), {'n', 'o', 't', 'e', 's', '\n'});
    WriteFile(folder.dir.filePath("stray.mid"),
              SmfBuilder(0, 480).Track().Event(0, {60, 100}).EndOfTrack().Bytes());
    struct Case {
        QStringList args;
        std::string line; // the start of what stderr says
    };
    const Case cases[] = {
        {{"--render=none.mid"}, "vi801: none.mid: No such file or directory"},
        {{"--render=cut.mid"}, "vi801: cut.mid: truncated ("},
        {{"--render=text.mid"}, "vi801: text.mid: not a standard MIDI file"},
        {{"--render=stray.mid"}, "vi801: stray.mid: corrupt track 1: "},
        {{"--render=song.mid", "--preset=Grand Pianist"},
         "vi801: no preset 'Grand Pianist' in bank 6op (" + folder.dir.path().toStdString() +
             "/6op); its presets: Grand Piano"},
        {{"--render=song.mid", "--bank=2op", "--preset=Grand Piano"},
         "vi801: no preset 'Grand Piano' in bank 2op ("},
        {{"--render=song.mid", "--out=missing/song.wav"},
         "vi801: missing/song.wav: No such file or directory"},
    };
    const QStringList before = folder.Entries();
    for (const Case& c : cases) {
        QStringList args = c.args;
        if (!args.join(' ').contains("--out=")) args << "--out=song.wav";
        const Ended run = Render(args, folder.dir.path());
        EXPECT_EQ(run.status, 1) << c.line;
        EXPECT_EQ(LineStarting(run.err, "vi801: ").substr(0, c.line.size()), c.line)
            << run.err.toStdString();
        EXPECT_EQ(folder.Entries(), before) << c.line;
    }
}

TEST(Render, AnEndSignalStopsItAndLeavesNothingBehind) {
    RenderFolder folder;
    SmfBuilder song(0, 480); // ten minutes, a note every half second
    song.Track();
    for (int i = 0; i < 1200; ++i)
        song.Event(i ? 240 : 0, {0x90, 60, 100}).Event(240, {0x80, 60, 0});
    WriteFile(folder.dir.filePath("long.mid"), song.EndOfTrack().Bytes());
    const QStringList before = folder.Entries();
    Program program;
    program.Start({"--render=long.mid", "--out=long.wav", "--preset=Grand Piano"},
                  folder.dir.path());
    // Once the file is begun beside its name.
    QElapsedTimer timer;
    timer.start();
    while (folder.Entries().size() == before.size() && timer.elapsed() < 20000)
        QThread::msleep(5);
    ASSERT_GT(folder.Entries().size(), before.size()) << "the render never began its file";
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Finish(), 1);
    EXPECT_EQ(LineStarting(program.process.readAllStandardError(), "vi801: "),
              "vi801: long.wav: not written: Terminated");
    EXPECT_EQ(folder.Entries(), before);
}

TEST(Record, SigtermWhileANoteSoundsLeavesAWholeFileThatHoldsIt) {
    if (!HasDisplay()) GTEST_SKIP() << "needs an X display";
    JackServer server;
    REQUIRE_JACK_SERVER(server);
    JackMidiSender keys("vi801-test-keys");
    ASSERT_TRUE(keys.Ok());
    QTemporaryDir dir;
    const QString take = dir.filePath("take.wav");
    Program program; // after the server: it finds it
    program.Start({"--card=emulated", "--midi-in=vi801-test-keys", "--record=" + take},
                  VI801_SOURCE_DIR "/data");
    const QString dialog = WaitForWindow(kDialog);
    ASSERT_FALSE(dialog.isEmpty());
    PressEnter(dialog);
    ASSERT_FALSE(WaitForWindow(kMainWindow).isEmpty());
    QThread::msleep(300); // the input starts once its open notification arrived
    keys.Send({0xC0, 0}); // the bank's first preset
    keys.Send({0x90, 60, 100});
    ASSERT_TRUE(keys.WaitUntilSent(2000));
    QThread::msleep(600);
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Finish(), 0);
    const QByteArray err = program.process.readAllStandardError();
    EXPECT_NE(LineStarting(err, "vi801: recorded 0:0").find(take.toStdString() + " (48000 Hz)"),
              std::string::npos)
        << err.toStdString();

    EXPECT_TRUE(WholeRiff(FileBytes(take)));
    const WavContents wav = ReadWav(take.toStdString());
    ASSERT_TRUE(wav.read);
    EXPECT_EQ(wav.rate, 48000);
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    double loudest = 0; // of 50 ms windows
    for (size_t at = 0; at + 4800 <= wav.samples.size(); at += 4800) {
        double sum = 0;
        for (size_t i = at; i < at + 4800; ++i)
            sum += double{wav.samples[i]} * wav.samples[i];
        loudest = std::max(loudest, std::sqrt(sum / 4800));
    }
    EXPECT_GT(loudest, 1e-3) << "the note is not in the file";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"take.wav"});
}

// --- installed ---

QImage DecodeFile(const QString& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return DecodeJpeg(bytes.str(), path.toStdString());
}

// Pixels only: a screenshot's file carries a colour space, a decoded JPEG none.
bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

int RunTool(const QString& program, const QStringList& args, QByteArray* output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(120000)) return -1;
    if (output) *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(Install, TheInstalledProgramStartsInTheUsersFolderWithItsPicturesAndBanks) {
    if (!HasDisplay()) GTEST_SKIP() << "needs an X display";
    QTemporaryDir dir;
    const QString prefix = dir.filePath("prefix"), home = dir.filePath("home");
    QByteArray output;
    ASSERT_EQ(RunTool("cmake", {"--install", VI801_BUILD_DIR, "--prefix", prefix}, &output), 0)
        << output.toStdString();
    const QString share = prefix + "/share";
    for (const char* file :
         {"/vi801/img/cnt0.jpg", "/vi801/img/cnt7.jpg", "/vi801/6op", "/vi801/4op", "/vi801/2op",
          "/applications/vi801.desktop", "/icons/hicolor/16x16/apps/vi801.png",
          "/icons/hicolor/48x48/apps/vi801.png", "/icons/hicolor/256x256/apps/vi801.png"})
        EXPECT_TRUE(QFile::exists(share + file)) << file;
    EXPECT_FALSE(QDir(share + "/vi801/6op").entryList({"*.sbi"}).isEmpty());
    if (RunTool("desktop-file-validate", {share + "/applications/vi801.desktop"}, &output) != -1) {
        EXPECT_TRUE(output.trimmed().isEmpty()) << output.toStdString();
    }

    // Started as the menu starts it: in the home folder, with no arguments.
    ASSERT_TRUE(QDir().mkpath(home));
    Program program(prefix + "/bin/vi801");
    QProcessEnvironment env = program.process.processEnvironment();
    env.insert("HOME", home);
    env.remove("XDG_DATA_HOME");
    program.process.setProcessEnvironment(env);
    program.Start({}, home);
    const QString dialog = WaitForWindow(kDialog);
    ASSERT_FALSE(dialog.isEmpty());
    PressEnter(dialog);
    const QString window = WaitForWindow(kMainWindow);
    ASSERT_FALSE(window.isEmpty());

    const QString user = home + "/.local/share/vi801";
    EXPECT_EQ(QFile::symLinkTarget(QString("/proc/%1/cwd").arg(program.process.processId())), user);
    EXPECT_EQ(QDir(user + "/6op").entryList({"*.sbi"}),
              QDir(share + "/vi801/6op").entryList({"*.sbi"}));
    // The connection picture shows, read from the user's folder (once painted).
    const QImage picture = DecodeFile(user + "/img/cnt6.jpg");
    const QString shot = dir.filePath("main.png");
    bool shows = false;
    for (int attempt = 0; attempt < 20 && !shows; ++attempt) {
        QThread::msleep(200);
        ASSERT_EQ(RunTool("import", {"-window", window, shot}), 0);
        const QImage shown = QImage(shot).convertToFormat(QImage::Format_RGB888);
        shows =
            SamePixels(shown.copy(QRect(QPoint(817 + 8 + 1, 2 + 32 + 1), picture.size())), picture);
    }
    EXPECT_TRUE(shows);
    // The window carries the icon.
    ASSERT_EQ(RunTool("xprop", {"-id", window, "_NET_WM_ICON"}, &output), 0);
    EXPECT_TRUE(output.contains("Icon (48 x 48)")) << output.left(200).toStdString();

    program.Signal(SIGTERM);
    EXPECT_EQ(program.Finish(), 0);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1); // the test's own application shows nothing
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

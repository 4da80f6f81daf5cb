// The program as a user starts it: the real executable on a virtual X
// display (the test runs under xvfb-run), driven with xdotool.
#include "app/wavfile.h"
#include "jackpeers.h"
#include "portprotocol.h"
#include "presets/library.h"
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

// The program with a quiet, clean environment: its own runtime and home
// folders (its settings in the home's, or in the config folder given), no
// leak report from the child (its behaviour is under test here).
struct Program {
    explicit Program(const QString& executable = VI801_PROGRAM, const QString& configHome = {}) {
        process.setProgram(executable);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("HOME", home.path());
        env.remove("XDG_DATA_HOME");
        env.insert("XDG_CONFIG_HOME", configHome.isEmpty() ? home.filePath(".config") : configHome);
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
    // Never to pid 0, once the process is gone: that is the test's own group.
    void Signal(int signal) const {
        if (const auto pid = static_cast<pid_t>(process.processId()); pid > 0) ::kill(pid, signal);
    }
    // The exit status, or -1 when it did not end in time or ended by a signal.
    int Finish(int ms = 10000) {
        if (!process.waitForFinished(ms) || process.exitStatus() != QProcess::NormalExit) return -1;
        return process.exitCode();
    }
    QTemporaryDir runtime, home;
    QProcess process;
};

// The build's share folder: the pictures and the starter banks, as installed.
const QString kShare = VI801_SHARE_DIR;

bool HasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY");
}

// The id of the visible window with exactly this title, once it is there.
// xdotool gives up at once when a window it looks at goes away meanwhile (the
// detection dialog closing as the main window opens): it is asked again.
QString WaitForWindow(const QString& title, int ms = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QProcess search;
        search.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
        if (!search.waitForFinished(static_cast<int>(ms - clock.elapsed()))) {
            search.kill();
            search.waitForFinished();
            return {};
        }
        const QString found =
            QString::fromLatin1(search.readAllStandardOutput()).section('\n', 0, 0).trimmed();
        if (!found.isEmpty()) return found;
        QThread::msleep(20);
    }
    return {};
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

// Started in the build's share folder on the emulated card, past the
// detection dialog.
void StartToMainWindow(Program& program, const QString& log) {
    program.Start({"--card=emulated", "--port-log=" + log}, kShare);
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
    program.Start({"--card=emulated", "--port-log=" + log}, kShare);
    ASSERT_FALSE(WaitForWindow(kDialog).isEmpty());
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Finish(), 0);
    EXPECT_TRUE(DecodeRegisterWrites(ReadPortLog(log), kOplPort).empty());
}

// What the last run left comes back after the usual start (here the
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
    program.Start({"--card=emulated", "--port-log=/nonexistent-dir/ports.log"}, kShare);
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
    program.Start({"--card=hardware"}, kShare);
    const QString box = WaitForWindow("VI 801");
    ASSERT_FALSE(box.isEmpty());
    PressEnter(box);
    EXPECT_EQ(program.Finish(), 1);
    const QString err = QString::fromLocal8Bit(program.process.readAllStandardError());
    const QString line = err.section('\n', 0, 0);
    EXPECT_TRUE(line.startsWith("vi801: no access to the card's I/O ports: ")) << err.toStdString();
    EXPECT_TRUE(line.contains("--card=emulated plays without the card")) << err.toStdString();
}

// The names of a folder's presets of one bank.
QStringList Bank(const QString& folder, const char* bank) {
    return QDir(folder + "/" + bank).entryList({"*.sbi"}, QDir::Files, QDir::Name);
}

// What the starter library generates for a bank, as file names.
QStringList LibraryBank(const char* bank) {
    QStringList names;
    for (const starters::Starter& s : starters::Library())
        if (s.bank == bank) names << QString::fromStdString(s.name + ".sbi");
    names.sort();
    return names;
}

// As built, it starts as installed: anywhere without img/, in the user's own
// folder made from the build's share folder, so saved presets stay out of
// the source tree.
TEST(Program, StartedWithoutImgItRunsInTheUsersFolderMadeFromTheStarterLibrary) {
    QTemporaryDir empty;
    Program program;
    program.Start({"--card=emulated"}, empty.path());
    const QString user = program.home.path() + "/.local/share/vi801";
    const QString cwd = QString("/proc/%1/cwd").arg(program.process.processId());
    QElapsedTimer timer;
    timer.start();
    while (QFile::symLinkTarget(cwd) != user && timer.elapsed() < 10000)
        program.process.waitForFinished(50);
    EXPECT_EQ(QFile::symLinkTarget(cwd), user);
    for (const char* bank : {"2op", "4op", "6op"})
        EXPECT_EQ(Bank(user, bank), LibraryBank(bank)) << bank;
    EXPECT_TRUE(QFile::exists(user + "/img/cnt0.jpg"));
    if (!HasDisplay()) return;
    // It goes on to the detection dialog, which the signal cancels, with
    // nothing to say.
    ASSERT_FALSE(WaitForWindow(kDialog).isEmpty());
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Finish(), 0);
    EXPECT_FALSE(program.process.readAllStandardError().contains("vi801: "));
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

// A folder a user renders in: the song (a program change, three notes and a
// chord on channel 1), a bank holding one starter preset, and img/, so it is
// a data folder.
struct RenderFolder {
    RenderFolder() {
        QDir(dir.path()).mkpath("img");
        QDir(dir.path()).mkpath("6op");
        QFile::copy(kShare + "/6op/Grand Piano.sbi", dir.filePath("6op/Grand Piano.sbi"));
        WriteFile(dir.filePath("song.mid"), Song());
    }
    static std::vector<uint8_t> Song() {
        return SmfBuilder(0, 480)
            .Track()
            .Event(0, {0xC0, 3})
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
    EXPECT_EQ(LineStarting(first.err, "vi801: "),
              "vi801: 1 program change of the song was ignored: --preset=Grand Piano plays "
              "throughout (--program-changes obeys them)");
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
    // So is the silent Default patch, played when no preset is named.
    const Ended plain = Render({"--render=song.mid", "--out=plain.wav"}, folder.dir.path());
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(LineStarting(plain.err, "vi801: "),
              "vi801: plain.wav is nearly silent: the Default patch hardly sounds; choose a sound "
              "with --preset=NAME");
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

// A million program changes on the first frame: the stop is heard between
// two of them, not after them all.
TEST(Render, AnEndSignalStopsItAtOnceHoweverManyMessagesFallOnOneFrame) {
    RenderFolder folder;
    SmfBuilder song(0, 480);
    song.Track().Event(0, {0xC0, 0});
    for (int i = 1; i < 1'000'000; ++i)
        song.Event(0, {0});
    WriteFile(folder.dir.filePath("changes.mid"), song.EndOfTrack().Bytes());
    const QStringList before = folder.Entries();
    Program program;
    program.Start({"--render=changes.mid", "--out=changes.wav"}, folder.dir.path());
    QElapsedTimer timer;
    timer.start();
    while (folder.Entries().size() == before.size() && timer.elapsed() < 60000)
        QThread::msleep(1);
    ASSERT_GT(folder.Entries().size(), before.size()) << "the render never began its file";
    timer.restart();
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Finish(30000), 1) << "still rendering";
    std::printf("from SIGTERM to the end of the program: %lld ms\n",
                static_cast<long long>(timer.elapsed()));
    EXPECT_EQ(LineStarting(program.process.readAllStandardError(), "vi801: "),
              "vi801: changes.wav: not written: Terminated");
    EXPECT_EQ(folder.Entries(), before);
}

TEST(Render, APortLogTheDiskRefusesIsToldOnceAndTheSongIsStillWritten) {
    RenderFolder folder;
    const Ended run =
        Render({"--render=song.mid", "--out=song.wav", "--port-log=/dev/full"}, folder.dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(
        run.err.count("vi801: can't write the port log '/dev/full': No space left on device\n"), 1)
        << run.err.toStdString();
    EXPECT_TRUE(ReadWav(folder.dir.filePath("song.wav").toStdString()).read);
}

// From the moment the take's file is made until the program ends, no
// signal, however many, loses the take.
TEST(Record, SignalsFromTheMomentTheTakeIsMadeToTheEndNeverLoseIt) {
    JackServer server;
    REQUIRE_JACK_SERVER(server);
    QTemporaryDir dir;
    const QString take = dir.filePath("take.wav");
    Program program; // after the server: it finds it
    program.Start({"--card=emulated", "--record=" + take}, VI801_SOURCE_DIR "/data");
    QElapsedTimer timer;
    timer.start();
    while (QDir(dir.path()).isEmpty() && timer.elapsed() < 20000)
        QThread::usleep(200);
    ASSERT_FALSE(QDir(dir.path()).isEmpty()) << "the take was never begun";
    QByteArray err;
    int sent = 0;
    while (!err.contains("vi801: recorded ") && program.process.state() == QProcess::Running &&
           timer.elapsed() < 40000) {
        program.Signal(sent++ % 2 ? SIGINT : SIGTERM);
        program.process.waitForReadyRead(1);
        err += program.process.readAllStandardError();
    }
    program.Finish();
    err += program.process.readAllStandardError();
    std::printf("%d signals sent\n", sent);
    EXPECT_NE(LineStarting(err, "vi801: recorded "), "") << err.toStdString();
    EXPECT_TRUE(WholeRiff(FileBytes(take)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"take.wav"});
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
    program.Start({"--card=emulated", "--midi-in=vi801-test-keys", "--record=" + take}, kShare);
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

// What software centres and man read: the component's metadata, valid, naming
// the installed desktop entry and icon, its newest release the program's
// version; the manual page with the hand-written description and every option.
void ExpectMetadataAndManual(const QString& prefix) {
    const QString metainfo = prefix + "/share/metainfo/org.example.vi801.metainfo.xml";
    QByteArray output;
    EXPECT_EQ(RunTool("appstreamcli", {"validate", "--no-net", metainfo}, &output), 0)
        << output.toStdString();
    QFile file(metainfo);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << metainfo.toStdString();
    const QString xml = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(xml.contains("<launchable type=\"desktop-id\">vi801.desktop</launchable>"));
    EXPECT_TRUE(xml.contains("<icon type=\"stock\">vi801</icon>"));
    ASSERT_EQ(RunTool(prefix + "/bin/vi801", {"--version"}, &output), 0);
    const QString version = QString::fromUtf8(output).trimmed().section(' ', -1);
    const QRegularExpression newest("<release version=\"([^\"]+)\"");
    EXPECT_EQ(newest.match(xml).captured(1), version)
        << "release notes for " << version.toStdString();

    const QString page = prefix + "/share/man/man1/vi801.1";
    QFile roff(page);
    ASSERT_TRUE(roff.open(QIODevice::ReadOnly)) << page.toStdString();
    const QString source = QString::fromUtf8(roff.readAll());
    for (const char* part : {".SH DESCRIPTION", "six-operator patch", "\\-\\-card",
                             "|hardware|alsa|emulated", "\\-\\-render", ".SH \"SEE ALSO\""})
        EXPECT_TRUE(source.contains(part)) << part;
    // As man shows it, where man is installed.
    QProcess man;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MANWIDTH", "100");
    man.setProcessEnvironment(env);
    man.start("man", {"-l", "-P", "cat", page});
    if (!man.waitForFinished(30000) || man.exitCode() != 0) return;
    const QString text = QString::fromUtf8(man.readAllStandardOutput());
    // Single words: the lines wrap where man likes.
    for (const char* part :
         {"six-operator", "--card=auto|hardware|alsa|emulated", "--render=SONG", "aplaymidi(1)"})
        EXPECT_TRUE(text.contains(part)) << part << " not in\n" << text.toStdString();
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
    // The banks are the starter library's, whatever else data/ holds.
    for (const char* bank : {"2op", "4op", "6op"})
        EXPECT_EQ(Bank(share + "/vi801", bank), LibraryBank(bank)) << bank;
    if (RunTool("desktop-file-validate", {share + "/applications/vi801.desktop"}, &output) != -1) {
        EXPECT_TRUE(output.trimmed().isEmpty()) << output.toStdString();
    }
    ExpectMetadataAndManual(prefix);

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

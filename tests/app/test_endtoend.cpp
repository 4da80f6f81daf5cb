// VI 801 as an instrument: the main window on the emulated card, its sound
// on a userspace JACK server of the test's own, played from a JACK MIDI
// output of the test's own and recorded by a JACK client of the test's own.
#include "app/cardsession.h"
#include "emulated/signal.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "jackpeers.h"
#include "midi/midi.h"
#include "midi/midireceiver.h"
#include "midi/shortmessage.h"
#include "presets/sbi.h"
#include "qtloop.h"
#include "support/jackcapture.h"
#include "support/jackserver.h"
#include "support/portrecorder.h"
#include "synth/corelink.h"
#include "ui/ccform.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/outputnotice.h"
#include "userchooses.h"
#include "wavfile.h"

#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sstream>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own count; GCC ships no header for it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

// Allocations and locks counted on the threads a test watches: operator new
// and pthread_mutex_lock of this program stand in for the library's.
namespace {
thread_local bool t_watched = false;
std::atomic<uint64_t> g_calls{0}, g_allocations{0}, g_locks{0};

void* Allocate(size_t size) {
    if (t_watched) g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    using Lock = int (*)(pthread_mutex_t*);
    static const Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (t_watched) g_locks.fetch_add(1, std::memory_order_relaxed);
    return real(mutex);
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kRate = 48000;
constexpr unsigned kPeriod = 128;
const std::filesystem::path kData = VI801_SHARE_DIR; // pictures and starters, as installed

// The window as it is, keeping the order of the short messages it handles.
class Form : public TFormMain {
public:
    using TFormMain::TFormMain;
    std::vector<uint32_t> handled;
    Clock::time_point firstHandled, lastHandled;

protected:
    void Dispatch(const PostedMessage& m) override {
        TFormMain::Dispatch(m);
        if (m.Message != MM_MIM_DATA) return;
        lastHandled = Clock::now();
        if (handled.empty()) firstHandled = lastHandled;
        handled.push_back(m.LParam);
    }
};

size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

struct Heard {
    long latencyFrames = -1; // from the note on's frame to the first frame above the floor
    double cents = 1e9;      // off 440 Hz, while held
    double heldDb = -300, afterDb = 0;
};

class EndToEnd : public testing::Test {
protected:
    std::unique_ptr<JackServer> server;
    std::unique_ptr<CardSession> card;
    std::unique_ptr<JackMidiSender> keys;
    std::unique_ptr<Form> form;
    std::ostringstream notes; // what the terminal is told while the program runs

    // The command line of the run.
    virtual CommandLine Options() const {
        CommandLine options;
        options.card = CardOption::Emulated;
        return options;
    }

    void SetUp() override {
        server = std::make_unique<JackServer>(JackServer::Options{kRate, kPeriod, true});
        REQUIRE_JACK_SERVER(*server);
        card = std::make_unique<CardSession>(Options(), SysfsRegistry::kDefaultRoot, &notes);
        const AudioOutputInfo& output = card->Card().output;
        ASSERT_TRUE(output.open) << output.error;
        ASSERT_EQ(output.api, "JACK");
        keys = std::make_unique<JackMidiSender>("keys", 140'000);
        ASSERT_TRUE(keys->Ok());
        const uint16_t base = card->Emulated()->Base();
        form = std::make_unique<Form>(
            nullptr, [base](QWidget*) { return base; }, kData);
        // As the program does: the synthesizer plays where the sound is made.
        ASSERT_TRUE(form->PlayOnCard(*card->Emulated()));
        form->show();
    }

    void TearDown() override {
        form.reset(); // resets the chip through the card
        keys.reset();
        card.reset();
        server.reset();
    }

    int EntryOf(const std::string& text) const {
        return form->ComboBoxMidiIn->findText(QString::fromStdString(text));
    }

    static std::string VirtualPort(const JackMidiSender& from) {
        const auto ports = JackPorts(from.Client(), "^VI 801[^:]*:VI 801$", JACK_DEFAULT_MIDI_TYPE,
                                     JackPortIsInput);
        return ports.size() == 1 ? ports[0] : "";
    }

    // What the test's JACK client recorded of the last PlayA4, interleaved.
    std::vector<float> captured;

    // A starter preset chosen by program change in the bank the user picked,
    // then note on 69, held, note off, and what the recording says of it.
    Heard PlayA4() {
        Heard heard;
        UserChooses(form->ComboBoxBank, 0); // 2op
        const int clarinet = form->ComboBoxPreset->findText("Clarinet");
        EXPECT_GE(clarinet, 0);
        keys->Send({0xC0, static_cast<uint8_t>(clarinet)});
        RunLoop(50);
        EXPECT_EQ(form->ComboBoxPreset->currentText(), "Clarinet");
        JackCapture recorder(2 * kRate);
        const std::string why = recorder.Open();
        EXPECT_EQ(why, "");
        recorder.recording.store(true);
        RunLoop(200);
        const size_t first = keys->Queued();
        keys->Send({0x90, 69, 127});
        RunLoop(700);
        keys->Send({0x80, 69, 0});
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (!recorder.Full() && Clock::now() < end)
            RunLoop(50);
        recorder.Close();
        captured = recorder.samples;
        EXPECT_TRUE(recorder.Full()) << "the server stopped playing";
        if (!recorder.Full() || keys->Sent() < first + 2) return heard;

        Signal s{recorder.samples, kRate};
        const long on = static_cast<long>(keys->SentAt(first) - recorder.firstFrame);
        const long off = static_cast<long>(keys->SentAt(first + 1) - recorder.firstFrame);
        EXPECT_GT(on, 0);
        const std::vector<double> left = s.Channel(0), right = s.Channel(1);
        double floor = 0;
        for (long i = 0; i < on; ++i)
            floor = std::max({floor, std::fabs(left[i]), std::fabs(right[i])});
        const double threshold = std::max(2 * floor, 1e-6);
        for (long i = on; i < off && heard.latencyFrames < 0; ++i)
            if (std::fabs(left[i]) > threshold || std::fabs(right[i]) > threshold)
                heard.latencyFrames = i - on;
        const size_t held = static_cast<size_t>(on) + kRate / 10;
        const std::vector<double> tone = s.Channel(0, held, kRate / 2);
        heard.cents = Cents(MeasureFrequency(tone, kRate), 440.0);
        heard.heldDb = Db(Rms(tone) + 1e-12);
        heard.afterDb = Db(Rms(s.Channel(0, s.Frames() - kRate / 5)) + 1e-12);
        return heard;
    }
};

void Report(const char* how, const Heard& h) {
    std::printf("%s: MIDI to sound %ld frames (%.2f ms at %u frames a period), "
                "%+.3f cents off 440 Hz, held %.1f dB, after release %.1f dB\n",
                how, h.latencyFrames, 1000.0 * h.latencyFrames / kRate, kPeriod, h.cents, h.heldDb,
                h.afterDb);
}

struct Counts {
    uint64_t calls, allocations, locks;
};
Counts Counted() {
    return {g_calls.load(), g_allocations.load(), g_locks.load()};
}

// Stands between JACK's threads and the core: the card's periods and the
// MIDI input's deliveries run with their thread watched.
class Watched final : public PeriodClient, public MidiReceiver {
public:
    Watched(CoreLink& link, EmulatedCard& card, Midi& midi)
        : link_(link), card_(card), midi_(midi) {
        card_.SetPeriodClient(this);
        midi_.SetReceiver(this);
    }
    ~Watched() {
        midi_.SetReceiver(&link_);
        card_.SetPeriodClient(&link_);
    }
    void Period(Run& run, uint32_t frameTime, size_t frames) override {
        Watch watch;
        link_.Period(run, frameTime, frames);
    }
    void Receive(Thread thread, uint32_t handle, ShortMessage m, uint32_t frame) override {
        Watch watch;
        link_.Receive(thread, handle, m, frame);
    }

private:
    struct Watch {
        Watch() {
            t_watched = true;
            g_calls.fetch_add(1);
        }
        ~Watch() { t_watched = false; }
    };
    CoreLink& link_;
    EmulatedCard& card_;
    Midi& midi_;
};

// The flood played by a core of its own on a recorder, from the window's
// start (Default patch, operator 1 following controllers, the 6op bank).
SynthState PlayedAlone(const std::vector<std::vector<uint8_t>>& flood, size_t taste) {
    PortRecorder recorder;
    recorder.SetWord(EmulatedCard::kDefaultBase + 2, EmulatedCard::kVolumeAtStart);
    ScopedThreadPortBackend ports(recorder);
    SynthCore core(EmulatedCard::kDefaultBase);
    core.ShowCardOutputState();
    SBI store(kData);
    const PresetBank bank = ReadPresetBank(store, "6op");
    core.SetBank(&bank);
    core.LoadPreset({PresetChoice::Kind::Default});
    core.SetCcEnabled(0, true);
    for (size_t i = 0; i < taste; ++i)
        core.HandleMidiData(
            1, {flood[i][0], flood[i][1], flood[i].size() > 2 ? flood[i][2] : uint8_t{0}});
    for (const auto& m : flood)
        core.HandleMidiData(1, {m[0], m[1], m.size() > 2 ? m[2] : uint8_t{0}});
    core.SetBank(nullptr);
    return core.State();
}
// For each note of the recording (note on at `first` + 2i): the frames from
// the frame it was sent at to its first sample above the tail the last one
// left (60 dB under the card's full level).
std::vector<long> NoteDelays(const JackCapture& recorder, const JackMidiSender& keys, size_t first,
                             int notes) {
    const double silence = std::pow(10.0, (SoundEngine::kOutputGainDb - 60) / 20);
    std::vector<long> delays;
    const size_t frames = recorder.samples.size() / 2;
    for (int i = 0; i < notes; ++i) {
        const long sent = static_cast<long>(keys.SentAt(first + 2 * static_cast<size_t>(i)) -
                                            recorder.firstFrame);
        for (long f = sent; f >= 0 && f < static_cast<long>(frames) && f < sent + 2400; ++f)
            if (std::fabs(recorder.samples[2 * f]) > silence ||
                std::fabs(recorder.samples[2 * f + 1]) > silence) {
                delays.push_back(f - sent);
                break;
            }
    }
    return delays;
}

// kBlips notes of operator 6 alone at full level (a short blip from
// silence each) sent at random frames while the window's thread is blocked
// for half a second: for each, the frames from the one it was sent at to
// its first sound.
constexpr int kBlips = 20;
std::vector<long> BlipsAtRandomFrames(TFormMain& form, JackMidiSender& keys) {
    form.OperatorFrames[5]->TrackBarVolume->setValue(63);
    JackCapture recorder(kRate);
    EXPECT_EQ(recorder.Open(), "");
    recorder.recording.store(true);
    RunLoop(100);

    const size_t first = keys.Queued();
    const jack_nframes_t base = jack_frame_time(keys.Client()) + kRate / 20;
    uint32_t seed = 12345;
    for (int i = 0; i < kBlips; ++i) {
        seed = seed * 1103515245 + 12345;
        const jack_nframes_t at =
            base + static_cast<jack_nframes_t>(i) * (kRate / 50) + (seed >> 16) % kPeriod;
        keys.Send({0x90, 72, 127}, at);
        keys.Send({0x80, 72, 0}, at + kRate / 100);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the window is busy
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!recorder.Full() && Clock::now() < end)
        RunLoop(50);
    recorder.Close();
    EXPECT_TRUE(recorder.Full());
    EXPECT_EQ(keys.Sent(), first + 2 * kBlips);
    if (!recorder.Full() || keys.Sent() != first + 2 * kBlips) return {};
    return NoteDelays(recorder, keys, first, kBlips);
}

} // namespace

TEST_F(EndToEnd, AJackMidiPortChosenInTheWindowPlaysA440AndFallsSilent) {
    const int entry = EntryOf(keys->PortName());
    ASSERT_GT(entry, 0) << keys->PortName() << " is not offered";
    UserChooses(form->ComboBoxMidiIn, entry);
    RunLoop(50); // the input starts when its open notification arrives
    ASSERT_TRUE(form->MidiIn->IsOpen);

    const Heard heard = PlayA4();
    Report("JACK port", heard);
    EXPECT_GE(heard.latencyFrames, 0) << "never heard";
    EXPECT_NEAR(heard.cents, 0.0, 1.0);
    EXPECT_GT(heard.heldDb, -50.0);
    EXPECT_LT(heard.afterDb, -90.0);
    EXPECT_EQ(form->LabelP->text(), "0");
}

TEST_F(EndToEnd, TheVirtualInputPlaysWhatAnotherProgramConnectsToIt) {
    const int entry = EntryOf(Midi::kVirtualInputText);
    ASSERT_EQ(entry, form->ComboBoxMidiIn->count() - 1);
    UserChooses(form->ComboBoxMidiIn, entry);
    RunLoop(50);
    const std::string port = VirtualPort(*keys);
    ASSERT_FALSE(port.empty());
    ASSERT_TRUE(keys->ConnectTo(port));

    const Heard heard = PlayA4();
    Report("virtual input", heard);
    EXPECT_GE(heard.latencyFrames, 0) << "never heard";
    EXPECT_NEAR(heard.cents, 0.0, 1.0);
    EXPECT_LT(heard.afterDb, -90.0);
}

// A musician's evening: the bend range set to two semitones by registered
// parameter 0 (Master Tuning unbound from controller 6 first), a note held
// by the sustain pedal after its key is up, bent a whole tone up, and let go
// with the pedal.
TEST_F(EndToEnd, APedalHeldNoteBendsTwoSemitonesAndStopsWithThePedal) {
    UserChooses(form->ComboBoxMidiIn, EntryOf(keys->PortName()));
    RunLoop(50);
    ASSERT_TRUE(form->MidiIn->IsOpen);
    UserChooses(form->ComboBoxBank, 0); // 2op
    const int clarinet = form->ComboBoxPreset->findText("Clarinet");
    ASSERT_GE(clarinet, 0);
    keys->Send({0xC0, static_cast<uint8_t>(clarinet)});
    form->ControllerForm->ValueListEditorCc->SetValue("Master Tuning ", "-1");
    for (uint8_t number : {101, 100})
        keys->Send({0xB0, number, 0});
    keys->Send({0xB0, 6, 2});
    RunLoop(100);
    form->Link->Sync();
    ASSERT_EQ(form->Link->State().bendRange, 200);

    JackCapture recorder(3 * kRate);
    ASSERT_EQ(recorder.Open(), "");
    recorder.recording.store(true);
    RunLoop(200);
    const size_t first = keys->Queued();
    keys->Send({0x90, 69, 127});
    RunLoop(300);
    keys->Send({0xB0, 64, 127});
    keys->Send({0x80, 69, 0});
    RunLoop(400);
    keys->Send({0xE0, 0x7F, 0x7F}); // all the way up: +200 cents
    RunLoop(500);
    keys->Send({0xB0, 64, 0});
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!recorder.Full() && Clock::now() < end)
        RunLoop(50);
    recorder.Close();
    ASSERT_TRUE(recorder.Full()) << "the server stopped playing";
    ASSERT_EQ(keys->Sent(), first + 5);
    EXPECT_EQ(form->LabelP->text(), "0");

    Signal s{recorder.samples, kRate};
    const auto at = [&](size_t i) {
        return static_cast<size_t>(keys->SentAt(first + i) - recorder.firstFrame);
    };
    const size_t off = at(2), bend = at(3), up = at(4);
    ASSERT_GT(bend, off + kRate / 4);
    const std::vector<double> held = s.Channel(0, off + kRate / 20, kRate / 4);
    const std::vector<double> bent = s.Channel(0, bend + kRate / 20, kRate / 3);
    const double heldCents = Cents(MeasureFrequency(held, kRate), 440.0);
    const double bentCents = Cents(MeasureFrequency(bent, kRate), 440.0);
    const double heldDb = Db(Rms(held) + 1e-12);
    const double afterDb = Db(Rms(s.Channel(0, s.Frames() - kRate / 5)) + 1e-12);
    std::printf("held by the pedal: %+.2f cents off 440 Hz at %.1f dB; bent: %+.2f cents; "
                "%.1f dB after the pedal went up\n",
                heldCents, heldDb, bentCents, afterDb);
    EXPECT_NEAR(heldCents, 0.0, 1.0);
    EXPECT_GT(heldDb, -50.0); // still sounding after its key went up
    EXPECT_NEAR(bentCents, 200.0, 1.0);
    EXPECT_GT(s.Frames(), up + kRate);
    EXPECT_LT(afterDb, -90.0);
}

// --record beside the test's own JACK client: the file holds what JACK heard.
class RecordedEndToEnd : public EndToEnd {
protected:
    QTemporaryDir dir;
    CommandLine Options() const override {
        CommandLine options = EndToEnd::Options();
        options.record = dir.filePath("take.wav").toStdString();
        return options;
    }
};

// From the first frame either of them heard the note: 0 when neither did.
size_t FirstSound(const std::vector<float>& interleaved) {
    for (size_t i = 0; i < interleaved.size(); i += 2)
        if (std::fabs(interleaved[i]) > 1e-3) return i / 2;
    return interleaved.size() / 2;
}

TEST_F(RecordedEndToEnd, TheRecordingIsWhatJackHeardFrameForFrame) {
    UserChooses(form->ComboBoxMidiIn, EntryOf(keys->PortName()));
    RunLoop(50);
    ASSERT_TRUE(form->MidiIn->IsOpen);
    const Heard heard = PlayA4();
    ASSERT_GE(heard.latencyFrames, 0) << "never heard";
    form.reset(); // the shutdown's reset, recorded too
    std::ostringstream report;
    EXPECT_TRUE(card->Finish(report)) << report.str();

    const WavContents wav = ReadWav(Options().record);
    ASSERT_TRUE(wav.read) << report.str();
    EXPECT_EQ(wav.rate, static_cast<int>(kRate));
    // The recording began at the first period, the capture later: the note
    // lines them up.
    const size_t heardFrom = FirstSound(captured), recordedFrom = FirstSound(wav.samples);
    ASSERT_GE(recordedFrom, heardFrom);
    const size_t offset = recordedFrom - heardFrom, frames = captured.size() / 2;
    ASSERT_LE(offset + frames, wav.Frames());
    double worst = 0;
    for (size_t i = 2 * heardFrom; i < captured.size(); ++i)
        worst = std::max(worst, std::fabs(double{captured[i]} - wav.samples[2 * offset + i]));
    // 24-bit samples in the file: at most one step apart.
    EXPECT_LE(worst, 1.0 / 8388608) << "frames differ";
    std::printf("recording against the JACK capture over %zu frames: at most %.3g apart\n",
                frames - heardFrom, worst);
}

// The mini keyboard's A4 while a JACK client of the test's own records a
// second: how far off 440 Hz and how loud it is while held.
Heard KeyboardA4(QWidget* form) {
    Heard heard;
    JackCapture recorder(kRate);
    EXPECT_EQ(recorder.Open(), "");
    recorder.recording.store(true);
    const auto end = Clock::now() + std::chrono::seconds(15);
    while (recorder.frames.load() < kRate / 10 && Clock::now() < end)
        RunLoop(10);
    PostMessage(form, MM_MIM_DATA, KeyboardSource, 0x7F4590); // note on 69, velocity 127
    while (!recorder.Full() && Clock::now() < end)
        RunLoop(10);
    PostMessage(form, MM_MIM_DATA, KeyboardSource, 0x004580);
    recorder.Close();
    EXPECT_TRUE(recorder.Full()) << "the server stopped playing";
    const size_t on = FirstSound(recorder.samples);
    if (!recorder.Full() || on + kRate / 2 > kRate) return heard;
    const Signal s{recorder.samples, kRate};
    const std::vector<double> tone = s.Channel(0, on + kRate / 10, kRate / 3);
    heard.cents = Cents(MeasureFrequency(tone, kRate), 440.0);
    heard.heldDb = Db(Rms(tone) + 1e-12);
    return heard;
}

// The server goes while the program records: the window says so, the take
// goes on once the server is back, with the patch that was playing.
TEST_F(RecordedEndToEnd, WhenTheServerGoesAndComesBackTheWindowSaysSoAndThePatchPlaysOn) {
    auto* notice = new OutputNotice(
        form->PanelOutput, [session = card->Emulated()] { return session->OutputState(); });
    UserChooses(form->ComboBoxBank, 0); // 2op
    UserChooses(form->ComboBoxPreset, form->ComboBoxPreset->findText("Clarinet"));
    ASSERT_EQ(form->ComboBoxPreset->currentText(), "Clarinet");
    const Heard before = KeyboardA4(form.get());
    ASSERT_GT(before.heldDb, -50.0);
    keys.reset(); // closed while its server runs: one whose server died cannot be

    ASSERT_TRUE(server->Stop());
    const auto stopped = Clock::now();
    auto end = stopped + std::chrono::seconds(5);
    while (!notice->isVisible() && Clock::now() < end)
        RunLoop(10);
    ASSERT_TRUE(notice->isVisible()) << "the window never said the output went";
    const double told = std::chrono::duration<double>(Clock::now() - stopped).count();
    EXPECT_TRUE(notice->text().contains("JACK")) << notice->text().toStdString();

    ASSERT_TRUE(server->Start()) << server->Why();
    const auto restarted = Clock::now();
    end = restarted + std::chrono::seconds(15);
    while (notice->isVisible() && Clock::now() < end)
        RunLoop(10);
    ASSERT_FALSE(notice->isVisible()) << "the output never came back";
    const double back = std::chrono::duration<double>(Clock::now() - restarted).count();
    const Heard after = KeyboardA4(form.get());
    std::printf("server stopped: the window said so after %.2f s; restarted: sound back after "
                "%.2f s; A4 %+.3f cents at %.1f dB before, %+.3f cents at %.1f dB after\n",
                told, back, before.cents, before.heldDb, after.cents, after.heldDb);
    EXPECT_NEAR(after.cents, 0.0, 1.0);
    EXPECT_NEAR(after.heldDb, before.heldDb, 1.0);

    // The synthesizer went back where the sound is made: a JACK MIDI input
    // on the new server plays each note at its own frame again.
    EXPECT_TRUE(form->Link->PlaysElsewhere());
    keys = std::make_unique<JackMidiSender>("keys");
    UserChooses(form->ComboBoxMidiIn, 0);
    UserChooses(form->ComboBoxMidiIn, form->ComboBoxMidiIn->count() - 1); // the virtual input
    RunLoop(50);
    ASSERT_TRUE(form->MidiIn->IsOpen);
    ASSERT_TRUE(keys->ConnectTo(VirtualPort(*keys)));
    form->LoadDefaultPatch();
    const std::vector<long> delays = BlipsAtRandomFrames(*form, *keys);
    ASSERT_EQ(delays.size(), static_cast<size_t>(kBlips));
    const auto [shortest, longest] = std::minmax_element(delays.begin(), delays.end());
    std::printf("notes after the server came back: sounded %ld to %ld frames after they were "
                "sent\n",
                *shortest, *longest);
    EXPECT_LE(*longest - *shortest, 2);
    EXPECT_LE(*longest, static_cast<long>(kPeriod + kRate / 1000));
    EXPECT_NE(notes.str().find("vi801: the audio output went away (JACK)"), std::string::npos)
        << notes.str();
    EXPECT_NE(notes.str().find("vi801: the audio output (JACK) is back after 0:0"),
              std::string::npos)
        << notes.str();

    form.reset();
    std::ostringstream report;
    EXPECT_TRUE(card->Finish(report)) << report.str();
    EXPECT_NE(report.str().find("; the audio output was gone for 0:0"), std::string::npos)
        << report.str();
    EXPECT_NE(report.str().find(" (once), which the take leaves out\n"), std::string::npos)
        << report.str();
    const WavContents wav = ReadWav(Options().record);
    ASSERT_TRUE(wav.read);
    EXPECT_GE(wav.Frames(), 2u * kRate) << "both notes are in the take";
}

// Notes, controllers, bends and program changes, in a fixed mix.
std::vector<std::vector<uint8_t>> FloodOfMessages(size_t count) {
    std::vector<std::vector<uint8_t>> flood;
    for (size_t i = 0; flood.size() < count; ++i) {
        const auto n = static_cast<uint8_t>(36 + i % 48), v = static_cast<uint8_t>(i % 128);
        flood.push_back({0x90, n, static_cast<uint8_t>(1 + v % 127)});
        flood.push_back({0xB0, static_cast<uint8_t>(i % 2 ? 7 : 74), v});
        flood.push_back({0xE0, 0, v});
        flood.push_back({0x80, n, 0});
        if (i % 25 == 0) flood.push_back({0xC0, static_cast<uint8_t>(i % 3)});
    }
    flood.resize(count);
    return flood;
}

// How often a 10 ms timer of the window fires, and its longest wait.
struct Ticks {
    QTimer timer;
    int count = 0;
    Clock::time_point last = Clock::now();
    double longestMs = 0;
    Ticks() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longestMs =
                std::max(longestMs, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            ++count;
        });
        timer.start(10);
    }
};

// As fast as the port takes them: every one played, in order, on JACK's
// threads without an allocation or a lock there, while the window keeps its
// timers, and the heap back where it was.
TEST_F(EndToEnd, AFloodIsPlayedOnJacksThreadsWithoutAllocatingOrLocking) {
    constexpr size_t kFlood = 100'000;
    form->OperatorFrames[0]->SetCcEnabled(true);
    UserChooses(form->ComboBoxMidiIn, EntryOf(keys->PortName()));
    RunLoop(50);
    ASSERT_TRUE(form->MidiIn->IsOpen);
    // The counting stands between JACK's threads and the core.
    Watched watched(*form->Link, *card->Emulated(), *form->MidiIn);
    const auto flood = FloodOfMessages(kFlood);
    // A first taste fills what stays (the window's glyphs and pictures).
    constexpr size_t kTaste = 30'000;
    for (size_t i = 0; i < kTaste; ++i)
        keys->Send(flood[i]);
    const auto played = [this] { return form->Link->MessagesPlayed(); };
    while (played() < kTaste)
        RunLoop(10);
    const uint64_t before = played();
    {
        // The counting sees an allocation and a lock where there is one.
        const Counts none = Counted();
        std::mutex mutex;
        t_watched = true;
        delete new int(1);
        mutex.lock();
        mutex.unlock();
        t_watched = false;
        ASSERT_EQ(Counted().allocations, none.allocations + 1);
        ASSERT_EQ(Counted().locks, none.locks + 1);
        g_allocations -= 1;
        g_locks -= 1;
    }
    const Counts countedBefore = Counted();

    const size_t heapBefore = HeapInUse();
    auto ticks = std::make_unique<Ticks>();
    const auto start = Clock::now();
    for (const auto& m : flood)
        keys->Send(m);
    const auto end = Clock::now() + std::chrono::seconds(240);
    while (played() < before + kFlood && Clock::now() < end)
        RunLoop(10);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Counts counted = Counted();
    ASSERT_EQ(played(), before + kFlood);
    EXPECT_EQ(form->Link->Inlet(1).Lost(), 0u);
    EXPECT_GT(counted.calls, countedBefore.calls + kFlood / 100); // the counting saw them
    EXPECT_EQ(counted.allocations, 0u);
    EXPECT_EQ(counted.locks, 0u);

    // In order: the state is what a core of its own makes of the same messages.
    form->Link->Sync();
    const SynthState alone = PlayedAlone(flood, kTaste);
    const SynthState& state = form->Link->State();
    EXPECT_EQ(state.ops, alone.ops);
    EXPECT_EQ(state.voice, alone.voice);
    EXPECT_EQ(state.volume, alone.volume);
    EXPECT_EQ(state.poly, alone.poly);
    EXPECT_EQ(state.presetIndex, alone.presetIndex);

    const int fired = ticks->count;
    const double longestMs = ticks->longestMs;
    ticks.reset();
    RunLoop(100);
    const long heapGrowth = static_cast<long>(HeapInUse()) - static_cast<long>(heapBefore);
    std::printf("flood: %zu messages played in %.2f s on JACK's threads, %llu calls watched, "
                "%llu allocations, %llu locks; timer fired %d times, longest gap %.0f ms; heap "
                "%+ld bytes afterwards\n",
                kFlood, seconds, static_cast<unsigned long long>(counted.calls),
                static_cast<unsigned long long>(counted.allocations),
                static_cast<unsigned long long>(counted.locks), fired, longestMs, heapGrowth);
    EXPECT_GT(fired, 10);
    EXPECT_LT(heapGrowth, 64 << 10);
}

// The window's thread blocked for half a second while a sequence plays:
// every note sounds at its own frame, a constant delay after it was sent.
TEST_F(EndToEnd, NotesKeepTheirFramesWhileTheWindowIsBlocked) {
    UserChooses(form->ComboBoxMidiIn, EntryOf(keys->PortName()));
    RunLoop(50);
    ASSERT_TRUE(form->MidiIn->IsOpen);
    const std::vector<long> delays = BlipsAtRandomFrames(*form, *keys);
    ASSERT_EQ(delays.size(), static_cast<size_t>(kBlips));
    const auto [shortest, longest] = std::minmax_element(delays.begin(), delays.end());
    std::printf("notes while the window was blocked: sounded %ld to %ld frames after they were "
                "sent\n",
                *shortest, *longest);
    EXPECT_LE(*longest - *shortest, 2);                             // at their frames
    EXPECT_LE(*longest, static_cast<long>(kPeriod + kRate / 1000)); // a period and 1 ms at most

    // A message posted to the window plays there too, and the window shows it.
    PostMessage(form.get(), MM_MIM_DATA, KeyboardSource, 0x7F4890);
    RunLoop(100);
    EXPECT_EQ(form->LabelP->text(), "1");
}

// The server dies while notes sound, after the program sending them went
// away: the window goes on, and a new server's input can be chosen.
TEST_F(EndToEnd, ThePortAndThenTheServerGoingAwayLeaveAnInstrumentThatPlays) {
    UserChooses(form->ComboBoxMidiIn, EntryOf(keys->PortName()));
    RunLoop(50);
    keys->Send({0x90, 60, 100});
    keys->Send({0x90, 64, 100});
    RunLoop(100);
    ASSERT_EQ(form->LabelP->text(), "2");
    keys->Close();
    RunLoop(50);
    UserChooses(form->ComboBoxMidiIn, form->ComboBoxMidiIn->count() - 1);
    RunLoop(50);
    EXPECT_TRUE(form->MidiIn->IsOpen);

    ASSERT_TRUE(server->Stop());
    RunLoop(200);
    // The mini keyboard still plays: the card takes its writes without a stream.
    PostMessage(form.get(), MM_MIM_DATA, KeyboardSource, 0x7F4390);
    RunLoop(50);
    EXPECT_EQ(form->LabelP->text(), "3");
    UserChooses(form->ComboBoxMidiIn, 0);
    UserChooses(form->ComboBoxMidiIn, form->ComboBoxMidiIn->count() - 1);
    EXPECT_FALSE(form->MidiIn->IsOpen); // no server, no port

    ASSERT_TRUE(server->Start()) << server->Why();
    UserChooses(form->ComboBoxMidiIn, 0);
    UserChooses(form->ComboBoxMidiIn, form->ComboBoxMidiIn->count() - 1);
    RunLoop(50);
    ASSERT_TRUE(form->MidiIn->IsOpen);
    JackMidiSender more("more");
    ASSERT_TRUE(more.ConnectTo(VirtualPort(more)));
    more.Send({0xB0, 123, 0}); // all notes off
    RunLoop(100);
    EXPECT_EQ(form->LabelP->text(), "0");
}

// Where the machine has an ALSA sequencer, the virtual input is a port there
// too, for aplaymidi -p and aconnect.
TEST_F(EndToEnd, TheVirtualInputIsASequencerPortWhereThereIsOne) {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer on this machine (/dev/snd/seq)";
    UserChooses(form->ComboBoxMidiIn, form->ComboBoxMidiIn->count() - 1);
    RunLoop(50);
    RtMidiOut out(RtMidi::LINUX_ALSA, "vi801-test");
    int port = -1;
    for (unsigned i = 0; i < out.getPortCount() && port < 0; ++i)
        if (out.getPortName(i).rfind("VI 801:VI 801", 0) == 0) port = static_cast<int>(i);
    ASSERT_GE(port, 0) << "no sequencer port VI 801:VI 801";
    out.openPort(static_cast<unsigned>(port));
    std::vector<unsigned char> on{0x90, 69, 100}, off{0x80, 69, 0};
    out.sendMessage(&on);
    RunLoop(100);
    EXPECT_EQ(form->LabelP->text(), "1");
    out.sendMessage(&off);
    RunLoop(100);
    EXPECT_EQ(form->LabelP->text(), "0");
}

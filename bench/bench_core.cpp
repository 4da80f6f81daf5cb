// The synthesizer core live on a userspace JACK server (dummy driver,
// 48 kHz), driven directly: no window, Qt Core only. Each figure against
// its target, and against the way messages were played before (by the
// thread of an event loop, as the window's was):
//   timing:  1,000 notes sent from a JACK client at random frames of a
//            128-frame period; the frames from each note's frame to its
//            first sound. Target: spread at most 1 frame, delay at most a
//            period plus 1 ms (MIDI to sound)
//   callback: at 32 frames a period, six voices held and 10,000 messages a
//            second (notes, controllers, bends); the longest period's work
//            of the card's audio thread. Target: under 25 % of the period
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "midi/midi.h"
#include "midi/postedmessage.h"
#include "support/jackcapture.h"
#include "support/jackpeers.h"
#include "support/jackserver.h"
#include "support/qtloop.h"
#include "synth/corelink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kRate = 48000;

// Stands in for the window: what MIDI input posts is played on this thread.
class Poster : public QObject {
public:
    explicit Poster(CoreLink& link) : link_(link) {}
    bool event(QEvent* e) override {
        if (e->type() != PostedMessage::EventType()) return QObject::event(e);
        const auto& m = static_cast<const PostedMessage&>(*e);
        if (m.Message == MM_MIM_DATA) link_.SendMidi(m.WParam, UnpackShortMessage(m.LParam));
        return true;
    }

private:
    CoreLink& link_;
};

// The card on the server, its synthesizer started as the program starts it,
// operator 6 alone at full level (a short blip from silence per note).
struct Rig {
    EmulatedCard card;
    ScopedPortBackend ports{card};
    std::unique_ptr<SynthCore> core;
    std::unique_ptr<CoreLink> link;
    std::unique_ptr<Poster> poster;
    std::unique_ptr<Midi> midi;
    bool ok = false;

    Rig(bool onCardThread, bool held) {
        if (!card.StartOutput()) return;
        core = std::make_unique<SynthCore>(card.Base());
        core->ShowCardOutputState();
        core->LoadPreset({PresetChoice::Kind::Default});
        core->SetOperatorField(5, kFieldVolume, 63);
        if (held) {
            core->SetOperatorField(5, kFieldHold, 1);
            core->SetOperatorField(5, kFieldSustain, 0);
        }
        link = std::make_unique<CoreLink>(*core);
        poster = std::make_unique<Poster>(*link);
        midi = std::make_unique<Midi>(poster.get());
        ok = !onCardThread || link->PlayOn(card);
        if (onCardThread) midi->SetReceiver(link.get());
    }
    ~Rig() {
        midi.reset();
        link.reset();
        core.reset();
        card.StopOutput();
    }
    bool Listen(const std::string& port) {
        QStringList list;
        midi->GetDeviceList(list);
        const int index = static_cast<int>(list.indexOf(QString::fromStdString(port)));
        if (index < 1 || !midi->OpenDevice(index)) return false;
        midi->Start();
        RunLoop(50);
        return true;
    }
};

struct Spread {
    long shortest = 0, longest = 0, count = 0;
};

Spread Timing(bool onCardThread) {
    constexpr int kNotes = 1000;
    constexpr unsigned kPeriod = 128;
    JackMidiSender keys("keys", 2 * kNotes + 16); // before the rig lists the inputs
    Rig rig(onCardThread, false);
    JackCapture recorder(static_cast<size_t>(kNotes) * kRate / 50 + 2 * kRate);
    if (!rig.ok || !rig.Listen(keys.PortName()) || !recorder.Open().empty()) return {};
    recorder.recording.store(true);
    RunLoop(100);
    const jack_nframes_t base = jack_frame_time(keys.Client()) + kRate / 10;
    uint32_t seed = 2024;
    for (int i = 0; i < kNotes; ++i) {
        seed = seed * 1103515245 + 12345;
        const jack_nframes_t at =
            base + static_cast<jack_nframes_t>(i) * (kRate / 50) + (seed >> 16) % kPeriod;
        keys.Send({0x90, 72, 127}, at);
        keys.Send({0x80, 72, 0}, at + kRate / 100);
    }
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (!recorder.Full() && Clock::now() < end)
        RunLoop(50);
    recorder.Close();
    Spread spread{1 << 30, -1, 0};
    for (int i = 0; i < kNotes && keys.Sent() >= 2 * static_cast<size_t>(kNotes); ++i) {
        const long sent =
            static_cast<long>(keys.SentAt(2 * static_cast<size_t>(i)) - recorder.firstFrame);
        for (long f = std::max(sent, 0L); f < sent + 2400; ++f) {
            if (2 * static_cast<size_t>(f) + 1 >= recorder.samples.size()) break;
            if (std::fabs(recorder.samples[2 * f]) > 1e-3) {
                spread.shortest = std::min(spread.shortest, f - sent);
                spread.longest = std::max(spread.longest, f - sent);
                ++spread.count;
                break;
            }
        }
    }
    return spread;
}

double ThreadMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e6 * static_cast<double>(t.tv_sec) + 1e-3 * static_cast<double>(t.tv_nsec);
}

// Times every period of the card's audio thread, its rendering included, in
// the thread's own CPU time: on a machine shared with other work, time the
// thread spent preempted is not the callback's.
class Timed final : public PeriodClient {
public:
    explicit Timed(CoreLink& link) : link_(link) {}
    void Period(Run& run, uint32_t frameTime, size_t frames) override {
        const double start = ThreadMicroseconds();
        link_.Period(run, frameTime, frames);
        run.RenderUntil(frames);
        if (periods_ < kKept) times_[periods_] = ThreadMicroseconds() - start;
        ++periods_;
    }
    std::vector<double> Times() const {
        return {times_.begin(), times_.begin() + std::min(periods_, kKept)};
    }

private:
    static constexpr size_t kKept = 1 << 20;
    CoreLink& link_;
    std::vector<double> times_ = std::vector<double>(kKept);
    size_t periods_ = 0;
};

void WorstCallback(bool flood) {
    constexpr unsigned kPeriod = 32;
    constexpr int kSeconds = 10, kPerSecond = 10'000;
    JackServer server(JackServer::Options{kRate, kPeriod, true});
    if (!server.Running()) {
        std::printf("callback at %u frames: no JACK server (%s)\n", kPeriod, server.Why().c_str());
        return;
    }
    JackMidiSender keys("keys", kSeconds * kPerSecond + 64);
    Rig rig(true, true);
    if (!rig.ok || !rig.Listen(keys.PortName())) return;
    Timed timed(*rig.link);
    rig.card.SetPeriodClient(&timed);
    const uint8_t chord[6] = {48, 52, 55, 60, 64, 67};
    for (uint8_t note : chord)
        keys.Send({0x90, note, 100});
    RunLoop(200);
    const jack_nframes_t base = jack_frame_time(keys.Client()) + kRate / 10;
    const int count = flood ? kSeconds * kPerSecond : 0;
    for (int i = 0; i < count; ++i) {
        const auto at = base + static_cast<jack_nframes_t>(int64_t{i} * kRate / kPerSecond);
        const auto v = static_cast<uint8_t>(i % 128);
        const uint8_t note = chord[(i / 4) % 6];
        switch (i % 4) {
        case 0:
            keys.Send({0xB0, 7, v}, at);
            break;
        case 1:
            keys.Send({0xE0, 0, v}, at);
            break;
        case 2:
            keys.Send({0x80, note, 0}, at);
            break;
        default:
            keys.Send({0x90, note, 100}, at);
            break;
        }
    }
    RunLoop(flood ? kSeconds * 1000 + 500 : 2000);
    rig.card.SetPeriodClient(rig.link.get());
    std::vector<double> us = timed.Times();
    if (us.empty()) return;
    std::sort(us.begin(), us.end());
    const double periodUs = 1e6 * kPeriod / kRate;
    const double worst = us.back(), p99 = us[us.size() * 99 / 100],
                 p999 = us[us.size() * 999 / 1000];
    std::printf("callback at %u frames (%.0f us), six voices%s: %zu periods, CPU time p99 %.1f us, "
                "p99.9 %.1f us, worst %.1f us = %.1f %% of the period (target under 25 %%) %s\n",
                kPeriod, periodUs, flood ? ", 10,000 messages a second" : "", us.size(), p99, p999,
                worst, 100 * worst / periodUs, worst < periodUs / 4 ? "ok" : "OVER TARGET");
}

void ReportTiming(const char* how, const Spread& s) {
    if (s.count == 0) {
        std::printf("timing %s: nothing heard\n", how);
        return;
    }
    const double periodMs = 1000.0 * 128 / kRate;
    std::printf("timing %s, 1,000 notes at random frames of 128: %ld heard, %ld to %ld frames "
                "after their frames: spread %ld (target at most 1) %s; MIDI to sound at most "
                "%.2f ms (target %.2f) %s\n",
                how, s.count, s.shortest, s.longest, s.longest - s.shortest,
                s.longest - s.shortest <= 1 ? "ok" : "OVER TARGET", 1000.0 * s.longest / kRate,
                periodMs + 1, 1000.0 * s.longest / kRate <= periodMs + 1 ? "ok" : "OVER TARGET");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const bool timing = argc < 2 || std::string(argv[1]) != "--callback-only";
    if (timing) {
        JackServer server(JackServer::Options{kRate, 128, true});
        if (!server.Running()) {
            std::printf("no JACK server: %s\n", server.Why().c_str());
            return 0;
        }
        ReportTiming("on the card's thread", Timing(true));
        ReportTiming("by an event loop's thread (as before)", Timing(false));
    }
    WorstCallback(false);
    WorstCallback(true);
    return 0;
}

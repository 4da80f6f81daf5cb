// Two latencies of playing, on a userspace JACK server (dummy driver, 48 kHz,
// 128 frames a period), each printed against its target as a ratio (below 1
// meets it):
//   callback to write: from the moment a JACK MIDI event is written (just
//          before RtMidi's callback runs in the same cycle) to the note's
//          first register write on the GUI thread, which waits idle in its
//          event loop; p50 and p99 over 10,000 notes; target p99 under 1 ms
//   MIDI to sound: from the note on's frame to the first frame of the card's
//          output above silence, recorded by a JACK client; p50 and p99 over
//          200 notes; target at most two periods plus 1 ms
#include "app/cardsession.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/fm801.h"
#include "hardware/giveio.h"
#include "hardware/opl3.h"
#include "jackpeers.h"
#include "midi/midi.h"
#include "support/jackcapture.h"
#include "support/jackserver.h"
#include "support/percentile.h"
#include "support/qtloop.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/toolkit.h"

#include <QComboBox>
#include <QEventLoop>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <vector>

namespace {

constexpr unsigned kRate = 48000, kPeriod = 128;
constexpr int kNotes = 10'000, kSoundNotes = 200;
constexpr double kWriteTargetMs = 1.0;
constexpr double kSoundTargetFrames = 2.0 * kPeriod + kRate / 1000.0;

// The card's ports, answering the volume register, noting when the first
// OPL3 write after each arming lands.
class StampingPorts : public PortBackend {
public:
    std::atomic<bool> armed{false};
    std::atomic<jack_time_t> stamped{0};
    void EnableAccess() override {}
    void OutByte(uint16_t port, uint8_t) override {
        if (port >= 0xE868 && port <= 0xE86B && armed.exchange(false))
            stamped.store(jack_get_time());
    }
    void OutWord(uint16_t, uint16_t) override {}
    uint16_t InWord(uint16_t) override { return 0x0606; }
};

void CallbackToWrite() {
    StampingPorts ports;
    ScopedPortBackend scope(ports);
    JackMidiSender keys("keys", 2 * kNotes);
    TFormMain form(nullptr, [](QWidget*) { return uint16_t{0xE800}; });
    if (!form.ChooseMidiIn(QString::fromStdString(keys.PortName()))) {
        std::printf("callback to write: the sender's port is not offered\n");
        return;
    }
    RunLoop(50);
    std::vector<double> ms;
    for (int i = 0; i < kNotes; ++i) {
        ports.armed.store(true);
        ports.stamped.store(0);
        const size_t at = keys.Queued();
        keys.Send({0x90, 60, 100});
        keys.Send({0x80, 60, 0});
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (ports.stamped.load() == 0 && std::chrono::steady_clock::now() < end)
            RunLoop(1);
        if (ports.stamped.load() == 0 || keys.Sent() <= at) continue;
        const auto us = static_cast<int64_t>(ports.stamped.load() - keys.SentTime(at));
        ms.push_back(static_cast<double>(us) / 1000.0);
        RunLoop(2); // the note off too, before the next arming
    }
    if (ms.empty()) return;
    const double p50 = Percentile(ms, 0.5), p99 = Percentile(ms, 0.99);
    std::printf("callback to write over %zu notes: p50 %.3f ms, p99 %.3f ms, max %.3f ms   "
                "target p99 %.1f ms   ratio %.3f\n",
                ms.size(), p50, p99, Percentile(ms, 1.0), kWriteTargetMs, p99 / kWriteTargetMs);
}

void MidiToSound() {
    CommandLine options;
    options.card = CardOption::Emulated;
    CardSession card(options);
    if (!card.Card().output.open) {
        std::printf("MIDI to sound: no output (%s)\n", card.Card().output.error.c_str());
        return;
    }
    JackMidiSender keys("keys", 2 * kSoundNotes);
    const uint16_t base = card.Emulated()->Base();
    TFormMain form(
        nullptr, [base](QWidget*) { return base; }, std::string(VI801_SOURCE_DIR) + "/data");
    form.ChooseMidiIn(QString::fromStdString(keys.PortName()));
    // A sustained 440 Hz that starts and ends at once, so that every note
    // starts from silence and is heard in its first frames.
    form.ComboBoxBank->setCurrentIndex(0); // 2op
    form.ComboBoxBankChange();
    form.LoadPresetByName("Clarinet");
    for (TFrameOp* frame : form.OperatorFrames) {
        frame->TrackBarAttack->setValue(15);
        frame->TrackBarRelease->setValue(15);
    }

    constexpr int kSpacingMs = 60;
    JackCapture recorder(kRate * (kSoundNotes * kSpacingMs / 1000 + 2));
    if (const std::string why = recorder.Open(); !why.empty()) {
        std::printf("MIDI to sound: %s\n", why.c_str());
        return;
    }
    recorder.recording.store(true);
    RunLoop(100);
    for (int i = 0; i < kSoundNotes; ++i) {
        keys.Send({0x90, 69, 127});
        RunLoop(kSpacingMs / 2);
        keys.Send({0x80, 69, 0});
        RunLoop(kSpacingMs / 2);
    }
    RunLoop(200);
    recorder.Close();
    const std::vector<float>& x = recorder.samples;
    std::vector<double> frames;
    for (int i = 0; i < kSoundNotes; ++i) {
        const long on = static_cast<long>(keys.SentAt(2 * i) - recorder.firstFrame);
        const long off = static_cast<long>(keys.SentAt(2 * i + 1) - recorder.firstFrame);
        // The chip's output keeps a bit or so of residue after a release.
        double floor = 0;
        for (long f = std::max(0L, on - static_cast<long>(kRate / 100)); f < on; ++f)
            floor = std::max({floor, std::fabs(double{x[2 * f]}), std::fabs(double{x[2 * f + 1]})});
        const double threshold = std::max(4 * floor, 1e-6);
        for (long f = on; f < off && 2 * f + 1 < static_cast<long>(x.size()); ++f)
            if (std::fabs(x[2 * f]) > threshold || std::fabs(x[2 * f + 1]) > threshold) {
                frames.push_back(static_cast<double>(f - on));
                break;
            }
    }
    if (frames.empty()) {
        std::printf("MIDI to sound: nothing heard\n");
        return;
    }
    const double p50 = Percentile(frames, 0.5), p99 = Percentile(frames, 0.99);
    std::printf("MIDI to sound over %zu notes: p50 %.0f frames (%.2f ms), p99 %.0f frames "
                "(%.2f ms), max %.0f   target %.0f frames   ratio %.3f\n",
                frames.size(), p50, 1000 * p50 / kRate, p99, 1000 * p99 / kRate,
                Percentile(frames, 1.0), kSoundTargetFrames, p99 / kSoundTargetFrames);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application application(argc, argv);
    JackServer server(JackServer::Options{kRate, kPeriod, true});
    if (!server.Running()) {
        std::printf("no JACK server: %s\n", server.Why().c_str());
        return 1;
    }
    CallbackToWrite();
    MidiToSound();
    return 0;
}

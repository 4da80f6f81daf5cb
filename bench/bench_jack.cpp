// The emulated card on a userspace JACK server (dummy driver), the way a
// user hears it, at 32, 64 and 128 frames a period:
//   xruns: for the given time (60 s unless told) the card plays six notes
//     while a control client in the same server does the same average work
//     per period, evenly; the server names every client that was not done
//     in time, and both counts are printed side by side
//   StartOutput and StopOutput: how long each takes
//   idle: the process's CPU time with the card playing nothing, against a
//     bare client that only writes silence
// Usage: bench_jack [seconds]
#include "benchpatch.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "hardware/opl3regs.h"
#include "presets/patchrecord.h"
#include "support/jackserver.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using bench::AllOutputs;
using bench::EverythingSounds;
using bench::kChord;
using bench::PlayChord;

using Clock = std::chrono::steady_clock;
constexpr unsigned kRate = 48000;
constexpr uint16_t kBase = EmulatedCard::kDefaultBase;

// The card's mean cost of one period with the chord sounding, offline.
double MeanPeriodCostUs(unsigned period) {
    EmulatedCard card;
    card.SetOutputRate(kRate);
    ScopedPortBackend scope(card);
    FM801 fm(kBase);
    PlayChord(*fm.Opl3);
    std::vector<float> out(2 * period);
    for (int i = 0; i < 200; ++i)
        card.Render(out.data(), period);
    const size_t calls = 10 * kRate / period;
    const Clock::time_point t0 = Clock::now();
    for (size_t i = 0; i < calls; ++i)
        card.Render(out.data(), period);
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() /
           static_cast<double>(calls);
}

// A client with two outputs that works busyUs per period, then writes silence.
struct Control {
    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    double busyUs = 0;

    static int Process(jack_nframes_t n, void* self) {
        auto& c = *static_cast<Control*>(self);
        const Clock::time_point end =
            Clock::now() + std::chrono::nanoseconds(static_cast<long>(1000 * c.busyUs));
        while (Clock::now() < end) {
        }
        for (jack_port_t* port : c.ports)
            std::memset(jack_port_get_buffer(port, n), 0, n * sizeof(float));
        return 0;
    }

    bool Start(const char* name, double us) {
        busyUs = us;
        client = jack_client_open(name, JackNoStartServer, nullptr);
        if (!client) return false;
        ports[0] =
            jack_port_register(client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        ports[1] =
            jack_port_register(client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client, &Control::Process, this);
        return jack_activate(client) == 0;
    }

    ~Control() {
        if (client) {
            jack_deactivate(client);
            jack_client_close(client);
        }
    }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void Xruns(unsigned period, double seconds) {
    const double cost = MeanPeriodCostUs(period);
    JackServer server({kRate, period, false});
    if (!server.Running()) {
        std::printf("period %u: %s\n", period, server.Why().c_str());
        return;
    }
    {
        EmulatedCard card;
        ScopedPortBackend scope(card);
        FM801 fm(kBase);
        const Clock::time_point opening = Clock::now();
        const bool opened = card.StartOutput();
        const double openMs =
            std::chrono::duration<double, std::milli>(Clock::now() - opening).count();
        if (!opened) {
            std::printf("period %u: no output: %s\n", period, card.OutputInfo().error.c_str());
            return;
        }
        PlayChord(*fm.Opl3);
        Control control;
        if (!control.Start("control", cost)) {
            std::printf("period %u: the control client did not start\n", period);
            return;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const Clock::time_point stopping = Clock::now();
        card.StopOutput();
        std::printf("period %4u: StartOutput %.1f ms, StopOutput %.1f ms\n", period, openMs,
                    std::chrono::duration<double, std::milli>(Clock::now() - stopping).count());
    }
    const std::string log = server.Log();
    std::printf("period %4u: %.0f s, mean work %.1f us a period; client-late xruns: VI 801 %zu, "
                "control %zu; all xruns reported %zu\n",
                period, seconds, cost, Count(log, "client = VI 801 was not finished"),
                Count(log, "client = control was not finished"), Count(log, "XRun"));
}

void Idle(unsigned period, double seconds) {
    JackServer server({kRate, period, false});
    if (!server.Running()) return;
    double card = 0, bare = 0;
    {
        EmulatedCard emulated;
        ScopedPortBackend scope(emulated);
        FM801 fm(kBase);
        if (!emulated.StartOutput()) return;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double t0 = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        card = ProcessCpuSeconds() - t0;
        emulated.StopOutput();
    }
    {
        Control control;
        if (!control.Start("bare", 0)) return;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double t0 = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        bare = ProcessCpuSeconds() - t0;
    }
    std::printf("idle, period %4u: card %.2f %% of a core, bare client %.2f %%, ratio %.2f "
                "(target at most 2)\n",
                period, 100 * card / seconds, 100 * bare / seconds, card / bare);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    for (unsigned period : {32u, 64u, 128u})
        Xruns(period, seconds);
    for (unsigned period : {32u, 64u, 128u})
        Idle(period, 10.0);
    return 0;
}

#include "midi/midi.h"

#include "midi/postedmessage.h"
#include "midi/shortmessage.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <atomic>

namespace {

// RtMidi's sequencer input throws when this is missing, after printing.
constexpr const char* kSequencerDevice = "/dev/snd/seq";
// Our end of a connection to another program's port.
constexpr const char* kConnectionPortName = "input";

// What RtMidi reports through its error callback, from whichever thread.
struct Errors {
    std::atomic<bool> warning{false}; // e.g. "JACK server not running?"
    std::atomic<bool> failure{false};
};

void NoteError(RtMidiError::Type type, const std::string&, void* user) {
    auto& errors = *static_cast<Errors*>(user);
    const bool warning = type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING;
    (warning ? errors.warning : errors.failure).store(true);
}

// What the input callback needs; set before the port opens.
struct Delivery {
    QObject* owner = nullptr;
    uint32_t handle = 0;
    std::atomic<bool> started{false};
};

// Runs on RtMidi's thread (the sequencer's reader, or the JACK cycle):
// pack, post, return.
void Deliver(double, std::vector<unsigned char>* message, void* user) {
    const auto& delivery = *static_cast<const Delivery*>(user);
    if (!delivery.started.load(std::memory_order_acquire)) return;
    if (!message || message->empty() || message->size() > 3) return;
    const uint8_t status = (*message)[0];
    // System exclusive, clock and active sensing carry nothing to play.
    if (status < 0x80 || status == 0xF0 || status == 0xF7 || status == 0xF8 || status == 0xFE)
        return;
    ShortMessage m{status};
    if (message->size() > 1) m.Data1 = (*message)[1];
    if (message->size() > 2) m.Data2 = (*message)[2];
    PostMessage(delivery.owner, MM_MIM_DATA, delivery.handle, PackShortMessage(m));
}

// libjack prints every failed attempt to reach a server; no server is an
// ordinary state here.
void QuietJack() {
    static const bool quiet = [] {
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        return true;
    }();
    (void)quiet;
}

// RtMidi's JACK input connects while it is made, before it can be given an
// error callback, and complains on stderr when no server runs: ask first.
bool Reachable(Midi::System system) {
    if (system == Midi::System::Alsa) return access(kSequencerDevice, R_OK | W_OK) == 0;
    jack_client_t* client = jack_client_open(Midi::kClientName, JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

// One RtMidi input with its own error record, which outlives it.
struct Port {
    Errors errors;
    std::unique_ptr<RtMidiIn> in;
};

RtMidi::Api ApiOf(Midi::System system) {
    return system == Midi::System::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

// Throws RtMidiError when the system can't be reached at all.
std::unique_ptr<Port> MakePort(RtMidi::Api api) {
    auto port = std::make_unique<Port>();
    port->in = std::make_unique<RtMidiIn>(api, Midi::kClientName);
    port->in->setErrorCallback(&NoteError, &port->errors);
    port->in->ignoreTypes(true, true, true);
    return port;
}

} // namespace

struct Midi::Input {
    Delivery delivery; // first: the ports call into it until they are gone
    std::vector<std::unique_ptr<Port>> ports;
};

Midi::Midi(QObject* owner) : Owner(owner) {
    QuietJack();
    for (System system : {System::Alsa, System::Jack}) {
        if (!Reachable(system)) continue;
        try {
            const auto port = MakePort(ApiOf(system));
            std::vector<std::string> names;
            const unsigned count = port->in->getPortCount();
            for (unsigned i = 0; i < count; ++i)
                names.push_back(port->in->getPortName(i));
            // A JACK client without a server only warns.
            if (port->errors.warning || port->errors.failure) continue;
            systems_.push_back(system);
            for (const std::string& name : names)
                devices_.push_back({system, name, false});
        } catch (const std::exception&) {
            // That system isn't there: its inputs aren't offered.
        }
    }
    if (!systems_.empty()) devices_.push_back({systems_.front(), kClientName, true});
    DeviceCount = static_cast<int32_t>(devices_.size());
}

Midi::~Midi() {
    Close();
}

int Midi::GetDeviceList(QStringList& list) const {
    list.clear();
    list << kNoInputText;
    for (const Device& device : devices_)
        list << (device.virtualInput ? QString(kVirtualInputText)
                                     : QString::fromStdString(device.port));
    return static_cast<int>(list.size());
}

bool Midi::OpenDevice(int index) {
    Close();
    const int d = index - 1;
    if (d < 0 || d >= DeviceCount) return false;
    try {
        IsOpen = OpenInput(devices_[d]);
    } catch (...) {
        Close();
    }
    return IsOpen;
}

bool Midi::Start() {
    if (IsOpen) input_->delivery.started.store(true, std::memory_order_release);
    return IsOpen;
}

void Midi::Close() {
    // Destroying an RtMidi input stops its thread or leaves the JACK cycle
    // first, so nothing is delivered afterwards.
    input_.reset();
    IsOpen = false;
}

bool Midi::OpenInput(const Device& device) {
    auto input = std::make_unique<Input>();
    if (++lastHandle_ == KeyboardSource) ++lastHandle_;
    input->delivery.owner = Owner;
    input->delivery.handle = lastHandle_;

    // The virtual input is a port on every system there is; any one will do.
    std::vector<System> systems{device.system};
    if (device.virtualInput) systems = systems_;
    for (System system : systems) {
        if (!Reachable(system)) continue;
        try {
            auto port = MakePort(ApiOf(system));
            port->in->setCallback(&Deliver, &input->delivery);
            bool open = false;
            if (device.virtualInput) {
                port->in->openVirtualPort(kClientName);
                open = true;
            } else {
                const unsigned count = port->in->getPortCount();
                for (unsigned i = 0; i < count && !open; ++i)
                    if (port->in->getPortName(i) == device.port) {
                        port->in->openPort(i, kConnectionPortName);
                        open = port->in->isPortOpen();
                    }
            }
            if (open && !port->errors.warning && !port->errors.failure)
                input->ports.push_back(std::move(port));
        } catch (const std::exception&) {
            // That system is gone since the start, or the port with it.
        }
    }
    if (input->ports.empty()) return false;
    input_ = std::move(input);
    Handle = lastHandle_;
    PostMessage(Owner, MM_MIM_OPEN, Handle, 0);
    return true;
}

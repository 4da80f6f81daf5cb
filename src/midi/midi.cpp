#include "midi/midi.h"

#include "boundedcall.h"
#include "midi/jackmidiin.h"
#include "midi/midireceiver.h"
#include "midi/postedmessage.h"
#include "midi/shortmessage.h"

#include <QCoreApplication>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>

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

} // namespace

// Short messages wait here between RtMidi's threads and the owner's. The
// owner's thread takes them in slices of a few milliseconds, each one as
// MM_MIM_DATA in arrival order, and goes back to its event loop between
// slices: a flood of input can't hold up its timers, painting or keys.
class Midi::Inbox : public QObject {
public:
    explicit Inbox(QObject* owner) : owner_(owner) {}

    // Any thread.
    void Put(uint32_t handle, uint32_t lparam) {
        std::lock_guard lock(mutex_);
        waiting_.push_back({handle, lparam});
        if (!wakePosted_) {
            wakePosted_ = true;
            QCoreApplication::postEvent(this, new QEvent(WakeType()));
        }
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() != WakeType()) return QObject::event(e);
        HandOver();
        return true;
    }

private:
    struct Message {
        uint32_t handle, lparam;
    };
    static constexpr auto kSlice = std::chrono::milliseconds(4);

    static QEvent::Type WakeType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    void HandOver() {
        if (next_ == taken_.size()) {
            taken_.clear();
            next_ = 0;
            std::lock_guard lock(mutex_);
            std::swap(taken_, waiting_);
        }
        const auto end = std::chrono::steady_clock::now() + kSlice;
        while (next_ < taken_.size()) {
            const Message m = taken_[next_++];
            PostedMessage message(MM_MIM_DATA, m.handle, m.lparam);
            QCoreApplication::sendEvent(owner_, &message);
            if (next_ % 32 == 0 && std::chrono::steady_clock::now() > end) break;
        }
        std::lock_guard lock(mutex_);
        if (next_ < taken_.size() || !waiting_.empty()) {
            QCoreApplication::postEvent(this, new QEvent(WakeType()));
            return;
        }
        wakePosted_ = false;
        // After a flood the buffers give their memory back.
        taken_ = std::vector<Message>();
        next_ = 0;
        if (waiting_.capacity() > kKeptCapacity) waiting_ = std::vector<Message>();
    }

    static constexpr size_t kKeptCapacity = 1024;
    QObject* const owner_;
    std::mutex mutex_;
    std::vector<Message> waiting_; // under mutex_
    bool wakePosted_ = false;      // under mutex_
    std::vector<Message> taken_;   // the owner's thread only
    size_t next_ = 0;
};

namespace {

// Where an input's messages go.
struct Destination {
    Midi::Inbox* inbox = nullptr;
    const std::atomic<MidiReceiver*>* receiver = nullptr;
    uint32_t handle = 0;
};

// What the input callbacks need; set before the port opens. Until started
// it takes nothing: a port opened too late is never started.
struct Delivery {
    Destination to;
    std::atomic<bool> started{false};

    // On the receiving thread: pack, hand over, return.
    void Hand(MidiReceiver::Thread thread, const uint8_t* bytes, size_t size,
              uint32_t frame) const {
        if (!started.load(std::memory_order_acquire)) return;
        const auto m = ShortMessageFromInput({bytes, size});
        if (!m) return;
        if (MidiReceiver* r = to.receiver->load(std::memory_order_acquire))
            r->Receive(thread, to.handle, *m, frame);
        else
            to.inbox->Put(to.handle, PackShortMessage(*m));
    }
};

// The sequencer's reader thread of RtMidi.
void DeliverFromSequencer(double, std::vector<unsigned char>* message, void* user) {
    if (!message) return;
    static_cast<const Delivery*>(user)->Hand(MidiReceiver::Thread::Sequencer, message->data(),
                                             message->size(), 0);
}

// JACK's process thread: nothing here allocates.
void DeliverFromJack(void* user, uint32_t frame, const uint8_t* bytes, size_t size) {
    static_cast<const Delivery*>(user)->Hand(MidiReceiver::Thread::Jack, bytes, size, frame);
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

// One RtMidi input with its own error record and delivery, which outlive it.
struct Port {
    Errors errors;
    Delivery delivery;
    std::unique_ptr<RtMidiIn> in;
};

// Our own JACK client with the delivery it calls into, which outlives it.
struct JackPort {
    Delivery delivery;
    JackMidiIn in;
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

// The inputs of one system; not there when it can't be reached.
struct Listing {
    bool there = false;
    std::vector<std::string> names;
};

Listing ListInputs(Midi::System system) {
    Listing listing;
    if (!Reachable(system)) return listing;
    try {
        const auto port = MakePort(ApiOf(system));
        const unsigned count = port->in->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            listing.names.push_back(port->in->getPortName(i));
        // A JACK client without a server only warns.
        listing.there = !port->errors.warning && !port->errors.failure;
    } catch (const std::exception&) {
        // That system isn't there: its inputs aren't offered.
    }
    return listing;
}

// The sequencer's port of an input, open and not started; none when it did
// not open.
std::unique_ptr<Port> OpenSequencerPort(const std::string& name, bool virtualInput,
                                        Destination to) {
    if (!Reachable(Midi::System::Alsa)) return nullptr;
    try {
        auto port = MakePort(ApiOf(Midi::System::Alsa));
        port->delivery.to = to;
        port->in->setCallback(&DeliverFromSequencer, &port->delivery);
        bool open = false;
        if (virtualInput) {
            port->in->openVirtualPort(Midi::kClientName);
            open = true;
        } else {
            const unsigned count = port->in->getPortCount();
            for (unsigned i = 0; i < count && !open; ++i)
                if (port->in->getPortName(i) == name) {
                    port->in->openPort(i, kConnectionPortName);
                    open = port->in->isPortOpen();
                }
        }
        if (open && !port->errors.warning && !port->errors.failure) return port;
    } catch (const std::exception&) {
        // That system is gone since the start, or the port with it.
    }
    return nullptr;
}

// Our own client, so that each event keeps its frame and nothing on JACK's
// thread allocates: a port "input" connected to the chosen one, or the
// virtual input "VI 801" that others connect to. None when it did not open.
std::unique_ptr<JackPort> OpenJackPort(const std::string& source, bool virtualInput,
                                       Destination to) {
    auto jack = std::make_unique<JackPort>();
    jack->delivery.to = to;
    const char* port = virtualInput ? Midi::kClientName : kConnectionPortName;
    if (jack->in.Open(Midi::kClientName, port, &DeliverFromJack, &jack->delivery) &&
        (virtualInput || jack->in.ConnectFrom(source)))
        return jack;
    // A client that did not open most likely met its server on the way out,
    // which libjack may hear of only later; closing a client whose server
    // died crashes in libjack. Such a client is kept to the end.
    if (jack->in.HasClient()) KeepToTheEnd(std::move(jack));
    return nullptr;
}

const char* SystemName(Midi::System system) {
    return system == Midi::System::Alsa ? "the ALSA sequencer" : "JACK";
}

} // namespace

struct Midi::Input {
    std::vector<std::unique_ptr<Port>> ports; // the sequencer's
    std::unique_ptr<JackPort> jack;
};

Midi::Midi(QObject* owner) : Owner(owner), inbox_(std::make_unique<Inbox>(owner)) {
    QuietJack();
    ListDevices();
}

void Midi::ListDevices() {
    devices_.clear();
    systems_.clear();
    Unanswered.clear();
    for (System system : {System::Alsa, System::Jack}) {
        // A server that takes the connection and never answers holds its
        // client for good: such a system is passed over.
        const auto listing = CallWithin(kAnswerWait, [system] { return ListInputs(system); });
        if (!listing) {
            Unanswered.push_back(SystemName(system));
            continue;
        }
        if (!listing->there) continue;
        systems_.push_back(system);
        for (const std::string& name : listing->names)
            devices_.push_back({system, name, false});
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
    if (!IsOpen) return false;
    for (const auto& port : input_->ports)
        port->delivery.started.store(true, std::memory_order_release);
    if (input_->jack) input_->jack->delivery.started.store(true, std::memory_order_release);
    return true;
}

void Midi::Close() {
    // Destroying an RtMidi input stops its thread, and our JACK client
    // leaves the JACK cycle first, so nothing is delivered afterwards. A
    // client whose JACK server died delivers nothing either, and is kept.
    if (input_ && input_->jack && input_->jack->in.ServerGone())
        KeepToTheEnd(std::move(input_->jack));
    input_.reset();
    IsOpen = false;
}

bool Midi::OpenInput(const Device& device) {
    auto input = std::make_unique<Input>();
    if (++lastHandle_ == KeyboardSource) ++lastHandle_;
    const Destination to{inbox_.get(), &receiver_, lastHandle_};

    // The virtual input is a port on every system there is; any one will do.
    // A port given up on is closed by its own thread, never started.
    const bool virtualInput = device.virtualInput;
    std::vector<System> systems{device.system};
    if (virtualInput) systems = systems_;
    for (System system : systems) {
        if (system == System::Jack) {
            auto jack = CallWithin(kAnswerWait, [name = device.port, virtualInput, to] {
                return OpenJackPort(name, virtualInput, to);
            });
            if (jack && *jack) input->jack = std::move(*jack);
        } else {
            auto port = CallWithin(kAnswerWait, [name = device.port, virtualInput, to] {
                return OpenSequencerPort(name, virtualInput, to);
            });
            if (port && *port) input->ports.push_back(std::move(*port));
        }
    }
    if (input->ports.empty() && !input->jack) return false;
    input_ = std::move(input);
    Handle = lastHandle_;
    PostMessage(Owner, MM_MIM_OPEN, Handle, 0);
    return true;
}

void Midi::SetReceiver(MidiReceiver* receiver) {
    receiver_.store(receiver, std::memory_order_release);
}

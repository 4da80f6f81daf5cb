#include "midi/midi.h"

#include "boundedcall.h"
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

// What the input callback needs; set before the port opens.
struct Delivery {
    Midi::Inbox* inbox = nullptr;
    uint32_t handle = 0;
    std::atomic<bool> started{false};
};

// Runs on RtMidi's thread (the sequencer's reader, or the JACK cycle):
// pack, hand over, return.
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
    delivery.inbox->Put(delivery.handle, PackShortMessage(m));
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

// A client of our own beside a JACK input, only to hear of the server's end.
// libjack can't close a client whose server died once any other client has
// been opened since (it crashes in a later call): such an input is never
// closed.
struct ServerWatch {
    jack_client_t* client = nullptr;
    std::atomic<bool> gone{false};

    static void Gone(jack_status_t, const char*, void* self) {
        static_cast<ServerWatch*>(self)->gone.store(true, std::memory_order_release);
    }
    // False when no server answers.
    bool Open() {
        client = jack_client_open(Midi::kClientName, JackNoStartServer, nullptr);
        if (!client) return false;
        jack_on_info_shutdown(client, &ServerWatch::Gone, this);
        return jack_activate(client) == 0;
    }
    bool ServerGone() const { return client && gone.load(std::memory_order_acquire); }
    ~ServerWatch() {
        if (client && !ServerGone()) jack_client_close(client);
    }
};

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

// One system's port of an input, open and not yet started; no port when it
// did not open.
struct Opening {
    std::unique_ptr<ServerWatch> watch; // beside a JACK port
    std::unique_ptr<Port> port;
};

// A JACK client or port that did not open most likely met a server on its
// way out, and libjack crashes closing a client whose server died, which
// the watch may hear of too late: such an opening is kept to the end.
void Keep(Opening opening) {
    static std::mutex mutex;
    static auto* const kept = new std::vector<Opening>;
    std::lock_guard lock(mutex);
    kept->push_back(std::move(opening));
}

Opening OpenPort(Midi::System system, const std::string& name, bool virtualInput,
                 Midi::Inbox* inbox, uint32_t handle) {
    Opening opening;
    if (system == Midi::System::Jack) {
        opening.watch = std::make_unique<ServerWatch>();
        if (!opening.watch->Open()) { // no server, or not now
            if (opening.watch->client) Keep(std::move(opening));
            return {};
        }
    } else if (!Reachable(system)) {
        return {};
    }
    bool open = false;
    try {
        opening.port = MakePort(ApiOf(system));
        Port& port = *opening.port;
        port.delivery.inbox = inbox;
        port.delivery.handle = handle;
        port.in->setCallback(&Deliver, &port.delivery);
        if (virtualInput) {
            port.in->openVirtualPort(Midi::kClientName);
            open = true;
        } else {
            const unsigned count = port.in->getPortCount();
            for (unsigned i = 0; i < count && !open; ++i)
                if (port.in->getPortName(i) == name) {
                    port.in->openPort(i, kConnectionPortName);
                    open = port.in->isPortOpen();
                }
        }
        open = open && !port.errors.warning && !port.errors.failure;
    } catch (const std::exception&) {
        // That system is gone since the start, or the port with it.
    }
    if (!open) {
        if (system == Midi::System::Jack) Keep(std::move(opening));
        return {};
    }
    return opening;
}

const char* SystemName(Midi::System system) {
    return system == Midi::System::Alsa ? "the ALSA sequencer" : "JACK";
}

} // namespace

struct Midi::Input {
    std::unique_ptr<ServerWatch> watch;
    std::vector<std::unique_ptr<Port>> ports; // first to go
};

Midi::Midi(QObject* owner) : Owner(owner), inbox_(std::make_unique<Inbox>(owner)) {
    QuietJack();
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
    if (IsOpen)
        for (const auto& port : input_->ports)
            port->delivery.started.store(true, std::memory_order_release);
    return IsOpen;
}

void Midi::Close() {
    // Destroying an RtMidi input stops its thread or leaves the JACK cycle
    // first, so nothing is delivered afterwards. An input whose JACK server
    // died delivers nothing either, and is left as it is.
    if (input_ && input_->watch && input_->watch->ServerGone()) {
        static auto* const abandoned = new std::vector<std::unique_ptr<Input>>;
        abandoned->push_back(std::move(input_));
    }
    input_.reset();
    IsOpen = false;
}

bool Midi::OpenInput(const Device& device) {
    auto input = std::make_unique<Input>();
    if (++lastHandle_ == KeyboardSource) ++lastHandle_;

    // The virtual input is a port on every system there is; any one will do.
    std::vector<System> systems{device.system};
    if (device.virtualInput) systems = systems_;
    for (System system : systems) {
        // A port given up on is closed by its own thread, never started.
        auto opening =
            CallWithin(kAnswerWait, [system, name = device.port, virtualInput = device.virtualInput,
                                     inbox = inbox_.get(), handle = lastHandle_] {
                return OpenPort(system, name, virtualInput, inbox, handle);
            });
        if (!opening || !opening->port) continue;
        if (opening->watch) input->watch = std::move(opening->watch);
        input->ports.push_back(std::move(opening->port));
    }
    if (input->ports.empty()) return false;
    input_ = std::move(input);
    Handle = lastHandle_;
    PostMessage(Owner, MM_MIM_OPEN, Handle, 0);
    return true;
}

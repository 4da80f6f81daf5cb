#include "jackpeers.h"

#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <thread>

JackMidiSender::JackMidiSender(const std::string& clientName, size_t capacity)
    : messages_(capacity), sentAt_(capacity), sentTime_(capacity) {
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, nullptr);
    if (!client_) return;
    port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &JackMidiSender::Process, this);
    if (!port_ || jack_activate(client_) != 0) Close();
}

JackMidiSender::~JackMidiSender() {
    Close();
}

void JackMidiSender::Close() {
    if (!client_) return;
    jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
}

std::string JackMidiSender::PortName() const {
    return port_ ? jack_port_name(port_) : "";
}

bool JackMidiSender::ConnectTo(const std::string& port) {
    if (!client_ || jack_connect(client_, jack_port_name(port_), port.c_str()) != 0) return false;
    // The graph takes the connection a cycle or two later: what is sent
    // before then goes nowhere.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return true;
}

void JackMidiSender::Send(const std::vector<uint8_t>& bytes, uint32_t frame) {
    const size_t at = queued_.load(std::memory_order_relaxed);
    // Over capacity, or too long: the test asked for too little.
    if (at == messages_.size() || bytes.size() > Message{}.bytes.size()) return;
    std::copy(bytes.begin(), bytes.end(), messages_[at].bytes.begin());
    messages_[at].size = bytes.size();
    messages_[at].frame = frame;
    queued_.store(at + 1, std::memory_order_release);
}

bool JackMidiSender::WaitUntilSent(int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Sent() < Queued()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int JackMidiSender::Process(jack_nframes_t frames, void* self) {
    auto& s = *static_cast<JackMidiSender*>(self);
    void* buffer = jack_port_get_buffer(s.port_, frames);
    jack_midi_clear_buffer(buffer);
    const jack_nframes_t now = jack_last_frame_time(s.client_);
    size_t next = s.sent_.load(std::memory_order_relaxed);
    const size_t queued = s.queued_.load(std::memory_order_acquire);
    jack_nframes_t last = 0;
    for (; next < queued; ++next) {
        const Message& m = s.messages_[next];
        jack_nframes_t at = 0;
        if (m.frame != 0) {
            const auto ahead = static_cast<int32_t>(m.frame - now);
            if (ahead >= static_cast<int32_t>(frames)) break; // a later cycle's
            at = ahead < 0 ? 0 : static_cast<jack_nframes_t>(ahead);
        }
        if (at < last) break; // out of order in this cycle: the next one
        if (jack_midi_event_write(buffer, at, m.bytes.data(), m.size) != 0) break; // full
        last = at;
        s.sentAt_[next] = now + at;
        s.sentTime_[next] = jack_get_time();
    }
    s.sent_.store(next, std::memory_order_release);
    return 0;
}

std::vector<std::string> JackPorts(jack_client_t* client, const std::string& pattern,
                                   const char* type, unsigned long flags) {
    std::vector<std::string> names;
    const char** ports = jack_get_ports(client, pattern.c_str(), type, flags);
    for (const char** p = ports; p && *p; ++p)
        names.emplace_back(*p);
    jack_free(ports);
    return names;
}

JackClientWatch::JackClientWatch(const std::string& clientName, const std::string& prefix)
    : prefix_(prefix) {
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, nullptr);
    if (!client_) return;
    jack_set_client_registration_callback(client_, &JackClientWatch::Registration, this);
    if (jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackClientWatch::~JackClientWatch() {
    if (!client_) return;
    jack_deactivate(client_);
    jack_client_close(client_);
}

void JackClientWatch::Registration(const char* name, int registered, void* self) {
    auto& watch = *static_cast<JackClientWatch*>(self);
    if (std::string(name).rfind(watch.prefix_, 0) != 0) return;
    (registered ? watch.came_ : watch.went_).fetch_add(1);
}

bool JackClientWatch::WaitCameAndWent(std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (came_.load() == 0 || went_.load() < came_.load()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

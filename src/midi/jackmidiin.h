#pragma once
// A JACK MIDI input of our own: one client with one input port, whose
// process callback hands each event over with its frame on the server's
// clock. Nothing on JACK's thread allocates, locks or waits. No Qt.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

class JackMidiIn {
public:
    // On JACK's thread, once per event in arrival order: frame is the
    // server's frame at which the event was sent.
    using Deliver = void (*)(void* user, uint32_t frame, const uint8_t* bytes, size_t size);

    JackMidiIn() = default;
    // Closes, unless the server went away (libjack can't close such a
    // client safely once another one was opened: it is left as it is).
    ~JackMidiIn();
    JackMidiIn(const JackMidiIn&) = delete;
    JackMidiIn& operator=(const JackMidiIn&) = delete;

    // A client named `client` with an input port `port`, delivering from
    // its first cycle on. False when no server answers.
    bool Open(const char* client, const char* port, Deliver deliver, void* user);
    // Connects another program's output port to ours.
    bool ConnectFrom(const std::string& source);
    bool ServerGone() const { return gone_.load(std::memory_order_acquire); }
    // A client was opened, whether or not the rest of Open went well.
    bool HasClient() const { return client_ != nullptr; }

private:
    static int Process(uint32_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    Deliver deliver_ = nullptr;
    void* user_ = nullptr;
    std::atomic<bool> gone_{false};
};

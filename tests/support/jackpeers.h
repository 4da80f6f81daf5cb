#pragma once
// A MIDI output of the test's own on a JACK server, which sends short
// messages and says at which frame each left. It is a client of its own, so
// that it never sits between the program under test and a recording of it
// (JackCapture).
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class JackMidiSender {
public:
    // Room for this many messages over the sender's life.
    JackMidiSender(const std::string& clientName, size_t capacity = 1024);
    ~JackMidiSender();
    JackMidiSender(const JackMidiSender&) = delete;
    JackMidiSender& operator=(const JackMidiSender&) = delete;

    bool Ok() const { return client_ != nullptr; }
    jack_client_t* Client() const { return client_; }
    std::string PortName() const;            // "client:out"
    bool ConnectTo(const std::string& port); // returns once the connection carries

    // Queued from the test thread without allocating; sent in order at the
    // start of the coming cycles, as many in one cycle as the port's buffer
    // takes; with a frame (the server's frame time), in the cycle that holds
    // it, at that frame. Up to 16 bytes a message.
    void Send(const std::vector<uint8_t>& bytes, uint32_t frame = 0);
    size_t Queued() const { return queued_.load(std::memory_order_acquire); }
    size_t Sent() const { return sent_.load(std::memory_order_acquire); }
    // The frame time of the cycle in which message i left, and the time in
    // microseconds (jack_get_time) when it was written; valid once Sent() > i.
    jack_nframes_t SentAt(size_t i) const { return sentAt_[i]; }
    jack_time_t SentTime(size_t i) const { return sentTime_[i]; }
    // Waits up to timeoutMs for every queued message to leave.
    bool WaitUntilSent(int timeoutMs) const;
    // Closes the client: its port disappears.
    void Close();

private:
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    struct Message {
        std::array<uint8_t, 16> bytes;
        size_t size;
        uint32_t frame;
    };
    std::vector<Message> messages_;
    std::vector<jack_nframes_t> sentAt_;
    std::vector<jack_time_t> sentTime_;
    std::atomic<size_t> queued_{0}, sent_{0};
};

// The full names of the ports of a type and direction whose names match the
// pattern (a regular expression, as jack_get_ports takes).
std::vector<std::string> JackPorts(jack_client_t* client, const std::string& pattern,
                                   const char* type, unsigned long flags);

// Hears the clients of a server whose names begin with prefix come and go,
// from a client of its own.
class JackClientWatch {
public:
    JackClientWatch(const std::string& clientName, const std::string& prefix);
    ~JackClientWatch();
    JackClientWatch(const JackClientWatch&) = delete;
    JackClientWatch& operator=(const JackClientWatch&) = delete;

    bool Ok() const { return client_ != nullptr; }
    // Waits until such clients have registered and all of them have gone.
    bool WaitCameAndWent(std::chrono::milliseconds timeout) const;

private:
    static void Registration(const char* name, int registered, void* self);

    const std::string prefix_;
    jack_client_t* client_ = nullptr;
    std::atomic<int> came_{0}, went_{0};
};

#pragma once
// A JACK client of the test's own that records what the card plays: its two
// inputs are connected to the card's outputs, and the process callback
// copies them into memory while `recording` is set, until it is full.
#include <jack/jack.h>

#include <atomic>
#include <string>
#include <vector>

struct JackCapture {
    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    std::vector<float> samples; // interleaved
    std::atomic<size_t> frames{0};
    jack_nframes_t firstFrame = 0; // the frame time of samples[0], once frames > 0
    std::atomic<bool> recording{false};
    std::atomic<int> xruns{0};

    explicit JackCapture(size_t capacity) : samples(2 * capacity) {}
    ~JackCapture() { Close(); }
    void Close() {
        if (client) jack_client_close(client);
        client = nullptr;
    }
    bool Full() const { return frames.load() == samples.size() / 2; }

    // Opens the client and connects it to the card's ports; a reason when it can't.
    std::string Open() {
        client = jack_client_open("vi801-capture", JackNoStartServer, nullptr);
        if (!client) return "no capture client";
        const char* names[2] = {"left", "right"};
        for (int i = 0; i < 2; ++i) {
            ports[i] =
                jack_port_register(client, names[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            if (!ports[i]) return "no capture port";
        }
        jack_set_process_callback(client, &JackCapture::Process, this);
        jack_set_xrun_callback(client, &JackCapture::Xrun, this);
        if (jack_activate(client) != 0) return "capture not activated";
        const char** card = jack_get_ports(client, "^VI 801:", nullptr, JackPortIsOutput);
        if (!card || !card[0] || !card[1]) {
            if (card) jack_free(card);
            return "the card has no ports";
        }
        std::string why;
        for (int i = 0; i < 2; ++i)
            if (jack_connect(client, card[i], jack_port_name(ports[i])) != 0) why = "not connected";
        jack_free(card);
        return why;
    }

private:
    static int Xrun(void* self) {
        static_cast<JackCapture*>(self)->xruns.fetch_add(1);
        return 0;
    }

    static int Process(jack_nframes_t n, void* self) {
        auto& c = *static_cast<JackCapture*>(self);
        if (!c.recording.load()) return 0;
        const auto* left = static_cast<const float*>(jack_port_get_buffer(c.ports[0], n));
        const auto* right = static_cast<const float*>(jack_port_get_buffer(c.ports[1], n));
        size_t at = c.frames.load();
        if (at == 0) c.firstFrame = jack_last_frame_time(c.client);
        for (jack_nframes_t i = 0; i < n && at < c.samples.size() / 2; ++i, ++at) {
            c.samples[2 * at] = left[i];
            c.samples[2 * at + 1] = right[i];
        }
        c.frames.store(at);
        return 0;
    }
};

#include "midi/jackmidiin.h"

#include <jack/jack.h>
#include <jack/midiport.h>

JackMidiIn::~JackMidiIn() {
    if (!client_ || ServerGone()) return;
    jack_deactivate(client_); // the process callback has returned for good
    jack_client_close(client_);
}

bool JackMidiIn::Open(const char* client, const char* port, Deliver deliver, void* user) {
    deliver_ = deliver;
    user_ = user;
    client_ = jack_client_open(client, JackNoStartServer, nullptr);
    if (!client_) return false;
    port_ = jack_port_register(client_, port, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &JackMidiIn::Process, this);
    jack_on_info_shutdown(
        client_,
        [](jack_status_t, const char*, void* self) {
            static_cast<JackMidiIn*>(self)->gone_.store(true, std::memory_order_release);
        },
        this);
    return port_ && jack_activate(client_) == 0;
}

bool JackMidiIn::ConnectFrom(const std::string& source) {
    return client_ && port_ && jack_connect(client_, source.c_str(), jack_port_name(port_)) == 0;
}

int JackMidiIn::Process(uint32_t frames, void* self) {
    auto& in = *static_cast<JackMidiIn*>(self);
    void* buffer = jack_port_get_buffer(in.port_, frames);
    const jack_nframes_t start = jack_last_frame_time(in.client_);
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0) continue;
        in.deliver_(in.user_, start + event.time, event.buffer, event.size);
    }
    return 0;
}

#include "hardware/emulated/audiooutput.h"

#include <RtAudio.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <vector>

struct AudioOutput::Stream {
    virtual ~Stream() = default;
    // The frame at which the period being rendered starts: the server's
    // clock on JACK, the frames played so far elsewhere.
    uint32_t frameTime = 0;
    // Returns once the render function has run for the last time.
    virtual void Close() = 0;
    virtual bool Failed() const = 0;
};

namespace {

constexpr const char* kClientName = "VI 801";

void Quiet(const char*) {}
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Library messages while the outputs are probed (ALSA's "cannot find card",
// JACK's "cannot connect to server"): the detection dialog says in its own
// words why there is no sound.
struct QuietProbing {
    QuietProbing() {
        snd_lib_error_set_handler(&QuietAlsa);
        jack_set_error_function(&Quiet);
        jack_set_info_function(&Quiet);
    }
    ~QuietProbing() { snd_lib_error_set_handler(nullptr); }
};

// One JACK client: the probe that learns the server's rate and period is the
// stream itself.
struct JackStream final : AudioOutput::Stream {
    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    RenderPeriod render = nullptr;
    void* user = nullptr;
    std::atomic<bool> failed{false};

    static int Process(jack_nframes_t frames, void* self) {
        auto& s = *static_cast<JackStream*>(self);
        auto* left = static_cast<float*>(jack_port_get_buffer(s.ports[0], frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(s.ports[1], frames));
        s.frameTime = jack_last_frame_time(s.client);
        s.render(s.user, {left, right, 1}, frames);
        return 0;
    }
    // The server went away: it calls us no more.
    static void Shutdown(jack_status_t, const char*, void* self) {
        static_cast<JackStream*>(self)->failed.store(true, std::memory_order_release);
    }

    ~JackStream() override { Close(); }
    void Close() override {
        if (!client) return;
        // libjack can't close a client whose server died once any other
        // client has been opened since (MIDI input opens them): it is left.
        if (!Failed()) {
            jack_deactivate(client); // the process callback has returned for good
            jack_client_close(client);
        }
        client = nullptr;
    }
    bool Failed() const override { return failed.load(std::memory_order_acquire); }
};

// RtAudio's error callback carries no context. Errors of a running stream
// (a warning such as an underrun is not one) are counted for the process;
// a stream is taken for failed when the count moved since it opened or
// RtAudio reports it stopped.
std::atomic<uint64_t> rtAudioStreamErrors{0};

void CountRtAudioError(RtAudioError::Type type, const std::string&) {
    if (type != RtAudioError::WARNING && type != RtAudioError::DEBUG_WARNING)
        rtAudioStreamErrors.fetch_add(1, std::memory_order_release);
}

struct RtAudioStream final : AudioOutput::Stream {
    explicit RtAudioStream(RtAudio::Api api) : audio(api) { audio.showWarnings(false); }
    RtAudio audio;
    RenderPeriod render = nullptr;
    void* user = nullptr;
    uint64_t errorsAtOpen = 0;

    static int Callback(void* output, void*, unsigned frames, double, RtAudioStreamStatus,
                        void* self) {
        auto& s = *static_cast<RtAudioStream*>(self);
        auto* out = static_cast<float*>(output); // one channel after the other
        s.render(s.user, {out, out + frames, 1}, frames);
        s.frameTime += frames;
        return 0;
    }

    ~RtAudioStream() override { Close(); }
    void Close() override {
        try {
            if (audio.isStreamRunning()) audio.abortStream(); // no draining: a stop is a stop
            if (audio.isStreamOpen()) audio.closeStream();
        } catch (const std::exception&) {
            // Closing a stream whose device went away: nothing left to release.
        }
    }
    bool Failed() const override {
        return rtAudioStreamErrors.load(std::memory_order_acquire) != errorsAtOpen ||
               !const_cast<RtAudio&>(audio).isStreamRunning();
    }
};

struct ApiChoice {
    RtAudio::Api api;
    const char* name;
    const char* nothing; // what no device means there
};
constexpr ApiChoice kRtAudioApis[] = {
    {RtAudio::LINUX_PULSE, "PulseAudio", "no server running"},
    {RtAudio::LINUX_ALSA, "ALSA", "no device"},
};

bool Compiled(RtAudio::Api api) {
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

void AddReason(std::string& reasons, const char* api, const std::string& why) {
    if (!reasons.empty()) reasons += "; ";
    reasons += std::string(api) + ": " + why;
}

} // namespace

AudioOutput::AudioOutput(RenderPeriod render, void* user) : render_(render), user_(user) {}

AudioOutput::~AudioOutput() {
    Close();
}

bool AudioOutput::Open(Prepare prepare) {
    Close();
    QuietProbing quiet;
    std::string reasons, why;
    for (const char* api : {"JACK", "PulseAudio", "ALSA"}) {
        if (OpenOn(api, prepare, why)) {
            lastApi_ = api;
            return true;
        }
        if (!why.empty()) AddReason(reasons, api, why);
    }
    info_ = AudioOutputInfo{};
    info_.error = reasons.empty() ? std::string("no audio system") : reasons;
    return false;
}

bool AudioOutput::Reopen(Prepare prepare) {
    Close();
    QuietProbing quiet;
    std::string why;
    if (!lastApi_.empty() && OpenOn(lastApi_, prepare, why)) return true;
    info_ = AudioOutputInfo{};
    info_.error = lastApi_ + ": " + why;
    return false;
}

// One audio system by name; `why` stays empty when it isn't built in.
bool AudioOutput::OpenOn(const std::string& api, Prepare prepare, std::string& why) {
    why.clear();
    if (api == "JACK") return OpenJack(prepare, why);
    for (const ApiChoice& choice : kRtAudioApis) {
        if (api != choice.name || !Compiled(choice.api)) continue;
        why = choice.nothing;
        if (!OpenRtAudio(choice.api, prepare, why)) return false;
        info_.api = choice.name;
        return true;
    }
    return false;
}

bool AudioOutput::OpenJack(Prepare prepare, std::string& why) {
    auto s = std::make_unique<JackStream>();
    s->render = render_;
    s->user = user_;
    s->client = jack_client_open(kClientName, JackNoStartServer, nullptr);
    if (!s->client) {
        why = "no server running";
        return false;
    }
    const char* names[2] = {"out_1", "out_2"};
    for (int i = 0; i < 2; ++i) {
        s->ports[i] =
            jack_port_register(s->client, names[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!s->ports[i]) {
            why = "can't register an output port";
            return false;
        }
    }
    const unsigned rate = jack_get_sample_rate(s->client);
    prepare(user_, rate);
    jack_set_process_callback(s->client, &JackStream::Process, s.get());
    jack_on_info_shutdown(s->client, &JackStream::Shutdown, s.get());
    if (jack_activate(s->client) != 0) {
        why = "can't activate the client";
        return false;
    }
    info_ = AudioOutputInfo{};
    info_.api = "JACK";
    info_.device = "not connected";
    // The first two playback ports of the hardware, as a JACK user expects.
    if (const char** targets = jack_get_ports(s->client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                              JackPortIsPhysical | JackPortIsInput)) {
        for (int i = 0; i < 2 && targets[i]; ++i)
            jack_connect(s->client, jack_port_name(s->ports[i]), targets[i]);
        if (targets[0]) {
            const std::string port = targets[0];
            info_.device = port.substr(0, port.find(':'));
        }
        jack_free(targets);
    }
    info_.open = true;
    info_.rate = rate;
    info_.period = jack_get_buffer_size(s->client);
    jack_latency_range_t range{0, 0};
    jack_port_get_latency_range(s->ports[0], JackPlaybackLatency, &range);
    const unsigned latency = range.max ? range.max : info_.period;
    info_.latencyMs = 1000.0 * latency / rate;
    stream_ = std::move(s);
    return true;
}

bool AudioOutput::OpenRtAudio(int api, Prepare prepare, std::string& why) {
    try {
        auto s = std::make_unique<RtAudioStream>(static_cast<RtAudio::Api>(api));
        s->render = render_;
        s->user = user_;
        if (s->audio.getDeviceCount() == 0) return false; // why: the API's "nothing"
        RtAudio::StreamParameters params;
        params.deviceId = s->audio.getDefaultOutputDevice();
        params.nChannels = 2;
        const RtAudio::DeviceInfo device = s->audio.getDeviceInfo(params.deviceId);
        if (!device.probed || device.outputChannels < 2) {
            why = "no stereo output device";
            return false;
        }
        const unsigned rate =
            device.preferredSampleRate ? device.preferredSampleRate : kPreferredRate;
        RtAudio::StreamOptions options;
        options.streamName = kClientName;
        options.flags = RTAUDIO_NONINTERLEAVED;
        // ALSA's "default" device goes through the desktop's mixer.
        if (api == RtAudio::LINUX_ALSA) options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
        unsigned period = kPreferredPeriod;
        prepare(user_, rate);
        s->audio.openStream(&params, nullptr, RTAUDIO_FLOAT32, rate, &period,
                            &RtAudioStream::Callback, s.get(), &options, &CountRtAudioError);
        s->errorsAtOpen = rtAudioStreamErrors.load(std::memory_order_acquire);
        s->audio.startStream();

        info_ = AudioOutputInfo{};
        info_.open = true;
        info_.device = api == RtAudio::LINUX_ALSA ? "default" : device.name;
        info_.rate = s->audio.getStreamSampleRate();
        info_.period = period;
        long latency = s->audio.getStreamLatency();
        if (latency <= 0) latency = period;
        info_.latencyMs = 1000.0 * static_cast<double>(latency) / info_.rate;
        stream_ = std::move(s);
        return true;
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
}

void AudioOutput::Close() {
    if (!stream_) return;
    stream_->Close();
    stream_.reset();
    info_ = AudioOutputInfo{};
    info_.error = "Audio output closed";
}

uint32_t AudioOutput::PeriodFrameTime() const {
    return stream_ ? stream_->frameTime : 0;
}

bool AudioOutput::Failed() const {
    return stream_ && stream_->Failed();
}

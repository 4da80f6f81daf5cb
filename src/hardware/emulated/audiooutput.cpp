#include "hardware/emulated/audiooutput.h"

#include "boundedcall.h"

#include <RtAudio.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <vector>

// Opened on a thread of its own, which may be given up on; until Start the
// callback plays silence and leaves the render function alone.
struct AudioOutput::Stream {
    virtual ~Stream() = default;
    // Returns once the render function has run for the last time.
    virtual void Close() = 0;
    virtual bool Failed() const = 0;

    void Start() { started.store(true, std::memory_order_release); }
    // In the callback: false while the silence lasts, which it then plays.
    bool Started(StereoOut out, size_t frames) const {
        if (started.load(std::memory_order_acquire)) return true;
        for (size_t i = 0; i < frames; ++i)
            out.left[i * out.step] = out.right[i * out.step] = 0;
        return false;
    }

    RenderPeriod render = nullptr;
    void* user = nullptr;
    std::atomic<bool> started{false};
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
    std::atomic<bool> failed{false};

    static int Process(jack_nframes_t frames, void* self) {
        auto& s = *static_cast<JackStream*>(self);
        auto* left = static_cast<float*>(jack_port_get_buffer(s.ports[0], frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(s.ports[1], frames));
        const StereoOut out{left, right, 1};
        if (s.Started(out, frames)) s.render(s.user, out, frames);
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
    uint64_t errorsAtOpen = 0;

    static int Callback(void* output, void*, unsigned frames, double, RtAudioStreamStatus,
                        void* self) {
        auto& s = *static_cast<RtAudioStream*>(self);
        auto* samples = static_cast<float*>(output); // one channel after the other
        const StereoOut out{samples, samples + frames, 1};
        if (s.Started(out, frames)) s.render(s.user, out, frames);
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

// What no device means there, for each output in the order they are tried.
// JACK is driven through its own library, the others through RtAudio.
struct OutputChoice {
    const char* name;
    RtAudio::Api api; // UNSPECIFIED: JACK
    const char* nothing;
};
constexpr OutputChoice kOutputs[] = {
    {"JACK", RtAudio::UNSPECIFIED, "no server running"},
    {"PulseAudio", RtAudio::LINUX_PULSE, "no server running"},
    {"ALSA", RtAudio::LINUX_ALSA, "no device"},
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

// One output opened and started, still silent; or why not.
struct Attempt {
    std::unique_ptr<AudioOutput::Stream> stream;
    AudioOutputInfo info;
    std::string why;
};

Attempt OpenJack(RenderPeriod render, void* user) {
    Attempt attempt;
    auto s = std::make_unique<JackStream>();
    s->render = render;
    s->user = user;
    s->client = jack_client_open(kClientName, JackNoStartServer, nullptr);
    if (!s->client) {
        attempt.why = "no server running";
        return attempt;
    }
    const char* names[2] = {"out_1", "out_2"};
    for (int i = 0; i < 2; ++i) {
        s->ports[i] =
            jack_port_register(s->client, names[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!s->ports[i]) {
            attempt.why = "can't register an output port";
            return attempt;
        }
    }
    jack_set_process_callback(s->client, &JackStream::Process, s.get());
    jack_on_info_shutdown(s->client, &JackStream::Shutdown, s.get());
    if (jack_activate(s->client) != 0) {
        attempt.why = "can't activate the client";
        return attempt;
    }
    AudioOutputInfo& info = attempt.info;
    info.api = "JACK";
    info.device = "not connected";
    // The first two playback ports of the hardware, as a JACK user expects.
    if (const char** targets = jack_get_ports(s->client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                              JackPortIsPhysical | JackPortIsInput)) {
        for (int i = 0; i < 2 && targets[i]; ++i)
            jack_connect(s->client, jack_port_name(s->ports[i]), targets[i]);
        if (targets[0]) {
            const std::string port = targets[0];
            info.device = port.substr(0, port.find(':'));
        }
        jack_free(targets);
    }
    info.open = true;
    info.rate = jack_get_sample_rate(s->client);
    info.period = jack_get_buffer_size(s->client);
    jack_latency_range_t range{0, 0};
    jack_port_get_latency_range(s->ports[0], JackPlaybackLatency, &range);
    const unsigned latency = range.max ? range.max : info.period;
    info.latencyMs = 1000.0 * latency / info.rate;
    attempt.stream = std::move(s);
    return attempt;
}

Attempt OpenRtAudio(const OutputChoice& choice, RenderPeriod render, void* user) {
    Attempt attempt;
    attempt.why = choice.nothing;
    auto s = std::make_unique<RtAudioStream>(choice.api);
    s->render = render;
    s->user = user;
    if (s->audio.getDeviceCount() == 0) return attempt;
    RtAudio::StreamParameters params;
    params.deviceId = s->audio.getDefaultOutputDevice();
    params.nChannels = 2;
    const RtAudio::DeviceInfo device = s->audio.getDeviceInfo(params.deviceId);
    if (!device.probed || device.outputChannels < 2) {
        attempt.why = "no stereo output device";
        return attempt;
    }
    const unsigned rate =
        device.preferredSampleRate ? device.preferredSampleRate : AudioOutput::kPreferredRate;
    RtAudio::StreamOptions options;
    options.streamName = kClientName;
    options.flags = RTAUDIO_NONINTERLEAVED;
    // ALSA's "default" device goes through the desktop's mixer.
    if (choice.api == RtAudio::LINUX_ALSA) options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
    unsigned period = AudioOutput::kPreferredPeriod;
    s->audio.openStream(&params, nullptr, RTAUDIO_FLOAT32, rate, &period, &RtAudioStream::Callback,
                        s.get(), &options, &CountRtAudioError);
    s->errorsAtOpen = rtAudioStreamErrors.load(std::memory_order_acquire);
    s->audio.startStream();

    AudioOutputInfo& info = attempt.info;
    info.open = true;
    info.api = choice.name;
    info.device = choice.api == RtAudio::LINUX_ALSA ? "default" : device.name;
    info.rate = s->audio.getStreamSampleRate();
    info.period = period;
    long latency = s->audio.getStreamLatency();
    if (latency <= 0) latency = period;
    info.latencyMs = 1000.0 * static_cast<double>(latency) / info.rate;
    attempt.stream = std::move(s);
    return attempt;
}

Attempt OpenOutput(const OutputChoice& choice, RenderPeriod render, void* user) {
    try {
        if (choice.api == RtAudio::UNSPECIFIED) return OpenJack(render, user);
        return OpenRtAudio(choice, render, user);
    } catch (const std::exception& e) {
        Attempt failed;
        failed.why = e.what();
        return failed;
    }
}

} // namespace

AudioOutput::AudioOutput(RenderPeriod render, void* user) : render_(render), user_(user) {}

AudioOutput::~AudioOutput() {
    Close();
}

bool AudioOutput::Open(Prepare prepare) {
    Close();
    QuietProbing quiet;
    std::string reasons;
    for (const OutputChoice& choice : kOutputs) {
        if (choice.api != RtAudio::UNSPECIFIED && !Compiled(choice.api)) continue;
        // A server that takes the connection and never answers holds its
        // client for good; one given up on is closed by its own thread.
        std::optional<Attempt> attempt =
            CallWithin(kAnswerWait, [&choice, render = render_, user = user_] {
                return OpenOutput(choice, render, user);
            });
        if (!attempt || !attempt->stream) {
            AddReason(reasons, choice.name,
                      attempt ? attempt->why : "no answer within " + WaitText(kAnswerWait));
            continue;
        }
        info_ = attempt->info;
        prepare(user_, info_.rate);
        attempt->stream->Start();
        stream_ = std::move(attempt->stream);
        return true;
    }
    info_ = AudioOutputInfo{};
    info_.error = reasons.empty() ? std::string("no audio system") : reasons;
    return false;
}

void AudioOutput::Close() {
    if (!stream_) return;
    stream_->Close();
    stream_.reset();
    info_ = AudioOutputInfo{};
    info_.error = "Audio output closed";
}

bool AudioOutput::Failed() const {
    return stream_ && stream_->Failed();
}

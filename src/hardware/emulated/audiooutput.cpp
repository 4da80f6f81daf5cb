#include "hardware/emulated/audiooutput.h"

#include "boundedcall.h"

#include <RtAudio.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

// Opened on a thread of its own, which may be given up on; until Start the
// callback plays silence and leaves the render function alone.
struct AudioOutput::Stream {
    virtual ~Stream() = default;
    // The frame at which the period being rendered starts: the server's
    // clock on JACK, the frames played so far elsewhere.
    uint32_t frameTime = 0;
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
        s.frameTime = jack_last_frame_time(s.client);
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

// Marks an output as being opened until the attempt, answered in time or
// late, is gone.
struct Unanswered {
    std::shared_ptr<std::atomic<unsigned>> outputs;
    unsigned bit = 0;

    Unanswered() = default;
    Unanswered(std::shared_ptr<std::atomic<unsigned>> o, unsigned b)
        : outputs(std::move(o)), bit(b) {}
    Unanswered(Unanswered&&) = default;
    Unanswered& operator=(Unanswered&&) = default;
    ~Unanswered() {
        if (outputs) outputs->fetch_and(~bit);
    }
};

// One output opened and started, still silent; or why not.
struct Attempt {
    Unanswered busy; // first: it goes last
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
    // A client that did not open most likely met its server on the way
    // out, which libjack may hear of only later; closing a client whose
    // server died crashes in libjack. Such a client is kept to the end.
    const char* names[2] = {"out_1", "out_2"};
    for (int i = 0; i < 2; ++i) {
        s->ports[i] =
            jack_port_register(s->client, names[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!s->ports[i]) {
            attempt.why = "can't register an output port";
            KeepToTheEnd(std::move(s));
            return attempt;
        }
    }
    jack_set_process_callback(s->client, &JackStream::Process, s.get());
    jack_on_info_shutdown(s->client, &JackStream::Shutdown, s.get());
    if (jack_activate(s->client) != 0) {
        attempt.why = "can't activate the client";
        KeepToTheEnd(std::move(s));
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
    std::string reasons, why;
    for (size_t i = 0; i < std::size(kOutputs); ++i) {
        if (OpenOn(i, prepare, why)) {
            lastApi_ = kOutputs[i].name;
            return true;
        }
        if (!why.empty()) AddReason(reasons, kOutputs[i].name, why);
    }
    info_ = AudioOutputInfo{};
    info_.error = reasons.empty() ? std::string("no audio system") : reasons;
    return false;
}

bool AudioOutput::Reopen(Prepare prepare) {
    Close();
    QuietProbing quiet;
    std::string why;
    for (size_t i = 0; i < std::size(kOutputs); ++i)
        if (lastApi_ == kOutputs[i].name && OpenOn(i, prepare, why)) return true;
    info_ = AudioOutputInfo{};
    info_.error = lastApi_ + ": " + why;
    return false;
}

// One output, kOutputs[choice], waiting kAnswerWait at most; `why` stays
// empty when it isn't built in. A server that takes the connection and never
// answers holds its client for good: the attempt is given up on, and what it
// opens late is closed by its own thread. Until then no other attempt on that
// output starts, so that a server that stays wedged holds one thread, not one
// more at each try.
bool AudioOutput::OpenOn(size_t choice, Prepare prepare, std::string& why) {
    why.clear();
    const OutputChoice& output = kOutputs[choice];
    if (output.api != RtAudio::UNSPECIFIED && !Compiled(output.api)) return false;
    const unsigned bit = 1u << choice;
    if (unanswered_->fetch_or(bit) & bit) {
        why = "no answer yet to the last try";
        return false;
    }
    std::optional<Attempt> attempt =
        CallWithin(kAnswerWait, [&output, render = render_, user = user_,
                                 busy = Unanswered{unanswered_, bit}]() mutable {
            Attempt made = OpenOutput(output, render, user);
            made.busy = std::move(busy);
            return made;
        });
    if (!attempt || !attempt->stream) {
        why = attempt ? attempt->why : "no answer within " + WaitText(kAnswerWait);
        return false;
    }
    info_ = attempt->info;
    prepare(user_, info_.rate);
    attempt->stream->Start();
    stream_ = std::move(attempt->stream);
    return true;
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

#pragma once
// Reading back the WAV files the program wrote: libsndfile's own view, as a
// player sees them.
#include <sndfile.h>

#include <string>
#include <vector>

struct WavContents {
    bool read = false;
    int rate = 0, channels = 0, format = 0;
    std::vector<float> samples; // interleaved
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

inline WavContents ReadWav(const std::string& path) {
    WavContents wav;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return wav;
    wav.read = true;
    wav.rate = info.samplerate;
    wav.channels = info.channels;
    wav.format = info.format;
    wav.samples.resize(static_cast<size_t>(info.frames * info.channels));
    wav.samples.resize(
        static_cast<size_t>(sf_readf_float(file, wav.samples.data(), info.frames) * info.channels));
    sf_close(file);
    return wav;
}

#include "render/rendersong.h"

#include "error.h"
#include "hardware/emulated/emulatedcard.h"
#include "render/offlinerender.h"
#include "render/programchanges.h"
#include "render/progress.h"
#include "render/wavwriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {
int NotesOn(const MidiFile& song, int channel) {
    const uint8_t noteOn = static_cast<uint8_t>(0x90 + channel - 1);
    return static_cast<int>(
        std::count_if(song.Messages.begin(), song.Messages.end(), [noteOn](const TimedMessage& m) {
            return m.Message.Status == noteOn && m.Message.Data2;
        }));
}
} // namespace

std::vector<int> ChannelsWithNotes(const MidiFile& song) {
    bool used[16] = {};
    for (const TimedMessage& m : song.Messages)
        if ((m.Message.Status & 0xF0) == 0x90 && m.Message.Data2)
            used[m.Message.Status & 0x0F] = true;
    std::vector<int> channels;
    for (int c = 0; c < 16; ++c)
        if (used[c]) channels.push_back(c + 1);
    return channels;
}

RenderReport RenderToWav(const MidiFile& song, const RenderOptions& options, EmulatedCard& card,
                         const std::function<void(ShortMessage)>& deliver, std::ostream* progress,
                         const std::function<void()>& check) {
    const auto start = std::chrono::steady_clock::now();
    // Refused before a minute is spent on it.
    const double last = song.Messages.empty() ? 0 : song.Messages.back().Seconds;
    if (last * options.rate + OfflineRender::MostFrames(0, options.rate) > WavWriter::kMaxFrames)
        throw Error(options.out + ": longer than a WAV file holds (4 GiB)");
    card.SetOutputRate(options.rate);
    std::vector<TimedMessage> played = song.Messages;
    const int ignored = DropProgramChanges(played, options);
    const std::vector<FramedMessage> messages = FrameMessages(played, options.rate);

    WavWriter writer(options.out, options.rate);
    ProgressBar bar(progress);
    OfflineRender render;
    render.deliver = deliver;
    render.check = check;
    float peak = 0;
    render.write = [&](const float* frames, size_t count) {
        if (check) check();
        writer.Write(frames, count);
        for (size_t i = 0; i < 2 * count; ++i)
            peak = std::max(peak, std::fabs(frames[i]));
    };
    render.progress = [&bar](uint64_t done, uint64_t music) {
        bar.Show(music ? static_cast<double>(done) / music : 1.0);
    };
    try {
        render.Run(card, messages);
    } catch (...) {
        bar.Clear();
        throw;
    }
    bar.Clear();
    writer.Finish();

    RenderReport report;
    report.out = options.out;
    report.seconds = static_cast<double>(writer.Frames()) / options.rate;
    report.notes = NotesOn(song, options.channel);
    report.programChangesIgnored = ignored;
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    report.speed = took > 0 ? report.seconds / took : 0;
    report.peak = std::min(peak, 1.0f); // the file clips
    return report;
}

std::string RenderSummary(const RenderReport& report) {
    char speed[32];
    std::snprintf(speed, sizeof speed, "%.1f", report.speed);
    return report.out + ": " + FormatDuration(report.seconds) + " of audio, " +
           std::to_string(report.notes) + (report.notes == 1 ? " note, " : " notes, ") + speed +
           " x real time";
}

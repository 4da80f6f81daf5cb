#include "app/renderrun.h"

#include "app/cardsession.h"
#include "app/datafolder.h"
#include "app/songplayer.h"
#include "error.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "midi/midifile.h"
#include "render/programchanges.h"
#include "render/rendersong.h"
#include "synth/presetbank.h"

#include <cmath>
#include <csignal>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal) {
    g_stopSignal = signal;
}

// Ctrl-C, SIGTERM and SIGHUP stop the render between two blocks or messages: the
// unfinished file is removed instead of being left beside the output.
class StopSignals {
public:
    StopSignals() {
        g_stopSignal = 0;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            sigaction(kStopSignals[i], &action, &previous_[i]);
    }
    ~StopSignals() {
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static void Check(const std::string& out) {
        if (const int signal = g_stopSignal)
            throw Error(out + ": not written: " + strsignal(signal));
    }

private:
    struct sigaction previous_[std::size(kStopSignals)];
};

// Below this peak (42 dB under a full-level operator at the card's top
// volume) a render is as good as silent: the Default patch, all of whose
// operators are at their lowest level, peaks 13 dB lower still.
const double kQuietPeak = std::pow(10.0, (SoundEngine::kOutputGainDb - 60) / 20);

// A song rendered to (near) silence says why, when the reason is plain.
void HintAtSilence(const MidiFile& song, const CommandLine& options, const RenderReport& report,
                   const std::string& program) {
    if (report.notes == 0) {
        const std::vector<int> channels = ChannelsWithNotes(song);
        std::cerr << program << ": no notes on channel " << options.channel;
        if (channels.empty()) std::cerr << ": the song has none\n";
        if (channels.size() == 1)
            std::cerr << ": the song's notes are on channel " << channels[0]
                      << " (--channel=" << channels[0] << ")\n";
        for (size_t i = 0; i < channels.size() && channels.size() > 1; ++i)
            std::cerr << (i ? ", " : ": the song's notes are on channels ") << channels[i]
                      << (i + 1 < channels.size() ? "" : " (--channel=N)\n");
    } else if (report.peak < kQuietPeak &&
               (options.preset.empty() || options.preset == kDefaultPresetName)) {
        std::cerr << program << ": " << report.out
                  << " is nearly silent: the Default patch hardly sounds; choose a sound with "
                     "--preset=NAME\n";
    }
}

} // namespace

RenderReport RenderWithCore(const MidiFile& song, const CommandLine& options, CardSession& card,
                            const std::filesystem::path& presetRoot, std::ostream* progress) {
    SongPlayer player(card.Emulated()->Base(), options, presetRoot);
    const auto deliver = [&player](ShortMessage message) { player.Play(message); };
    const StopSignals stopSignals;
    return RenderToWav(song, RenderOptionsOf(options), *card.Emulated(), deliver, progress,
                       [&options] { StopSignals::Check(options.out); });
}

int RunRender(const CommandLine& options, const std::string& program) {
    MidiFile song;
    try {
        song = ReadMidiFile(options.render);
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << "\n";
        return 1;
    }
    const std::unique_ptr<CardSession> card = OpenCardSession(options, program, std::cerr);
    if (!card) return 2;
    // The working directory stays: the song and the output are named from it.
    const DataFolder folder = ChooseDataFolder(DefaultDataPlaces());
    if (!folder.note.empty()) std::cerr << program << ": " << folder.note << "\n";
    int status = 0;
    try {
        EnablePortAccess(); // the emulated card's: nothing to refuse
        const RenderReport report = RenderWithCore(song, options, *card, folder.path,
                                                   isatty(STDERR_FILENO) ? &std::cerr : nullptr);
        std::cerr << RenderSummary(report) << "\n";
        if (report.programChangesIgnored > 0)
            std::cerr << program << ": "
                      << IgnoredProgramChangesNote(report.programChangesIgnored, options.preset)
                      << "\n";
        HintAtSilence(song, options, report, program);
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << "\n";
        status = 1;
    }
    card->Finish(std::cerr);
    return status == 0 && !card->PortLogWhole() ? 1 : status;
}

#include "app/cardsession.h"

#include "app/outputrecorder.h"
#include "app/progress.h"
#include "error.h"
#include "hardware/ccsregistry.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "hardware/portlog.h"

#include <chrono>
#include <ostream>
#include <string>
#include <thread>

namespace {
// Long enough for a period of any output to play the last writes.
constexpr auto kLastWritesPlayed = std::chrono::milliseconds(250);

double Seconds(OutputStatus::Duration d) {
    return std::chrono::duration<double>(d).count();
}

// The line a change of the output gets.
std::string OutputNote(const OutputStatus& status) {
    const auto retry = std::chrono::duration_cast<std::chrono::seconds>(OutputKeeper::kRetry);
    if (status.lost)
        return "vi801: the audio output went away (" + status.api +
               "); trying to open it again every " + std::to_string(retry.count()) + " s\n";
    return "vi801: the audio output (" + status.api + ") is back after " +
           FormatDuration(Seconds(status.gone)) + "\n";
}
} // namespace

CardSession::CardSession(const CommandLine& options, const std::string& devicesRoot,
                         std::ostream* notes)
    : devicesRoot_(devicesRoot) {
    const bool offline = !options.render.empty(); // renders on the emulated card alone
    const bool present = options.card == CardOption::Auto && !offline && Fm801Present(devicesRoot);
    card_.kind = offline ? CardKind::Emulated : ChooseCard(options.card, present);
    card_.chosenByOption = options.card != CardOption::Auto;
    if (!options.record.empty() && card_.kind != CardKind::Emulated)
        throw Error("--record records the emulated card, and this computer plays its FM801; "
                    "add --card=emulated to record");

    PortBackend* backend = &HardwarePorts::Instance();
    if (card_.kind == CardKind::Emulated) {
        emulated_ = std::make_unique<EmulatedCard>();
        if (!options.record.empty()) {
            recorder_ = std::make_unique<OutputRecorder>();
            emulated_->SetOutputTap(&recorder_->Ring());
        }
        backend = emulated_.get();
    }
    if (!options.portLog.empty()) {
        log_ = std::make_unique<PortLog>(*backend, options.portLog);
        backend = log_.get();
    }
    // After the port log: a bad log name ends the program before any output opens.
    if (emulated_) {
        // Without a device it plays silently; the dialog says so.
        if (!offline) StartOutput(notes);
        if (recorder_ && emulated_->OutputInfo().open) StartRecording(options.record);
        card_.output = emulated_->OutputInfo();
    }
    previousBackend_ = InstallPortBackend(backend);
}

void CardSession::StartOutput(std::ostream* notes) {
    OutputKeeper::Listener tell;
    if (notes)
        tell = [notes](const OutputStatus& status) { *notes << OutputNote(status) << std::flush; };
    emulated_->StartOutput(std::move(tell));
}

void CardSession::StartRecording(const std::string& path) {
    try {
        recorder_->Start(path, emulated_->OutputInfo().rate);
    } catch (...) {
        emulated_->StopOutput(); // before the recorder goes
        throw;
    }
}

CardSession::~CardSession() {
    InstallPortBackend(previousBackend_);
    log_.reset();
    if (emulated_) emulated_->StopOutput();
}

bool CardSession::Finish(std::ostream& report) {
    if (!recorder_) {
        if (emulated_) emulated_->StopOutput();
        return true;
    }
    const bool recording = recorder_->Started();
    const auto end = std::chrono::steady_clock::now() + kLastWritesPlayed;
    while (recording && emulated_->OutputInfo().open && emulated_->WritesPending() &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const OutputStatus output = emulated_->OutputState();
    emulated_->StopOutput();
    OutputRecorder::Result result = recorder_->Finish();
    result.outages = output.outages;
    result.outputGone = Seconds(output.goneInAll);
    if (const unsigned rate = emulated_->TapCutAtRate(); rate != 0 && result.error.empty())
        result.error = "the audio output came back at " + std::to_string(rate) +
                       " Hz, and a take keeps one rate";
    emulated_->SetOutputTap(nullptr);
    recorder_.reset();
    if (!recording) {
        report << "vi801: nothing recorded: no audio output was open (" << card_.output.error
               << ")\n";
        return false;
    }
    report << RecordingReport(result, "vi801");
    return result.saved && result.error.empty() && result.lostFrames == 0;
}

std::unique_ptr<RegistryAccessor> CardSession::DeviceView() const {
    if (emulated_) return std::make_unique<EmulatedCardRegistry>(emulated_->Base());
    return std::make_unique<SysfsRegistry>(devicesRoot_);
}

std::unique_ptr<CardSession> OpenCardSession(const CommandLine& options, const std::string& program,
                                             std::ostream& errors) {
    try {
        return std::make_unique<CardSession>(options, SysfsRegistry::kDefaultRoot, &errors);
    } catch (const std::exception& error) {
        errors << program << ": " << error.what() << "\n";
        return nullptr;
    }
}

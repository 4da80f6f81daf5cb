#include "app/cardsession.h"

#include "app/outputrecorder.h"
#include "error.h"
#include "hardware/ccsregistry.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "hardware/portlog.h"

#include <chrono>
#include <iostream>
#include <thread>

namespace {
// Long enough for a period of any output to play the last writes.
constexpr auto kLastWritesPlayed = std::chrono::milliseconds(250);
} // namespace

CardSession::CardSession(const CommandLine& options, const std::string& devicesRoot)
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
        // Told at once, as the run goes on without the rest of the log.
        log_ = std::make_unique<PortLog>(*backend, options.portLog, [](const std::string& why) {
            std::cerr << "vi801: " << why << "\n";
        });
        backend = log_.get();
    }
    // After the port log: a bad log name ends the program before any output opens.
    if (emulated_) {
        // Without a device it plays silently; the dialog says so.
        if (!offline && emulated_->StartOutput() && recorder_) StartRecording(options.record);
        card_.output = emulated_->OutputInfo();
    }
    previousBackend_ = InstallPortBackend(backend);
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
    emulated_->StopOutput();
    const OutputRecorder::Result result = recorder_->Finish();
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

bool CardSession::PortLogWhole() const {
    return !log_ || log_->Failure().empty();
}

std::unique_ptr<RegistryAccessor> CardSession::DeviceView() const {
    if (emulated_) return std::make_unique<EmulatedCardRegistry>(emulated_->Base());
    return std::make_unique<SysfsRegistry>(devicesRoot_);
}

std::unique_ptr<CardSession> OpenCardSession(const CommandLine& options, const std::string& program,
                                             std::ostream& errors) {
    try {
        return std::make_unique<CardSession>(options);
    } catch (const std::exception& error) {
        errors << program << ": " << error.what() << "\n";
        return nullptr;
    }
}

#include "app/cardsession.h"

#include "error.h"
#include "hardware/alsa/alsaopl3card.h"
#include "hardware/alsa/alsasystem.h"
#include "hardware/ccsregistry.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "hardware/portlog.h"
#include "render/outputrecorder.h"
#include "render/progress.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>
#include <thread>

namespace {
// Long enough for a period of any output to play the last writes.
constexpr auto kLastWritesPlayed = std::chrono::milliseconds(250);

bool GrantPorts() {
    try {
        HardwarePorts::Instance().EnableAccess();
        return true;
    } catch (const PortAccessError&) {
        return false;
    }
}

uint16_t Fm801Base(const std::string& devicesRoot) {
    try {
        const uint16_t base =
            CCSRegistry(std::make_unique<SysfsRegistry>(devicesRoot)).GetPortBase();
        return base == 0xFFFF ? 0 : base;
    } catch (const std::exception&) {
        return 0;
    }
}

// The ports of --card=alsa when no OPL3 device was found: the dialog says
// "not found" and nothing reaches them.
class NoCard final : public PortBackend {
public:
    void EnableAccess() override {}
    void OutByte(uint16_t, uint8_t) override {}
    void OutWord(uint16_t, uint16_t) override {}
    uint16_t InWord(uint16_t) override { return 0xFFFF; }
};
NoCard g_noCard;

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
    : CardSession(options, CardProbe{devicesRoot, {}, nullptr}, notes) {}

CardSession::CardSession(const CommandLine& options, const CardProbe& probe, std::ostream* notes)
    : devicesRoot_(probe.devicesRoot) {
    const bool offline = !options.render.empty(); // renders on the emulated card alone
    card_.kind = offline ? CardKind::Emulated : Choose(options.card, probe);
    card_.chosenByOption = options.card != CardOption::Auto;
    if (!options.record.empty() && card_.kind != CardKind::Emulated)
        throw Error("--record records the emulated card, and this computer plays its FM801; "
                    "add --card=emulated to record");

    PortBackend* backend = &HardwarePorts::Instance();
    if (card_.kind == CardKind::Alsa)
        backend = alsa_ ? static_cast<PortBackend*>(alsa_.get()) : &g_noCard;
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
        if (!offline) StartOutput(notes);
        if (recorder_ && emulated_->OutputInfo().open) StartRecording(options.record);
        card_.output = emulated_->OutputInfo();
    }
    previousBackend_ = InstallPortBackend(backend);
}

CardKind CardSession::Choose(CardOption option, const CardProbe& probe) {
    CardsAtHand found;
    if (option == CardOption::Auto && Fm801Present(probe.devicesRoot))
        found.portsWork = probe.portsGranted ? probe.portsGranted() : GrantPorts();
    if (option == CardOption::Alsa || (option == CardOption::Auto && !found.portsWork))
        found.alsaDeviceOpen =
            OpenAlsaCard(probe.alsa ? *probe.alsa : AlsaSystem::Real(), option == CardOption::Alsa);
    return ChooseCard(option, found);
}

bool CardSession::OpenAlsaCard(AlsaSystem& alsa, bool asked) {
    const std::vector<Opl3Device> devices = alsa.FindOpl3Devices();
    std::string refusal;
    for (const Opl3Device& device : devices) {
        std::unique_ptr<FmDevice> fm;
        if (const int error = alsa.OpenFm(device, fm); error < 0) {
            if (refusal.empty()) refusal = Opl3OpenRefusal(device, -error);
            continue;
        }
        fm801Base_ = Fm801Base(devicesRoot_);
        alsa_ =
            std::make_unique<AlsaOpl3Card>(std::move(fm), alsa.OpenVolume(device),
                                           fm801Base_ ? fm801Base_ : AlsaOpl3Card::kDefaultBase);
        if (const int error = alsa_->Start(); error < 0) {
            if (refusal.empty())
                refusal = "the OPL3 device " + device.Description() +
                          " refused to start: " + std::strerror(-error);
            alsa_.reset();
            continue;
        }
        card_.alsa.device = device.Description();
        for (const Opl3Device& other : devices)
            if (other.Name() != device.Name()) card_.alsa.others.push_back(other.Description());
        if (const VolumeControl* volume = alsa_->Volume()) {
            card_.alsa.volumeControl = volume->Name();
            card_.alsa.volumeSwitch = volume->HasSwitch();
        }
        return true;
    }
    if (!refusal.empty() && asked) throw Error(refusal);
    card_.alsaRefused = refusal;
    return false;
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
    if (alsa_ && alsa_->Requests().Refused() > 0)
        report << "vi801: the driver of " << card_.alsa.device << " refused "
               << alsa_->Requests().Refused() << " of " << alsa_->Requests().Sent()
               << " FM requests (" << std::strerror(alsa_->Requests().LastError()) << ")\n";
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

bool CardSession::PortLogWhole() const {
    return !log_ || log_->Failure().empty();
}

std::unique_ptr<RegistryAccessor> CardSession::DeviceView() const {
    if (emulated_) return std::make_unique<EmulatedCardRegistry>(emulated_->Base());
    if (card_.kind == CardKind::Alsa) {
        if (!alsa_) return std::make_unique<MemoryRegistry>(); // nothing found
        // An FM801 is shown where the PCI bus has it; another card at a nominal base.
        if (fm801Base_ == 0) return std::make_unique<EmulatedCardRegistry>(alsa_->Base());
    }
    return std::make_unique<SysfsRegistry>(devicesRoot_);
}

std::unique_ptr<CardSession> OpenCardSession(const CommandLine& options, const std::string& program,
                                             std::ostream& errors) {
    try {
        auto session = std::make_unique<CardSession>(options, SysfsRegistry::kDefaultRoot, &errors);
        if (!session->Card().alsaRefused.empty())
            errors << program << ": " << session->Card().alsaRefused
                   << "; playing the emulated card\n";
        return session;
    } catch (const std::exception& error) {
        errors << program << ": " << error.what() << "\n";
        return nullptr;
    }
}

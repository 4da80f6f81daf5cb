#pragma once
// The card the program plays, from the command line: the port backend for
// the whole run (real ports, a card reached through ALSA, or the emulated
// card, optionally behind a port log), the device view the detection dialog
// searches, and what the dialog tells the user about both. It records the
// emulated card's output when asked; for rendering it is the emulated card
// with no audio output.
#include "app/commandline.h"
#include "hardware/cardinuse.h"
#include "hardware/registry.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

class AlsaOpl3Card;
class AlsaSystem;
class EmulatedCard;
class OutputRecorder;
class PortBackend;
class PortLog;

// What the choice of card asks of the machine; tests bring their own.
struct CardProbe {
    std::string devicesRoot = SysfsRegistry::kDefaultRoot;
    // Whether the card's ports are granted; asked only of a present FM801.
    std::function<bool()> portsGranted;
    AlsaSystem* alsa = nullptr; // null: the system's own
};

class CardSession {
public:
    // Raises an error when the port log or the recording can't be created,
    // a recording is asked of a real card, or the OPL3 device that
    // --card=alsa asks for can't be opened. Installs its backend until
    // destroyed. The audio output going away and coming back is told on
    // `notes` (null: not told), a line each.
    explicit CardSession(const CommandLine& options,
                         const std::string& devicesRoot = SysfsRegistry::kDefaultRoot,
                         std::ostream* notes = nullptr);
    CardSession(const CommandLine& options, const CardProbe& probe, std::ostream* notes = nullptr);
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    const CardInUse& Card() const { return card_; }
    EmulatedCard* Emulated() const { return emulated_.get(); }
    AlsaOpl3Card* Alsa() const { return alsa_.get(); }
    // A fresh view of the devices for one search: the sysfs tree, or the
    // emulated card or the ALSA card alone.
    std::unique_ptr<RegistryAccessor> DeviceView() const;

    // The end of the run, once the chip was reset: the reset is played, the
    // output stops and the recording is saved. Says on `report` what was
    // recorded, and how long the output was gone meanwhile; false when the
    // recording was not saved whole.
    bool Finish(std::ostream& report);
    // False once the port log refused a line (said on stderr when it did).
    bool PortLogWhole() const;

private:
    CardKind Choose(CardOption option, const CardProbe& probe);
    // The first OPL3 device of ALSA that opens and starts; else why the first
    // one can't, raised when asked for and kept for the dialog otherwise.
    bool OpenAlsaCard(AlsaSystem& alsa, bool asked);
    void StartRecording(const std::string& path);
    void StartOutput(std::ostream* notes);

    CardInUse card_;
    std::string devicesRoot_;
    uint16_t fm801Base_ = 0; // of the FM801 in the sysfs tree; 0: none
    std::unique_ptr<AlsaOpl3Card> alsa_;
    std::unique_ptr<OutputRecorder> recorder_; // before the card: its callback writes into it
    std::unique_ptr<EmulatedCard> emulated_;
    std::unique_ptr<PortLog> log_;
    PortBackend* previousBackend_ = nullptr;
};

// The session of a run, or null when it can't be made: then why is said on
// `errors` after "program: ", as a command-line error (no window opens).
std::unique_ptr<CardSession> OpenCardSession(const CommandLine& options, const std::string& program,
                                             std::ostream& errors);

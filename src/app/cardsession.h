#pragma once
// The card the program plays, from the command line: the port backend for
// the whole run (real ports or the emulated card, optionally behind a port
// log), the device view the detection dialog searches, and what the dialog
// tells the user about both. It records the emulated card's output when
// asked; for rendering it is the emulated card with no audio output.
#include "app/cardchoice.h"
#include "hardware/cardinuse.h"
#include "hardware/registry.h"

#include <iosfwd>
#include <memory>
#include <string>

class EmulatedCard;
class OutputRecorder;
class PortBackend;
class PortLog;

class CardSession {
public:
    // Raises an error when the port log or the recording can't be created,
    // or a recording is asked of the hardware. Installs its backend until
    // destroyed.
    explicit CardSession(const CommandLine& options,
                         const std::string& devicesRoot = SysfsRegistry::kDefaultRoot);
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    const CardInUse& Card() const { return card_; }
    EmulatedCard* Emulated() const { return emulated_.get(); }
    // A fresh view of the devices for one search: the sysfs tree, or the
    // emulated card alone.
    std::unique_ptr<RegistryAccessor> DeviceView() const;

    // The end of the run, once the chip was reset: the reset is played, the
    // output stops and the recording is saved. Says on `report` what was
    // recorded; false when the recording was not saved whole.
    bool Finish(std::ostream& report);
    // False once the port log refused a line (said on stderr when it did).
    bool PortLogWhole() const;

private:
    void StartRecording(const std::string& path);

    CardInUse card_;
    std::string devicesRoot_;
    std::unique_ptr<OutputRecorder> recorder_; // before the card: its callback writes into it
    std::unique_ptr<EmulatedCard> emulated_;
    std::unique_ptr<PortLog> log_;
    PortBackend* previousBackend_ = nullptr;
};

// The session of a run, or null when it can't be made: then why is said on
// `errors` after "program: ", as a command-line error (no window opens).
std::unique_ptr<CardSession> OpenCardSession(const CommandLine& options, const std::string& program,
                                             std::ostream& errors);

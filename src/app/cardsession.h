#pragma once
// The card the program plays, from the command line: the port backend for
// the whole run (real ports or the emulated card, optionally behind a port
// log), the device view the detection dialog searches, and what the dialog
// tells the user about both.
#include "app/cardchoice.h"
#include "hardware/cardinuse.h"
#include "hardware/registry.h"

#include <memory>
#include <string>

class EmulatedCard;
class PortBackend;
class PortLog;

class CardSession {
public:
    // Raises an error when the port log can't be created. Installs its
    // backend until destroyed.
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

private:
    CardInUse card_;
    std::string devicesRoot_;
    std::unique_ptr<EmulatedCard> emulated_;
    std::unique_ptr<PortLog> log_;
    PortBackend* previousBackend_ = nullptr;
};

#include "app/cardsession.h"

#include "hardware/ccsregistry.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "hardware/portlog.h"

CardSession::CardSession(const CommandLine& options, const std::string& devicesRoot)
    : devicesRoot_(devicesRoot) {
    const bool present = options.card == CardOption::Auto && Fm801Present(devicesRoot);
    card_.kind = ChooseCard(options.card, present);
    card_.chosenByOption = options.card != CardOption::Auto;

    PortBackend* backend = &HardwarePorts::Instance();
    if (card_.kind == CardKind::Emulated) {
        emulated_ = std::make_unique<EmulatedCard>();
        backend = emulated_.get();
    }
    if (!options.portLog.empty()) {
        log_ = std::make_unique<PortLog>(*backend, options.portLog);
        backend = log_.get();
    }
    // After the port log: a bad log name ends the program before any output opens.
    if (emulated_) {
        emulated_->StartOutput(); // without a device it plays silently; the dialog says so
        card_.output = emulated_->OutputInfo();
    }
    previousBackend_ = InstallPortBackend(backend);
}

CardSession::~CardSession() {
    InstallPortBackend(previousBackend_);
    log_.reset();
    if (emulated_) emulated_->StopOutput();
}

std::unique_ptr<RegistryAccessor> CardSession::DeviceView() const {
    if (emulated_) return std::make_unique<EmulatedCardRegistry>(emulated_->Base());
    return std::make_unique<SysfsRegistry>(devicesRoot_);
}

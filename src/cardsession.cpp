#include "cardsession.h"

#include "hardware/emulated/emulatedcard.h"
#include "hardware/emulated/portlog.h"
#include "hardware/giveio.h"

CardSession::CardSession(const CommandLine& options, const std::string& devicesRoot) {
    const bool present = options.card == CardOption::Auto && Fm801Present(devicesRoot);
    card_.kind = ChooseCard(options.card, present);
    card_.chosenByOption = options.card != CardOption::Auto;

    PortBackend* backend = &HardwarePorts::Instance();
    RegistryFactory view = [devicesRoot] { return std::make_unique<SysfsRegistry>(devicesRoot); };
    if (card_.kind == CardKind::Emulated) {
        emulated_ = std::make_unique<EmulatedCard>();
        emulated_->StartOutput(); // without a device it plays silently; the dialog says so
        card_.output = emulated_->OutputInfo();
        backend = emulated_.get();
        const uint16_t base = emulated_->Base();
        view = [base] { return std::make_unique<EmulatedCardRegistry>(base); };
    }
    if (!options.portLog.empty()) {
        log_ = std::make_unique<PortLog>(*backend, options.portLog);
        backend = log_.get();
    }
    previousBackend_ = InstallPortBackend(backend);
    previousFactory_ = InstallRegistryFactory(std::move(view));
    SetCardInUse(card_);
}

CardSession::~CardSession() {
    InstallRegistryFactory(std::move(previousFactory_));
    InstallPortBackend(previousBackend_);
    log_.reset();
    if (emulated_) emulated_->StopOutput();
}

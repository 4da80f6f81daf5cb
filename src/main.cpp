// The program's entry: the card behind the port functions, port access,
// the application and its main window.
#include "cardchoice.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/emulated/portlog.h"
#include "hardware/giveio.h"
#include "hardware/registry.h"
#include "ui/mainform.h"
#include "ui/portform.h"
#include "ui/toolkit.h"

#include <exception>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    const CommandLineResult commandLine = ParseCommandLine(argc, argv);
    if (const int status = HandleCommandLine(commandLine, argv[0], std::cout, std::cerr);
        status >= 0)
        return status;
    const CommandLine& options = commandLine.options;

    CardInUse card;
    card.kind = ChooseCard(options.card, Fm801Present(SysfsRegistry::kDefaultRoot));
    card.chosenByOption = options.card != CardOption::Auto;
    PortBackend* backend = &HardwarePorts::Instance();
    std::unique_ptr<EmulatedCard> emulated;
    if (card.kind == CardKind::Emulated) {
        emulated = std::make_unique<EmulatedCard>();
        emulated->StartOutput(); // without a sound device it runs silently
        card.output = emulated->OutputInfo();
        backend = emulated.get();
        InstallRegistryFactory(
            [] { return std::make_unique<EmulatedCardRegistry>(EmulatedCard::kDefaultBase); });
    }
    SetCardInUse(card);

    std::unique_ptr<PortLog> portLog;
    std::unique_ptr<Application> application;
    try {
        if (!options.portLog.empty()) {
            portLog = std::make_unique<PortLog>(*backend, options.portLog);
            backend = portLog.get();
        }
        InstallPortBackend(backend);
        EnablePortAccess(); // before the GUI library starts
        application = std::make_unique<Application>(argc, argv);
        TFormMain form;
        if (!form.Terminated()) {
            SetMainWindow(&form);
            form.show();
            application->exec();
            SetMainWindow(nullptr);
        }
    } catch (const std::exception& error) {
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBox(QString::fromStdString(error.what()));
    }
    // The window has reset the chip; the card outlives every port access.
    InstallPortBackend(nullptr);
    if (emulated) emulated->StopOutput();
    return 0;
}

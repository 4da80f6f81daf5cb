// The program's entry: the card behind the port functions, port access,
// the application and its main window.
#include "cardchoice.h"
#include "cardsession.h"
#include "hardware/giveio.h"
#include "ui/mainform.h"
#include "ui/toolkit.h"

#include <exception>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    const CommandLineResult commandLine = ParseCommandLine(argc, argv);
    if (const int status = HandleCommandLine(commandLine, argv[0], std::cout, std::cerr);
        status >= 0)
        return status;

    // Declared first, so the card outlives the window that resets its chip.
    std::unique_ptr<CardSession> card;
    std::unique_ptr<Application> application;
    try {
        card = std::make_unique<CardSession>(commandLine.options);
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
    return 0;
}

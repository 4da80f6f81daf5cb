// The program's entry: the card behind the port functions, port access,
// the application and its main window.
#include "app/cardchoice.h"
#include "app/cardsession.h"
#include "hardware/giveio.h"
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
    if (!commandLine.options.render.empty()) {
        // RenderToWav (app/rendersong.h) runs it once the main window can play MIDI offscreen.
        std::cerr << "vi801: --render is not part of this build yet\n";
        return 1;
    }

    // Declared first, so the card outlives the window that resets its chip.
    std::unique_ptr<CardSession> card;
    std::unique_ptr<Application> application;
    try {
        card = std::make_unique<CardSession>(commandLine.options);
        EnablePortAccess(); // before the GUI library starts
        application = std::make_unique<Application>(argc, argv);
        const CardSession& session = *card;
        TFormMain form(nullptr, [&session](QWidget* owner) {
            TFormPort dialog(owner, session.Card(), session.DeviceView());
            return dialog.Execute();
        });
        if (!form.Terminated()) {
            form.show();
            application->exec();
        }
    } catch (const std::exception& error) {
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBox(QString::fromStdString(error.what()));
    }
    if (card) card->Finish(std::cerr); // after the window reset the chip: the reset is recorded
    return 0;
}

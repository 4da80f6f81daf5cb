// The program's entry: the card behind the port functions, port access,
// the application and its main window.
#include "app/cardchoice.h"
#include "app/cardsession.h"
#include "hardware/giveio.h"
#include "ui/mainform.h"
#include "ui/portform.h"
#include "ui/toolkit.h"

#include <QComboBox>

#include <exception>
#include <iostream>
#include <memory>
#include <string>

namespace {
// The input the command line names, picked as the user would pick it.
void ChooseMidiIn(TFormMain& form, const std::string& text, const std::string& program) {
    if (text.empty() || form.ChooseMidiIn(QString::fromStdString(text))) return;
    std::cerr << program << ": no MIDI input matches '" << text << "'; the inputs are:";
    for (int i = 0; i < form.ComboBoxMidiIn->count(); ++i)
        std::cerr << (i ? ", " : " ") << '"' << form.ComboBoxMidiIn->itemText(i).toStdString()
                  << '"';
    std::cerr << ". Going on with \"" << form.ComboBoxMidiIn->currentText().toStdString()
              << "\".\n";
}
} // namespace

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
        const CardSession& session = *card;
        TFormMain form(nullptr, [&session](QWidget* owner) {
            TFormPort dialog(owner, session.Card(), session.DeviceView());
            return dialog.Execute();
        });
        if (!form.Terminated()) {
            form.show();
            const std::string path = argv[0];
            ChooseMidiIn(form, commandLine.options.midiIn, path.substr(path.rfind('/') + 1));
            application->exec();
        }
    } catch (const std::exception& error) {
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBox(QString::fromStdString(error.what()));
    }
    return 0;
}

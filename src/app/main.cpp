// The program's entry: the card behind the port functions, port access,
// the application and its main window.
#include "app/cardchoice.h"
#include "app/cardsession.h"
#include "app/datafolder.h"
#include "app/endsignals.h"
#include "app/startupnotes.h"
#include "hardware/giveio.h"
#include "hardware/portlog.h"
#include "ui/appicon.h"
#include "ui/mainform.h"
#include "ui/portform.h"
#include "ui/toolkit.h"

#include <QComboBox>

#include <exception>
#include <functional>
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
    const std::string program = std::string(argv[0]).substr(std::string(argv[0]).rfind('/') + 1);
    if (!commandLine.options.render.empty()) {
        // RenderToWav (app/rendersong.h) runs it once the main window can play MIDI offscreen.
        std::cerr << "vi801: --render is not part of this build yet\n";
        return 1;
    }

    // Declared first, so the card outlives the window that resets its chip.
    std::unique_ptr<CardSession> card;
    std::unique_ptr<Application> application;
    int status = 0;
    try {
        card = std::make_unique<CardSession>(commandLine.options);
        // After the port log, whose name is relative to where the user typed it.
        if (const std::string note = EnterDataFolder(); !note.empty())
            std::cerr << program << ": " << note << "\n";
        EnablePortAccess(); // before the GUI library starts
        application = std::make_unique<Application>(argc, argv);
        application->setWindowIcon(ProgramIcon());

        // A signal closes whichever window is in front, as the user would.
        std::function<void()> closeFront;
        const EndSignals endSignals([&closeFront] {
            if (closeFront) closeFront();
            QCoreApplication::exit(0); // also leaves a message box's loop
        });
        const CardSession& session = *card;
        TFormMain form(nullptr, [&session, &closeFront](QWidget* owner) {
            TFormPort dialog(owner, session.Card(), session.DeviceView());
            closeFront = [&dialog] { dialog.ButtonCancelClick(); };
            const uint16_t base = dialog.Execute();
            closeFront = nullptr;
            return base;
        });
        if (!form.Terminated() && !endSignals.Received()) {
            closeFront = [&form] { form.close(); };
            form.show();
            const std::string path = argv[0];
            ChooseMidiIn(form, commandLine.options.midiIn, path.substr(path.rfind('/') + 1));
            application->exec();
        }
        closeFront = nullptr;
    } catch (const PortLogError& error) {
        // A command-line error like the others: no window opens.
        std::cerr << program << ": " << error.what() << "\n";
        return 2;
    } catch (const PortAccessError& error) {
        std::cerr << program << ": " << PortAccessNote(error.Reason()) << "\n";
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBox(QString::fromStdString(error.what()));
        status = 1;
    } catch (const std::exception& error) {
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBox(QString::fromStdString(error.what()));
    }
    if (card) card->Finish(std::cerr); // after the window reset the chip: the reset is recorded
    return status;
}

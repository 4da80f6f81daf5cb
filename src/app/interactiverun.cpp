#include "app/interactiverun.h"

#include "app/cardsession.h"
#include "app/datafolder.h"
#include "app/endsignals.h"
#include "app/startupnotes.h"
#include "boundedcall.h"
#include "hardware/giveio.h"
#include "midi/midi.h"
#include "ui/appicon.h"
#include "ui/mainform.h"
#include "ui/portform.h"
#include "ui/toolkit.h"

#include <QComboBox>

#include <csignal>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>

namespace {
// A MIDI system that did not answer at start offers no inputs: say why.
void TellUnanswered(const Midi& midi, const std::string& program) {
    for (const std::string& system : midi.Unanswered)
        std::cerr << program << ": " << system << " did not answer within "
                  << WaitText(Midi::kAnswerWait) << ": its MIDI inputs are not listed.\n";
}

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

// The detection dialog, then the main window until it closes. A signal
// closes whichever window is in front, as the user would.
void ShowWindows(const CardSession& session, const CommandLine& options,
                 const std::string& program) {
    std::function<void()> closeFront;
    const EndSignals endSignals([&closeFront] {
        if (closeFront) closeFront();
        QCoreApplication::exit(0); // also leaves a message box's loop
    });
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
        TellUnanswered(*form.MidiIn, program);
        ChooseMidiIn(form, options.midiIn, program);
        QCoreApplication::exec();
    }
    closeFront = nullptr;
}
} // namespace

int RunInteractive(const CommandLine& options, int& argc, char** argv, const std::string& program) {
    // libjack writes to its server's socket without MSG_NOSIGNAL: a server
    // that goes away while it is spoken to would end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Declared first, so the card outlives the window that resets its chip.
    const std::unique_ptr<CardSession> card = OpenCardSession(options, program, std::cerr);
    if (!card) return 2;
    std::unique_ptr<Application> application;
    int status = 0;
    try {
        // After the port log, whose name is relative to where the user typed it.
        if (const std::string note = EnterDataFolder(); !note.empty())
            std::cerr << program << ": " << note << "\n";
        EnablePortAccess(); // before the GUI library starts
        application = std::make_unique<Application>(argc, argv);
        application->setWindowIcon(ProgramIcon());
        ShowWindows(*card, options, program);
    } catch (const PortAccessError& error) {
        std::cerr << program << ": " << PortAccessNote(error.Reason()) << "\n";
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBox(QString::fromStdString(error.what()));
        status = 1;
    } catch (const std::exception& error) {
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBox(QString::fromStdString(error.what()));
    }
    card->Finish(std::cerr); // after the window reset the chip: the reset is recorded
    return status;
}

#include "app/interactiverun.h"

#include "app/cardsession.h"
#include "app/datafolder.h"
#include "app/endsignals.h"
#include "app/nsmsession.h"
#include "app/startupnotes.h"
#include "boundedcall.h"
#include "hardware/ccsregistry.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "midi/midi.h"
#include "ui/appicon.h"
#include "ui/mainform.h"
#include "ui/outputnotice.h"
#include "ui/portform.h"
#include "ui/remembered.h"
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

// A session manager starts programs unattended: the card the command line
// chose is taken as the dialog would find it, and the terminal says so.
uint16_t DetectWithoutAsking(const CardSession& session, const std::string& program) {
    const CCSRegistry detection(session.DeviceView());
    const uint16_t base = detection.GetPortBase();
    const auto texts = CardInformationTexts(session.Card(), base, detection.GetInstance());
    std::cerr << program << ": started by a session manager, so no detection dialog: "
              << texts[0].toStdString() << " " << AddressText(base).toStdString() << "\n";
    return base;
}

// The detection dialog, then the main window until it closes. A signal
// closes whichever window is in front, as the user would.
void ShowWindows(const CardSession& session, const CommandLine& options, const std::string& program,
                 EndSignals& endSignals, NsmSession* nsm) {
    std::function<void()> closeFront;
    endSignals.Watch([&closeFront] {
        if (closeFront) closeFront();
        QCoreApplication::exit(0); // also leaves a message box's loop
    });
    struct Watching {
        EndSignals& ends;
        ~Watching() { ends.Unwatch(); }
    } watching{endSignals};
    TFormMain form(nullptr, [&](QWidget* owner) -> uint16_t {
        if (endSignals.Received()) return 0; // as Cancel: ended before the dialog showed
        if (nsm) return DetectWithoutAsking(session, program);
        TFormPort dialog(owner, session.Card(), session.DeviceView());
        closeFront = [&dialog] { dialog.ButtonCancelClick(); };
        const uint16_t base = dialog.Execute();
        closeFront = nullptr;
        return base;
    });
    if (!form.Terminated() && !endSignals.Received()) {
        // What the last run left, after the usual start; destroyed
        // before the window it keeps. A session keeps its own.
        std::unique_ptr<SettingsKeeper> settings;
        if (!options.noSettings && !nsm) {
            settings = std::make_unique<SettingsKeeper>(
                form, SettingsPath(), [&program](const std::string& note) {
                    std::cerr << program << ": " << note << "\n";
                });
            settings->Apply();
        }
        // On the emulated card the synthesizer plays where the sound is
        // made; elsewhere on a thread of its own, never the window's.
        EmulatedCard* card = session.Emulated();
        if (!card || !form.PlayOnCard(*card)) form.PlayOnThread();
        if (card) // the window owns it
            new OutputNotice(form.PanelOutput, [card] { return card->OutputState(); });
        form.LibraryFolder = BankLibraryFolder(DefaultDataPlaces());
        closeFront = [&form] { form.close(); };
        form.show();
        TellUnanswered(*form.MidiIn, program);
        if (settings) settings->ShowWindows();
        ChooseMidiIn(form, options.midiIn, program);
        if (nsm) nsm->Attach(&form);
        QCoreApplication::exec();
        if (nsm) nsm->Attach(nullptr);
    }
    closeFront = nullptr;
}
// An end signal closes the box, as it closes the windows.
void ShowErrorBoxUnlessEnded(EndSignals& endSignals, const std::string& text) {
    if (endSignals.Received()) return;
    endSignals.Watch([] { QCoreApplication::exit(0); });
    ShowErrorBox(QString::fromStdString(text));
    endSignals.Unwatch();
}
} // namespace

int RunInteractive(const CommandLine& options, int& argc, char** argv, const std::string& program) {
    // libjack writes to its server's socket without MSG_NOSIGNAL: a server
    // that goes away while it is spoken to would end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Before the recording opens and until it is saved: no signal cuts it short.
    EndSignals endSignals;
    // Before the window, so the card outlives the window that resets its chip.
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
        const std::unique_ptr<NsmSession> nsm =
            NsmSession::FromEnvironment(argv[0], program, std::cerr);
        ShowWindows(*card, options, program, endSignals, nsm.get());
    } catch (const PortAccessError& error) {
        std::cerr << program << ": " << PortAccessNote(error.Reason()) << "\n";
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBoxUnlessEnded(endSignals, error.what());
        status = 1;
    } catch (const std::exception& error) {
        if (!application) application = std::make_unique<Application>(argc, argv);
        ShowErrorBoxUnlessEnded(endSignals, error.what());
    }
    card->Finish(std::cerr); // after the window reset the chip: the reset is recorded
    return status == 0 && !card->PortLogWhole() ? 1 : status;
}

// MIDI short messages in the main window: from the input or the mini
// keyboard, each handed to the core, which plays it; the window then shows
// what it changed (the note count, a controller's control, a preset).
#include "midi/midi.h"
#include "midi/shortmessage.h"
#include "synth/corelink.h"
#include "ui/mainform.h"

void TFormMain::Dispatch(const PostedMessage& message) {
    switch (message.Message) {
    case MM_MIM_OPEN:
        HandleMidiOpen();
        return;
    case MM_MIM_DATA:
    case MM_MIM_MOREDATA:
        HandleMidiData(message.WParam, message.LParam);
        return;
    default:
        MessageWindow::Dispatch(message);
    }
}

void TFormMain::HandleMidiOpen() {
    if (MidiIn) MidiIn->Start();
}

void TFormMain::ComboBoxMidiInChange() {
    MidiIn->OpenDevice(ComboBoxMidiIn->currentIndex());
}

bool TFormMain::ChooseMidiIn(const QString& text) {
    for (int i = 0; i < ComboBoxMidiIn->count(); ++i)
        if (ComboBoxMidiIn->itemText(i).contains(text, Qt::CaseInsensitive)) {
            ComboBoxMidiIn->setCurrentIndex(i);
            ComboBoxMidiInChange();
            return true;
        }
    return false;
}

void TFormMain::HandleMidiData(uint32_t source, uint32_t message) {
    Link->SendMidi(source, UnpackShortMessage(message));
    ShowCore();
}

void TFormMain::HandleController(uint8_t number, uint8_t value) {
    Link->Send(command::Controller{number, value});
    ShowCore();
}

void TFormMain::ApplyVelocity(uint8_t velocity) {
    Link->Send(command::Velocity{velocity});
}

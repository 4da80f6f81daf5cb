// MIDI short messages in the main window: notes on the chosen channel with
// velocity, chord, tunings and bend, program changes, and controllers bound
// to the window's controls. The mini keyboard's messages arrive the same way.
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "midi/midi.h"
#include "midi/noterules.h"
#include "midi/shortmessage.h"
#include "ui/ccform.h"
#include "ui/controllerrows.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/presetnames.h"

#include <QLabel>

#include <array>

namespace {

// Status bytes without their channel.
constexpr uint8_t kNoteOff = 0x80, kNoteOn = 0x90, kControlChange = 0xB0, kProgramChange = 0xC0,
                  kPitchBend = 0xE0;
// Sent by every sequencer when it stops: nothing may keep sounding.
constexpr uint8_t kAllSoundOff = 120, kAllNotesOff = 123;

std::string TextOf(const QComboBox* box) {
    return box->currentText().toStdString();
}

} // namespace

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
    const ShortMessage m = UnpackShortMessage(message);
    int channel = 0; // the mini keyboard plays on channel 1 whatever is chosen
    if (source == KeyboardSource) {
        if (m.Status == kProgramChange) {
            StepPreset(static_cast<int8_t>(m.Data2));
            return;
        }
    } else {
        channel = ComboBoxMidiChannel->currentText().toInt() - 1;
    }
    // Other channels, key and channel pressure, and system messages are ignored.
    if (m.Status < kNoteOff || (m.Status & 0x0F) != channel) return;
    switch (m.Status & 0xF0) {
    case kNoteOff:
        NoteOff(m.Data1);
        break;
    case kNoteOn:
        if (m.Data2 == 0)
            NoteOff(m.Data1);
        else
            NoteOn(m.Data1, m.Data2);
        break;
    case kControlChange:
        HandleController(m.Data1, m.Data2);
        break;
    case kProgramChange:
        ProgramChange(m.Data1);
        break;
    case kPitchBend:
        PitchBend(m.Data2);
        break;
    default:
        break;
    }
}

// The chord's notes start before the root; a sum above 127 goes to the chip
// as it is. The count shown includes every sounding slot.
void TFormMain::NoteOn(uint8_t note, uint8_t velocity) {
    ApplyVelocity(velocity);
    const std::string transpose = TextOf(ComboBoxTranspose);
    const int32_t cents4 = VoiceCents(TextOf(ComboBoxTR1), transpose);
    const int32_t cents2 = VoiceCents(TextOf(ComboBoxTR2), transpose);
    OPL3& opl3 = *Fm801->Opl3;
    if (CheckBoxChorder->isChecked())
        for (int interval : kChordIntervals)
            opl3.NoteOn(cents4, cents2, static_cast<uint8_t>(note + interval));
    LabelP->setText(QString::number(opl3.NoteOn(cents4, cents2, note)));
}

void TFormMain::NoteOff(uint8_t note) {
    OPL3& opl3 = *Fm801->Opl3;
    if (CheckBoxChorder->isChecked())
        for (int interval : kChordIntervals)
            opl3.NoteOff(static_cast<uint8_t>(note + interval));
    LabelP->setText(QString::number(opl3.NoteOff(note)));
}

void TFormMain::ReleaseAllNotes() {
    OPL3& opl3 = *Fm801->Opl3;
    int32_t count = 0;
    for (int32_t note : opl3.Slots)
        if (note != OPL3::FreeSlot) count = opl3.NoteOff(static_cast<uint8_t>(note));
    LabelP->setText(QString::number(count));
}

// Positions of the velocity-enabled operators' volume bars are the levels at
// velocity 127 and stay as they are; the chip takes the scaled level.
void TFormMain::ApplyVelocity(uint8_t velocity) {
    for (int op = 0; op < kOperatorCount; ++op) {
        const TFrameOp* frame = OperatorFrames[op];
        if (frame->IsCcEnabled())
            Fm801->Opl3->SetLevel(op, VelocityLevel(frame->GetVolume(), velocity));
    }
}

// Program numbers are positions in the current bank's sorted list.
void TFormMain::ProgramChange(uint8_t program) {
    if (program >= ComboBoxPreset->count()) return;
    ComboBoxPreset->setCurrentIndex(program);
    LoadPresetByName(PresetItemName(ComboBoxPreset, program));
}

void TFormMain::StepPreset(int8_t step) {
    const int index = PresetStep(ComboBoxPreset->currentIndex(), step, ComboBoxPreset->count());
    if (index < 0) return;
    ComboBoxPreset->setCurrentIndex(index);
    LoadPresetByName(PresetItemName(ComboBoxPreset, index));
}

// The bend is not remembered: a later note starts unbent.
void TFormMain::PitchBend(uint8_t data2) {
    const std::string transpose = TextOf(ComboBoxTranspose);
    const int32_t bend = BendCents(data2);
    Fm801->Opl3->Retune(AddCents(VoiceCents(TextOf(ComboBoxTR1), transpose), bend),
                        AddCents(VoiceCents(TextOf(ComboBoxTR2), transpose), bend));
}

void TFormMain::HandleController(uint8_t number, uint8_t value) {
    if (const int row = ControllerForm->BoundRow(number); row >= 0) ApplyControllerRow(row, value);
    if (number == kAllSoundOff || number == kAllNotesOff) ReleaseAllNotes();
}

// A value lands where the user would have set it, and the control's own
// handler carries it to the chip.
void TFormMain::ApplyControllerRow(int index, uint8_t value) {
    const ControllerRow& row = ControllerRows[index];
    if (row.control) {
        QWidget* control = row.control(*this);
        if (auto* list = qobject_cast<QComboBox*>(control))
            SelectFromController(list, row.scale(value, list->count()));
        else
            SetControlValue(control, row.scale(value, 0));
        return;
    }
    // Operator rows move only the CC-enabled frames; a list they change is
    // sent as well, so a waveform or multiplier knob is heard at once.
    for (TFrameOp* frame : OperatorFrames) {
        std::array<int, kOperatorFields.size()> before{};
        for (size_t f = 0; f < kOperatorFields.size(); ++f)
            before[f] = frame->FieldValue(f);
        (frame->*row.setter)(value);
        for (size_t f = 0; f < kOperatorFields.size(); ++f)
            if (auto* list = qobject_cast<QComboBox*>(frame->FieldControl(f));
                list && frame->FieldValue(f) != before[f])
                RunComboBoxSelect(list);
    }
}

// A tuning list may show typed text over the same item: that is a change too.
void TFormMain::SelectFromController(QComboBox* list, int index) {
    if (index < 0) return;
    if (index == list->currentIndex() && list->currentText() == list->itemText(index)) return;
    list->setCurrentIndex(index);
    if (list->isEditable()) list->setEditText(list->itemText(index));
    RunComboBoxSelect(list);
}

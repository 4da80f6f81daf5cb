// What screen readers call the main window's controls: every control named
// for the operator or voice it belongs to, and the labels of the MIDI and
// preset lists linked to them. The wording is ui/accessiblenames.h's.
#include "ui/accessible.h"
#include "ui/accessiblenames.h"
#include "ui/mainform.h"
#include "ui/opframe.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

void TFormMain::NameControls() {
    for (int op = 0; op < kOperatorCount; ++op)
        NameOperatorControls(op);
    for (const auto& [control, field] : VoiceControls())
        SetAccessible(control, VoiceAccessible(field));
    SetAccessible(ComboBoxTranspose, TuningAccessible(Tuning::Transpose));
    SetAccessible(ComboBoxTR1, TuningAccessible(Tuning::Voice1));
    SetAccessible(ComboBoxTR2, TuningAccessible(Tuning::Voice2));
    QWidget* const others[] = {ComboBoxMidiIn, ComboBoxMidiChannel, ButtonCc,     CheckBoxChorder,
                               ButtonKbd,      ComboBoxPreset,      ComboBoxBank, ButtonSavePreset,
                               ButtonReset,    TrackBarVolume,      CheckBoxMute, TrackBarPan,
                               ImageCnt,       ButtonPlay,          ButtonEdit,   ButtonCompare,
                               ButtonBrowse};
    for (QWidget* control : others)
        SetAccessible(control, ControlAccessible(control->objectName().toStdString()));

    // A screen reader reads a linked label with its list.
    LabelMidiInput->setBuddy(ComboBoxMidiIn);
    LabelChannel->setBuddy(ComboBoxMidiChannel);
    LabelPreset->setBuddy(ComboBoxPreset);
    LabelBank->setBuddy(ComboBoxBank);
}

std::array<std::pair<QWidget*, VoiceField>, kVoiceFieldCount> TFormMain::VoiceControls() const {
    return {{{ComboBoxFB, VoiceField::Feedback},
             {ComboBoxFB2, VoiceField::Feedback2},
             {ComboBoxCNT, VoiceField::Connection},
             {ComboBoxTD, VoiceField::TremoloDepth},
             {ComboBoxVD, VoiceField::VibratoDepth},
             {CheckBoxA, VoiceField::OutputA},
             {CheckBoxB, VoiceField::OutputB},
             {CheckBoxA2, VoiceField::OutputA2},
             {CheckBoxB2, VoiceField::OutputB2}}};
}

void TFormMain::NameOperatorControls(int op) {
    TFrameOp& frame = *FrameOps[op];
    for (size_t field = 0; field < kOperatorFieldCount; ++field)
        SetAccessible(frame.FieldControl(field), OperatorFieldAccessible(op, field));
    SetAccessible(frame.CheckBoxCC, OperatorCcAccessible(op));
    SetAccessible(&frame, OperatorFrameAccessible(op));
}

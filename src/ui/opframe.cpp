#include "ui/opframe.h"

#include "ui/tag.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>

#include <algorithm>

namespace {

const char* const kWaveformItems[] = {
    "Sine",     "Half Sine",         "Absolute Sine", "Sine Pulse",
    "Sine Alt", "Absolute Sine Alt", "Square",        "Square Pulse",
};
const char* const kLevelScalingItems[] = {
    "Off",
    "-1.5 dB / Octave",
    "-3.0 dB / Octave",
    "-6.0 dB / Octave",
};
// Item n is the multiplier field value n; the texts give the interval in cents.
const char* const kFreqMultiplierItems[] = {
    "-1200", "0 cents", "+1200", "+1900", "+2400", "+2790", "+3100", "+3370",
    "+3600", "+3800",   "+3990", "+4150", "+4300", "+4440", "+4570", "+4690",
};

constexpr int kRateMax = 15;
constexpr int kVolumeMax = 63;
constexpr int kDefaultMultiplier = 1; // "0 cents": field value 1

// Vertical bars have their minimum at the top, as the envelope rates read.
QSlider* MakeRateBar(QWidget* parent, const char* name, int left) {
    auto* bar = new QSlider(parent);
    SetMinimumAtTop(bar);
    bar->setObjectName(name);
    bar->setRange(0, kRateMax);
    bar->setTickPosition(QSlider::TicksLeft);
    bar->setTickInterval(1);
    bar->setPageStep(2);
    bar->setValue(kRateMax);
    bar->setGeometry(left, 40, 34, 121);
    return bar;
}

} // namespace

TFrameOp::TFrameOp(QWidget* owner) : QFrame(owner) {
    resize(334, 224);
    BuildControls();
    BuildEnvelope();
    CheckBoxCC = MakeCheck(this, "CheckBoxCC", "CC", 246, 8, 41);
    LabelOp = MakeLabel(this, "LabelOp", "1", 308, 2);

    QWidget* order[] = {ComboBoxWS,          CheckBoxTremolo,      CheckBoxVibrato,
                        CheckBoxRateScaling, ComboBoxLevelScaling, ComboBoxFreqMultiplier,
                        TrackBarAttack,      TrackBarDecay,        TrackBarSustain,
                        TrackBarRelease,     CheckBoxHold,         TrackBarVolume,
                        CheckBoxCC};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (size_t i = 0; i < kOperatorFields.size(); ++i)
        fieldControls_[i] = findChild<QWidget*>(kOperatorFields[i].control);
    BuildMenu();
    for (QComboBox* list : findChildren<QComboBox*>())
        list->installEventFilter(this);
}

void TFrameOp::BuildControls() {
    LabelWaveform = MakeLabel(this, "LabelWaveform", "Waveform", 8, 8);
    ComboBoxWS = MakeList(this, "ComboBoxWS", ItemList(kWaveformItems), 8, 24, 129);
    LabelModulation = MakeLabel(this, "LabelModulation", "Modultation", 8, 56);
    CheckBoxTremolo = MakeCheck(this, "CheckBoxTremolo", "Tremolo", 8, 72, 65);
    CheckBoxVibrato = MakeCheck(this, "CheckBoxVibrato", "Vibrato", 80, 72, 65);
    LabelKey = MakeLabel(this, "LabelKey", "Key Scaling", 8, 104);
    LabelLevelScaling = MakeLabel(this, "LabelLevelScaling", "Level", 8, 122);
    CheckBoxRateScaling = MakeCheck(this, "CheckBoxRateScaling", "Rate", 80, 120, 57);
    ComboBoxLevelScaling =
        MakeList(this, "ComboBoxLevelScaling", ItemList(kLevelScalingItems), 8, 140, 129);
    LabelFreqMultiplier = MakeLabel(this, "LabelFreqMultiplier", "Tuning (%)", 8, 176);
    ComboBoxFreqMultiplier =
        MakeList(this, "ComboBoxFreqMultiplier", ItemList(kFreqMultiplierItems), 8, 192, 129, 16);
    ComboBoxFreqMultiplier->setCurrentIndex(kDefaultMultiplier);
}

void TFrameOp::BuildEnvelope() {
    LabelEnvelope = MakeLabel(this, "LabelEnvelope", "Envelope", 158, 8);
    LabelAttack = MakeLabel(this, "LabelAttack", "A", 168, 28);
    LabelDecay = MakeLabel(this, "LabelDecay", "D", 208, 28);
    LabelSustain = MakeLabel(this, "LabelSustain", "S", 248, 28);
    LabelRelease = MakeLabel(this, "LabelRelease", "R", 288, 28);
    TrackBarAttack = MakeRateBar(this, "TrackBarAttack", 152);
    TrackBarDecay = MakeRateBar(this, "TrackBarDecay", 192);
    TrackBarSustain = MakeRateBar(this, "TrackBarSustain", 232);
    TrackBarRelease = MakeRateBar(this, "TrackBarRelease", 272);
    CheckBoxHold = MakeCheck(this, "CheckBoxHold", "Hold", 246, 162, 51);

    LabelVolume = MakeLabel(this, "LabelVolume", "Volume", 158, 168);
    TrackBarVolume = MakeTrackBar(this, "TrackBarVolume", 0, kVolumeMax, 4, {152, 184, 161, 33});
    TrackBarVolume->setPageStep(2);
}

void TFrameOp::BuildMenu() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenu");
    MenuItemBreak = PopupMenu->addSeparator();
    MenuItemBreak->setObjectName("MenuItemBreak");
    MenuItemClear = PopupMenu->addAction("Clear");
    MenuItemClear->setObjectName("MenuItemClear");
    connect(MenuItemClear, &QAction::triggered, this, [this] { MenuItemClearClick(); });
}

void TFrameOp::SetTag(int op) {
    for (QWidget* control : fieldControls_)
        ::SetTag(control, op);
}

int TFrameOp::FieldValue(size_t field) const {
    return ControlValue(fieldControls_[field]);
}

void TFrameOp::SaveToPatch(OperatorPatch& patch) const {
    patch = OperatorPatch{};
    for (size_t i = 0; i < kOperatorFields.size(); ++i)
        PutOperatorField(patch, kOperatorFields[i], FieldValue(i));
}

void TFrameOp::LoadFromPatch(const OperatorPatch& patch) {
    for (size_t i = 0; i < kOperatorFields.size(); ++i) {
        const OperatorField& field = kOperatorFields[i];
        SetControlValue(fieldControls_[i], static_cast<int>(field.bits.Get(patch.*field.image)));
    }
}

void TFrameOp::SetDefaults() {
    ComboBoxWS->setCurrentIndex(0);
    CheckBoxTremolo->setChecked(false);
    CheckBoxVibrato->setChecked(false);
    ComboBoxLevelScaling->setCurrentIndex(0);
    CheckBoxRateScaling->setChecked(false);
    ComboBoxFreqMultiplier->setCurrentIndex(kDefaultMultiplier);
    TrackBarAttack->setValue(kRateMax);
    TrackBarDecay->setValue(kRateMax);
    TrackBarSustain->setValue(kRateMax);
    TrackBarRelease->setValue(kRateMax);
    CheckBoxHold->setChecked(false);
    TrackBarVolume->setValue(0);
}

// The main window clears the operator: the synthesizer holds it.
void TFrameOp::MenuItemClearClick() {
    emit Cleared(this);
}

// The rules are the synthesizer's; the frame moves its own controls by them.
void TFrameOp::SetFromCc(CcTarget target, uint8_t value) {
    if (!IsCcEnabled()) return;
    const OperatorCcChange change = OperatorChangeFromCc(target, value);
    for (size_t i = 0; i < change.count; ++i)
        SetControlValue(fieldControls_[change.sets[i].field], change.sets[i].value);
}

void TFrameOp::SetWaveformFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorWaveform, v);
}
void TFrameOp::SetKeyScalingFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorKeyScaling, v);
}
void TFrameOp::SetTuningFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorTuning, v);
}
void TFrameOp::SetAttackFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorAttack, v);
}
void TFrameOp::SetDecayFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorDecay, v);
}
void TFrameOp::SetSustainFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorSustain, v);
}
void TFrameOp::SetReleaseFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorRelease, v);
}
void TFrameOp::SetVolumeFromCc(uint8_t v) {
    SetFromCc(CcTarget::OperatorVolume, v);
}

void TFrameOp::SetCcEnabled(bool enabled) {
    CheckBoxCC->setChecked(enabled);
}
bool TFrameOp::IsCcEnabled() const {
    return CheckBoxCC->isChecked();
}
uint8_t TFrameOp::GetVolume() const {
    return static_cast<uint8_t>(TrackBarVolume->value());
}

void TFrameOp::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu->exec(event->globalPos());
    event->accept();
}

bool TFrameOp::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        // A list opens its drop-down on any button; the right one is the menu's.
        return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    case QEvent::ContextMenu:
        contextMenuEvent(static_cast<QContextMenuEvent*>(event));
        return true;
    default:
        return QFrame::eventFilter(watched, event);
    }
}

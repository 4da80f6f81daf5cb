// What the main window says beyond its controls' values: every control's
// tooltip, the line beside the preset label, what Save and Reset act on,
// the MIDI light and the channel hint, the keys the mini keyboard lights,
// and where that keyboard opens. The texts are the synthesizer's rules
// (synth/controltips.h, synth/viewrules.h); this file only places them.
#include "midi/midi.h"
#include "synth/controltips.h"
#include "synth/corelink.h"
#include "ui/clicklabel.h"
#include "ui/kbdform.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/presetnames.h"
#include "ui/tips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kActivityPollMs = 30;
const char* const kLightOff = "background: #5a625a; border: 1px solid #3c3c3c; border-radius: 4px;";
const char* const kLightOn = "background: #3ce05a; border: 1px solid #1f7a30; border-radius: 4px;";

// Names and texts are bytes; a name that is no UTF-8 shows a replacement
// character, as the preset list shows it.
QString Shown(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The items of a list tell what each one means, in its drop-down too.
void TipItems(QComboBox* list, const TipText& tip) {
    for (int i = 0; i < list->count(); ++i)
        list->setItemData(i, tip(i), Qt::ToolTipRole);
}

} // namespace

void TFormMain::BuildHints() {
    LabelPresetParts = new QLabel(PanelPreset);
    LabelPresetParts->setObjectName("LabelPresetParts");
    LabelPresetParts->setGeometry(64, 8, 131, 14);
    LabelPresetParts->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ComboBoxPreset->lineEdit()->setPlaceholderText("choose a preset");

    MidiLight = new QLabel(PanelMidi);
    MidiLight->setObjectName("MidiLight");
    MidiLight->setGeometry(160, 10, 9, 9);
    MidiLight->setStyleSheet(kLightOff);
    MidiLight->setToolTip("MIDI input: lights up at every message received");
    LabelChannelHint = MakeLabel<ClickLabel>(PanelMidi, "LabelChannelHint", "", 58, 54);
    LabelChannelHint->setFixedWidth(112);
    LabelChannelHint->setAlignment(Qt::AlignRight);
    LabelChannelHint->setStyleSheet("color: #a34f00;"); // a warning's colour, 5:1 on the panel
    LabelChannelHint->setCursor(Qt::PointingHandCursor);
    LabelChannelHint->hide();
    connect(LabelChannelHint, &ClickLabel::clicked, this, [this] {
        if (activity_.OtherChannel() >= 0)
            ComboBoxMidiChannel->setCurrentIndex(activity_.OtherChannel());
    });

    activityTimer_ = std::make_unique<QTimer>();
    connect(activityTimer_.get(), &QTimer::timeout, this, [this] { PollMidiActivity(); });
    activityTimer_->start(kActivityPollMs);
    static_cast<FreshList*>(ComboBoxMidiIn)->OnOpen([this] { ReadMidiInputsAgain(); });
    connect(ComboBoxPreset, &QComboBox::editTextChanged, this, [this] { UpdatePresetButtons(); });
    connect(ComboBoxBank, &QComboBox::currentIndexChanged, this, [this] { UpdatePresetButtons(); });
    SetTips();
    UpdatePresetButtons();
}

const SynthState& TFormMain::TipState() const {
    static const SynthState none;
    return Link ? Link->State() : none;
}

void TFormMain::SetOperatorTips(int op) {
    TFrameOp& frame = *FrameOps[op];
    for (size_t f = 0; f < kOperatorFieldCount; ++f) {
        const TipText tip = [this, op, f](int value) {
            return Shown(OperatorTip(TipState(), op, f, value));
        };
        SetTip(frame.FieldControl(f), tip);
        if (auto* list = qobject_cast<QComboBox*>(frame.FieldControl(f))) TipItems(list, tip);
    }
    SetTip(frame.CheckBoxCC, [](int on) { return Shown(CcSwitchTip(on != 0)); });
}

// Every slider, list and check box says what it does and what its value means.
void TFormMain::SetTips() {
    for (int op = 0; op < kOperatorCount; ++op)
        SetOperatorTips(op);
    for (const auto& [control, field] : VoiceControls()) {
        const TipText tip = [field](int value) { return Shown(VoiceTip(field, value)); };
        SetTip(control, tip);
        if (auto* list = qobject_cast<QComboBox*>(control)) TipItems(list, tip);
    }
    const std::pair<QWidget*, Tuning> tunings[] = {{ComboBoxTranspose, Tuning::Transpose},
                                                   {ComboBoxTR1, Tuning::Voice1},
                                                   {ComboBoxTR2, Tuning::Voice2}};
    for (const auto& [control, which] : tunings)
        SetTip(control, [this, which](int) {
            return Shown(TuningTip(which, TipState().tunings[static_cast<size_t>(which)].cents));
        });
    SetTip(TrackBarVolume, [](int volume) { return Shown(OutputVolumeTip(volume)); });
    SetTip(TrackBarPan, [this](int pan) { return Shown(PanTip(TrackBarVolume->value(), pan)); });
    SetTip(CheckBoxMute, [](int on) { return Shown(MuteTip(on != 0)); });
    SetTip(CheckBoxChorder, [](int on) { return Shown(ChordTip(on != 0)); });
    Label2->setToolTip("MC: the major-chord switch");
    SetTip(ComboBoxMidiChannel, [](int channel) { return Shown(ChannelTip(channel)); });
    SetTip(ComboBoxMidiIn, [this](int) {
        return Shown(MidiInputTip(ComboBoxMidiIn->currentText().toStdString()));
    });
    SetTip(ComboBoxBank, [](int bank) { return Shown(BankTip(bank)); });
    ComboBoxPreset->setToolTip("The preset: pick one from the list, or type its name (the label "
                               "numbers it once it names one) and press Enter");
}

void TFormMain::ShowHints(const SynthState& state) {
    if (!shown_ || shown_->parts != state.parts || shown_->presetChosen != state.presetChosen)
        ShowPresetParts(state);
    if (KeyboardForm && (!shown_ || shown_->slotNotes != state.slotNotes))
        KeyboardForm->ShowSounding(SoundingNotes(state));
    // A program change selects another preset, and names another.
    if (shown_ && shown_->presetSerial != state.presetSerial) UpdatePresetButtons();
}

// The line has little room: when the presets' names don't fit, their kinds
// go first, then each name gives up its end as far as needed.
void TFormMain::ShowPresetParts(const SynthState& state) {
    const QFontMetrics metrics(LabelPresetParts->font());
    const int room = LabelPresetParts->width();
    QString text = Shown(PresetPartsText(state));
    if (metrics.horizontalAdvance(text) > room) {
        QString four = Shown(std::string(state.parts[0].View()));
        QString two = Shown(std::string(state.parts[1].View()));
        const int names = room - metrics.horizontalAdvance(" + ");
        // A short name leaves its room to the other.
        const int fourRoom = std::max(names / 2, names - metrics.horizontalAdvance(two));
        four = metrics.elidedText(four, Qt::ElideRight, fourRoom);
        two = metrics.elidedText(two, Qt::ElideRight, names - metrics.horizontalAdvance(four));
        text = four + " + " + two;
    }
    LabelPresetParts->setText(text);
    LabelPresetParts->setToolTip(Shown(PresetPartsTip(state)));
    QPalette palette = LabelPresetParts->palette();
    palette.setColor(QPalette::WindowText, state.presetChosen
                                               ? PanelPreset->palette().color(QPalette::WindowText)
                                               : PanelPreset->palette().color(QPalette::Link));
    LabelPresetParts->setPalette(palette);
}

// Save and Reset act on the name in the box; with none there they wait.
void TFormMain::UpdatePresetButtons() {
    const bool named = !ComboBoxPreset->currentText().isEmpty();
    const std::string name = named ? PresetNameOf(ComboBoxPreset) : std::string();
    ButtonSavePreset->setEnabled(named);
    ButtonReset->setEnabled(named);
    ButtonSavePreset->setToolTip(Shown(SavePresetTip(name, ComboBoxBank->currentIndex())));
    ButtonReset->setToolTip(Shown(ResetPresetTip(name)));
}

void TFormMain::PollMidiActivity() {
    if (!Link) return;
    const SynthState& state = Link->State();
    const bool wasLit = activity_.Lit();
    const int wasOther = activity_.OtherChannel();
    activity_.Poll(state.received, state.channel, NowMs());
    if (activity_.Lit() != wasLit) MidiLight->setStyleSheet(activity_.Lit() ? kLightOn : kLightOff);
    const int other = activity_.OtherChannel();
    if (other == wasOther) return;
    LabelChannelHint->setVisible(other >= 0);
    if (other < 0) return;
    LabelChannelHint->setText(Shown(ChannelHintText(other)));
    LabelChannelHint->setToolTip(
        QStringLiteral("MIDI messages arrive on channel %1, and channel %2 is played: click to "
                       "play channel %1")
            .arg(other + 1)
            .arg(ComboBoxMidiChannel->currentText()));
}

// The open input stays chosen while it is still listed; once it is gone
// nothing is open.
void TFormMain::ReadMidiInputsAgain() {
    if (!MidiIn) return;
    const QString chosen = ComboBoxMidiIn->currentText();
    MidiIn->ListDevices();
    QStringList devices;
    MidiIn->GetDeviceList(devices);
    QStringList shown;
    for (int i = 0; i < ComboBoxMidiIn->count(); ++i)
        shown << ComboBoxMidiIn->itemText(i);
    if (devices == shown) return;
    const QSignalBlocker quiet(ComboBoxMidiIn);
    ComboBoxMidiIn->clear();
    ComboBoxMidiIn->addItems(devices);
    const int keep = static_cast<int>(devices.indexOf(chosen));
    ComboBoxMidiIn->setCurrentIndex(std::max(keep, 0));
    if (keep < 0 && MidiIn->IsOpen) MidiIn->OpenDevice(0);
}

// Beside the window where the screen has room, or where it hides the
// least of the operator frames.
void TFormMain::PlaceKeyboard() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    const QSize decoration = frameGeometry().size() - geometry().size();
    const QRect frames(PanelSynth->mapToGlobal(QPoint(0, 0)), PanelSynth->size());
    KeyboardForm->move(PlaceBeside(frameGeometry(), frames, KeyboardForm->size() + decoration,
                                   screen->availableGeometry()));
}

// The main window as a view of the core: the core's values shown in the
// controls without running their handlers, and the settings the core reads
// at every note handed to it as the user changes them.
#include "midi/midi.h"
#include "synth/controllermap.h"
#include "synth/corelink.h"
#include "ui/ccform.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/tag.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <algorithm>

namespace {

// How often the window looks for what the core did elsewhere.
constexpr int kPollMs = 10;

// The control takes the value as the program sets it, but runs no handler:
// the core has already done what the handler would.
void Show(QWidget* control, int value) {
    if (ControlValue(control) == value) return;
    const QSignalBlocker quiet(control);
    SetControlValue(control, value);
}

void ShowText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

} // namespace

void TFormMain::ShowCore() {
    if (!Link || !Link->CaughtUp()) return; // the user's edits are on their way
    const SynthState& state = Link->State();
    if (shown_ && *shown_ == state) return;
    ShowOperators(state);
    ShowVoice(state);
    ShowTunings(state);
    ShowPresetPanel(state);
    ShowEditing(state);
    shown_ = state;
}

void TFormMain::ShowOperators(const SynthState& state) {
    if (shown_ && shown_->ops == state.ops) return;
    for (int op = 0; op < kOperatorCount; ++op) {
        TFrameOp& frame = *FrameOps[op];
        for (size_t f = 0; f < kOperatorFieldCount; ++f)
            Show(frame.FieldControl(f), state.ops[op].fields[f]);
        Show(frame.CheckBoxCC, state.ops[op].cc);
    }
}

void TFormMain::ShowVoice(const SynthState& state) {
    QWidget* const voice[kVoiceFieldCount] = {ComboBoxFB, ComboBoxFB2, ComboBoxCNT,
                                              ComboBoxTD, ComboBoxVD,  CheckBoxA,
                                              CheckBoxB,  CheckBoxA2,  CheckBoxB2};
    for (int f = 0; f < kVoiceFieldCount; ++f)
        Show(voice[f], state.voice[f]);
    const int connection = state.voice[static_cast<size_t>(VoiceField::Connection)];
    if (connection != shownPicture_) ShowConnectionPicture(connection);
    shownPicture_ = connection;
    Show(TrackBarVolume, state.volume);
    Show(TrackBarPan, state.pan);
    Show(CheckBoxMute, state.mute);
    Show(CheckBoxChorder, state.chord);
    if (ComboBoxMidiChannel->currentText().toInt() - 1 != state.channel)
        Show(ComboBoxMidiChannel, state.channel);
    ShowText(LabelP, QString::number(state.poly));
}

// A text the core wrote is shown once; what the user types stays.
void TFormMain::ShowTunings(const SynthState& state) {
    QComboBox* const lists[kTuningCount] = {ComboBoxTranspose, ComboBoxTR1, ComboBoxTR2};
    for (int t = 0; t < kTuningCount; ++t) {
        const TuningState& tuning = state.tunings[t];
        if (shown_ && shown_->tunings[t].serial == tuning.serial) continue;
        if (tuning.text == TuningState::Text::Typed) continue;
        const QSignalBlocker quiet(lists[t]);
        if (lists[t]->currentIndex() != tuning.index) lists[t]->setCurrentIndex(tuning.index);
        lists[t]->setEditText(QString::fromStdString(tuning.Shown()));
    }
}

// The selection and the label the core made are shown once: the user's own
// typing and the panel's numbering stay until the core makes new ones.
void TFormMain::ShowPresetPanel(const SynthState& state) {
    if (!shown_) return; // the design's text and label stand
    if (shown_->presetSerial != state.presetSerial) {
        const QSignalBlocker quiet(ComboBoxPreset);
        ComboBoxPreset->setCurrentIndex(state.presetIndex);
        const auto index = static_cast<size_t>(state.presetIndex);
        if (!banks_.empty() && index < banks_.back()->Choices.size() &&
            banks_.back()->Choices[index].Applies())
            lastPreset_ = banks_.back()->Names[index];
    }
    if (shown_->presetLabelSerial != state.presetLabelSerial) {
        if (state.presetLabel == SynthState::kPlainLabel)
            LabelPreset->setText("Preset");
        else
            ShowPresetNumber(state.presetLabel - 1);
    }
    if (!ControllerForm || shown_->controllers == state.controllers) return;
    ValueListEditor& rows = *ControllerForm->ValueListEditorCc;
    for (int row = 0; row < kControllerRowCount; ++row) {
        const QString key = kControllerRows[row].key;
        if (ControllerNumberFromText(rows.Value(key).toStdString()) == state.controllers[row])
            continue;
        const QSignalBlocker quiet(&rows);
        rows.SetValue(key, QString::number(state.controllers[row]));
    }
}

// Settings the core reads at every note: each change is handed over as it
// happens, whoever makes it.
void TFormMain::ConnectCoreSettings() {
    for (int op = 0; op < kOperatorCount; ++op) {
        connect(FrameOps[op]->CheckBoxCC, &QCheckBox::toggled, this, [this, op](bool on) {
            if (Link) Link->Send(command::CcEnabled{op, on});
        });
        // A list set by the program runs no handler but is what a save stores.
        for (size_t f = 0; f < kOperatorFieldCount; ++f)
            if (auto* list = qobject_cast<QComboBox*>(FrameOps[op]->FieldControl(f)))
                connect(list, &QComboBox::currentIndexChanged, this, [this, op, f](int index) {
                    if (Link) Link->Send(command::OperatorField{op, f, index, true});
                });
    }
    const std::pair<QComboBox*, VoiceField> voiceLists[] = {{ComboBoxFB, VoiceField::Feedback},
                                                            {ComboBoxFB2, VoiceField::Feedback2},
                                                            {ComboBoxCNT, VoiceField::Connection},
                                                            {ComboBoxTD, VoiceField::TremoloDepth},
                                                            {ComboBoxVD, VoiceField::VibratoDepth}};
    for (const auto& [list, field] : voiceLists)
        connect(list, &QComboBox::currentIndexChanged, this, [this, field](int index) {
            if (Link) Link->Send(command::Voice{field, index, true});
        });
    connect(CheckBoxChorder, &QCheckBox::toggled, this, [this](bool on) {
        if (Link) Link->Send(command::Chord{on});
    });
    connect(ComboBoxMidiChannel, &QComboBox::currentIndexChanged, this, [this] {
        if (Link) Link->Send(command::Channel{ComboBoxMidiChannel->currentText().toInt() - 1});
    });
    const std::pair<QComboBox*, Tuning> tunings[] = {{ComboBoxTranspose, Tuning::Transpose},
                                                     {ComboBoxTR1, Tuning::Voice1},
                                                     {ComboBoxTR2, Tuning::Voice2}};
    for (const auto& [list, which] : tunings) {
        const auto hand = [this, list, which] {
            if (Link)
                Link->Send(
                    command::TuningEdit{which, TuningFromText(list->currentIndex(),
                                                              list->currentText().toStdString())});
        };
        connect(list, &QComboBox::currentIndexChanged, this, hand);
        connect(list, &QComboBox::editTextChanged, this, hand);
    }
    connect(ComboBoxPreset, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (Link) Link->Send(command::Select{index});
    });
}

// The controller dialog exists later than the rest: its rows are handed
// over from then on.
void TFormMain::ConnectControllerRows() {
    ControllerForm->OnLearn([this](int row) {
        if (!Link) return;
        Link->Send(command::Learn{row});
        ShowCore();
    });
    ValueListEditor* rows = ControllerForm->ValueListEditorCc;
    connect(rows, &QTableWidget::itemChanged, this, [this, rows](QTableWidgetItem* item) {
        if (!Link || item->column() != 1) return;
        const QString key = rows->Key(item->row());
        for (int row = 0; row < kControllerRowCount; ++row)
            if (key == kControllerRows[row].key)
                Link->Send(command::ControllerNumber{
                    row, ControllerNumberFromText(item->text().toStdString())});
    });
}

// Polled: the audio thread can't post without allocating.
bool TFormMain::PlayOnCard(EmulatedCard& card) {
    if (!Link->PlayOn(card)) return false;
    FollowCore(&card);
    return true;
}

void TFormMain::PlayOnThread() {
    Link->PlayOnThread();
    FollowCore(nullptr);
}

void TFormMain::FollowCore(EmulatedCard* card) {
    if (MidiIn) MidiIn->SetReceiver(Link.get());
    pollTimer_ = std::make_unique<QTimer>();
    pollTimer_->setTimerType(Qt::PreciseTimer);
    connect(pollTimer_.get(), &QTimer::timeout, this, [this, card] {
        FreeReturnedBanks();
        if (Link->Refresh()) ShowCore();
        if (card) FollowStream(*card);
    });
    pollTimer_->start(kPollMs);
}

// A stream that died plays nothing: the core comes back here, and MIDI
// input with it, until the stream plays again (its server is back).
void TFormMain::FollowStream(EmulatedCard& card) {
    const bool running = card.OutputRunning();
    if (!running && !playingHere_) {
        playingHere_ = true;
        if (MidiIn) MidiIn->SetReceiver(nullptr);
        Link->PlayHere();
        Link->DrainInlets();
        ShowCore();
    } else if (running && !Link->PlaysElsewhere() && Link->PlayOn(card)) {
        playingHere_ = false;
        if (MidiIn) MidiIn->SetReceiver(Link.get());
    }
}

void TFormMain::FreeReturnedBanks() {
    while (const PresetBank* bank = Link->TakeReturnedBank())
        std::erase_if(banks_, [bank](const auto& held) { return held.get() == bank; });
}

#include "ui/mainform.h"

#include "error.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "ui/clicklabel.h"
#include "ui/opframe.h"
#include "ui/portform.h"
#include "ui/tag.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <algorithm>
#include <new>

namespace {

constexpr int kLevelMax = 31; // output level; the card holds 31 - level
constexpr int kPanRange = 64; // pan -64..63
constexpr int kLabelVolumeClickValue = 25;
constexpr uint16_t kNoCard = 0;
constexpr uint16_t kNoCardEither = 0xFFFF;

const char* const kFrameNumbers[kOperatorCount] = {"1", "4", "7", "10", "13", "16"};
// Operator pairs 1-2, 3-4 and 5-6 stand in three columns.
constexpr int kFrameLeft[3] = {8, 330, 651};
constexpr int kFrameTop[2] = {56, 289};

QFrame* MakePanel(QWidget* parent, const QString& name, int left, int top, int width, int height,
                  int style = QFrame::Panel | QFrame::Raised) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(style);
    panel->setGeometry(left, top, width, height);
    return panel;
}

// Free text plus items; typing never adds an item.
EditableComboBox* MakeEditList(QWidget* parent, const char* name, const QStringList& items,
                               const char* text, int left, int top, int width, int rows) {
    auto* box = new EditableComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    box->setMaxVisibleItems(rows);
    box->setGeometry(left, top, width, 21);
    box->setCurrentIndex(-1);
    box->setEditText(QString::fromUtf8(text));
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int left, int top,
                        int width) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    button->setGeometry(left, top, width, 25);
    return button;
}

QSlider* MakeOutputBar(QWidget* parent, const char* name, int min, int max, int tick, int left,
                       int top) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setRange(min, max);
    bar->setTickPosition(QSlider::TicksAbove);
    bar->setTickInterval(tick);
    bar->setPageStep(tick);
    bar->setGeometry(left, top, 150, 28);
    return bar;
}

int Selected(const QComboBox* box, int count) {
    const int index = box->currentIndex();
    return index >= 0 && index < count ? index : -1;
}

uint8_t Flag(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

// The detection dialog exists only for this question.
uint16_t AskDetectionDialog(QWidget* owner) {
    TFormPort dialog(owner);
    return dialog.Execute();
}

} // namespace

TFormMain::TFormMain(QWidget* owner, PortBaseSource portBaseSource) : MessageWindow(owner) {
    try {
        BuildForm();

        const uint16_t portBase = portBaseSource ? portBaseSource(this) : AskDetectionDialog(this);
        if (portBase == kNoCard || portBase == kNoCardEither) {
            // Nothing touches a port and the window is never shown.
            terminated_ = true;
            if (auto* application = dynamic_cast<Application*>(QCoreApplication::instance()))
                application->Terminate();
            return;
        }

        try {
            Fm801 = std::make_unique<FM801>(portBase);
        } catch (const std::bad_alloc&) {
            throw Error("Couldn't create an fm801 instance");
        }
        ShowCardOutputState();

        // The mini keyboard window is created here.

        for (int op = 0; op < kOperatorCount; ++op)
            OperatorFrames[op] = FrameOps[op];
        BankNames = {"2op", "4op", "6op"};

        // The preset store is created and the preset list filled here.

        LoadPresetByName(ComboBoxPreset->currentText().toStdString());

        // The controller dialog and the MIDI input with its device list come here.
    } catch (...) {
        Release();
        throw;
    }
}

TFormMain::~TFormMain() {
    Release();
}

// Shutdown order: no further MIDI input first, the chip reset last.
void TFormMain::Release() {
    // The MIDI input and the preset store are released here, in that order.
    delete KeyboardForm;
    KeyboardForm = nullptr;
    Fm801.reset(); // resets the chip: no note keeps sounding
}

void TFormMain::BuildForm() {
    setObjectName("FormMain");
    setWindowTitle("Midi Synthesizer - VI 801");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(984, 641);
    setFont(StandardFont());

    PanelMidi = MakePanel(this, "PanelMidi", 1, 2, 178, 103);
    LabelMidiInput = MakeLabel(PanelMidi, "LabelMidiInput", "Midi Input Device", 8, 8);
    ComboBoxMidiIn = MakeList(PanelMidi, "ComboBoxMidiIn", {"No midi input"}, 8, 24, 162, 24);
    LabelChannel = MakeLabel(PanelMidi, "LabelChannel", "Channel", 8, 54);
    QStringList channels;
    for (int c = 1; c <= 16; ++c)
        channels << QString::number(c);
    ComboBoxMidiChannel = MakeList(PanelMidi, "ComboBoxMidiChannel", channels, 8, 70, 60, 16);
    ButtonCc = MakeButton(PanelMidi, "ButtonCc", "CC", 112, 68, 58);

    PanelKbd = MakePanel(this, "PanelKbd", 184, 2, 137, 103);
    LabelTranspose = MakeLabel(PanelKbd, "LabelTranspose", "Tuning (%)", 8, 8);
    ComboBoxTranspose = MakeEditList(PanelKbd, "ComboBoxTranspose", ItemList(kTuningItems),
                                     "0 cents", 8, 24, 121, 24);
    LabelPoly = MakeLabel(PanelKbd, "LabelPoly", "Poly", 8, 54);
    PanelPoly = MakePanel(PanelKbd, "PanelPoly", 8, 70, 21, 21, QFrame::Panel | QFrame::Sunken);
    LabelP = new QLabel("0", PanelPoly);
    LabelP->setObjectName("LabelP");
    LabelP->setAlignment(Qt::AlignCenter);
    LabelP->setGeometry(1, 1, 19, 19);
    Label2 = MakeLabel(PanelKbd, "Label2", "MC", 40, 54);
    CheckBoxChorder = MakeCheck(PanelKbd, "CheckBoxChorder", "", 42, 72, 17, false);
    ButtonKbd = MakeButton(PanelKbd, "ButtonKbd", "Kbd", 72, 68, 57);

    PanelPreset = MakePanel(this, "PanelPreset", 326, 2, 203, 103);
    LabelPreset = MakeLabel(PanelPreset, "LabelPreset", "Preset", 8, 8);
    LabelPreset->setFixedWidth(120);
    ComboBoxPreset = MakeEditList(PanelPreset, "ComboBoxPreset", {}, "Default", 8, 24, 187, 40);
    LabelBank = MakeLabel(PanelPreset, "LabelBank", "Bank", 8, 54);
    ComboBoxBank =
        MakeList(PanelPreset, "ComboBoxBank", {"2op (5 & 6)", "4op (1 to 4)", "6op"}, 8, 70, 87);
    ComboBoxBank->setCurrentIndex(2);
    ButtonSavePreset = MakeButton(PanelPreset, "ButtonSavePreset", "Save", 100, 68, 46);
    ButtonReset = MakeButton(PanelPreset, "ButtonReset", "Reset", 149, 68, 46);

    PanelOutput = MakePanel(this, "PanelOutput", 534, 2, 278, 103);
    LabellOutput = MakeLabel(PanelOutput, "LabellOutput", "Output", 8, 8);
    LabelVolume = MakeLabel<ClickLabel>(PanelOutput, "LabelVolume", "Volume", 8, 36);
    TrackBarVolume = MakeOutputBar(PanelOutput, "TrackBarVolume", 0, kLevelMax, 4, 60, 28);
    CheckBoxMute = MakeCheck(PanelOutput, "CheckBoxMute", "Mute", 218, 34, 52, false);
    LabelPan = MakeLabel<ClickLabel>(PanelOutput, "LabelPan", "Pan", 8, 72);
    LabelL = MakeLabel(PanelOutput, "LabelL", "L", 48, 72);
    TrackBarPan = MakeOutputBar(PanelOutput, "TrackBarPan", -kPanRange, kPanRange - 1, 8, 60, 64);
    LabelR = MakeLabel(PanelOutput, "LabelR", "R", 214, 72);

    PanelCntSchematic = MakePanel(this, "PanelCntSchematic", 817, 2, 164, 103);
    // The caption is wider than the panel at this font: it takes two lines.
    LabelCntSchematic = new QLabel("Control Connection Schematic", PanelCntSchematic);
    LabelCntSchematic->setObjectName("LabelCntSchematic");
    LabelCntSchematic->setGeometry(4, 3, 156, 28);
    LabelCntSchematic->setWordWrap(true);
    LabelCntSchematic->setAlignment(Qt::AlignCenter);
    PanelImage = MakePanel(PanelCntSchematic, "PanelImage", 8, 32, 148, 68, QFrame::NoFrame);
    PanelImage->setAutoFillBackground(true);
    PanelImage->setPalette(QPalette(Qt::white));
    ImageCnt = new JpegImage(PanelImage);
    ImageCnt->setObjectName("ImageCnt");
    ImageCnt->setGeometry(1, 1, 146, 66);

    PanelSynth = MakePanel(this, "PanelSynth", 1, 108, 981, 530);
    // Operators 1-4 on the left, both voices in the middle, operators 5-6 on the right.
    LabelFB = MakeLabel(PanelSynth, "LabelFB", "Feedback Modulation", 8, 8);
    ComboBoxFB = MakeList(PanelSynth, "ComboBoxFB", ItemList(kFeedbackTexts), 8, 24, 117);
    LabelTR1 = MakeLabel(PanelSynth, "LabelTR1", "Tuning (%)", 132, 8);
    ComboBoxTR1 =
        MakeEditList(PanelSynth, "ComboBoxTR1", ItemList(kTuningItems), "0 cents", 132, 24, 80, 33);
    LabelOP1 = MakeLabel(PanelSynth, "LabelOP1", "Output", 219, 8);
    CheckBoxA = MakeCheck(PanelSynth, "CheckBoxA", "L", 219, 26, 34, true);
    CheckBoxB = MakeCheck(PanelSynth, "CheckBoxB", "R", 255, 26, 34, true);
    LabelCNT = MakeLabel(PanelSynth, "LabelCNT", "Control Connection", 298, 8);
    ComboBoxCNT = MakeList(PanelSynth, "ComboBoxCNT", ItemList(kConnectionTexts), 298, 24, 176);
    ComboBoxCNT->setCurrentIndex(6);
    LabelTD = MakeLabel(PanelSynth, "LabelTD", "Tremolo Depth", 481, 8);
    ComboBoxTD = MakeList(PanelSynth, "ComboBoxTD", {"1 dB", "4.8 dB"}, 481, 24, 80, 4);
    LabelVD = MakeLabel(PanelSynth, "LabelVD", "Vibrato Depth", 568, 8);
    ComboBoxVD = MakeList(PanelSynth, "ComboBoxVD", {"7 cents", "14 cents"}, 568, 24, 78);
    LabelFB2 = MakeLabel(PanelSynth, "LabelFB2", "Feedback Modulation", 656, 8);
    ComboBoxFB2 = MakeList(PanelSynth, "ComboBoxFB2", ItemList(kFeedbackTexts), 656, 24, 117, 32);
    LabelTR2 = MakeLabel(PanelSynth, "LabelTR2", "Tuning (%)", 780, 8);
    ComboBoxTR2 =
        MakeEditList(PanelSynth, "ComboBoxTR2", ItemList(kTuningItems), "0 cents", 780, 24, 80, 33);
    LabelOP2 = MakeLabel(PanelSynth, "LabelOP2", "Output", 867, 8);
    CheckBoxA2 = MakeCheck(PanelSynth, "CheckBoxA2", "L", 867, 26, 34, true);
    CheckBoxB2 = MakeCheck(PanelSynth, "CheckBoxB2", "R", 903, 26, 34, true);

    BuildOperatorFrames();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    using Handler = void (TFormMain::*)();
    auto onClick = [this](QCheckBox* box, Handler handler) {
        OnCheckBoxClick(box, [this, handler] { (this->*handler)(); });
    };
    auto onChange = [this](QComboBox* box, Handler handler) {
        OnComboBoxSelect(box, [this, handler] { (this->*handler)(); });
    };
    onClick(CheckBoxA, &TFormMain::CheckBoxAClick);
    onClick(CheckBoxB, &TFormMain::CheckBoxBClick);
    onClick(CheckBoxA2, &TFormMain::CheckBoxA2Click);
    onClick(CheckBoxB2, &TFormMain::CheckBoxB2Click);
    onChange(ComboBoxFB, &TFormMain::ComboBoxFBChange);
    onChange(ComboBoxFB2, &TFormMain::ComboBoxFB2Change);
    onChange(ComboBoxCNT, &TFormMain::ComboBoxCNTChange);
    onChange(ComboBoxTD, &TFormMain::ComboBoxTDChange);
    onChange(ComboBoxVD, &TFormMain::ComboBoxVDChange);
    OnTrackBarChange(TrackBarVolume, [this] { TrackBarVolumeChange(); });
    OnTrackBarChange(TrackBarPan, [this] { TrackBarVolumeChange(); });
    onClick(CheckBoxMute, &TFormMain::CheckBoxMuteClick);
    connect(LabelVolume, &ClickLabel::clicked, this,
            [this] { RunGuarded([this] { LabelVolumeClick(); }); });
    connect(LabelPan, &ClickLabel::clicked, this,
            [this] { RunGuarded([this] { LabelPanClick(); }); });
    OnClick(ButtonKbd, [this] { ButtonKbdClick(); });
    OnClick(ButtonCc, [this] { ButtonCcClick(); });
}

// One loop wires all six frames; the operator index is their Tag.
void TFormMain::BuildOperatorFrames() {
    using Handler = void (TFormMain::*)(QObject*);
    auto onSlider = [this](QSlider* bar, Handler handler) {
        OnTrackBarChange(bar, [this, bar, handler] { (this->*handler)(bar); });
    };
    auto onCheck = [this](QCheckBox* box, Handler handler) {
        OnCheckBoxClick(box, [this, box, handler] { (this->*handler)(box); });
    };
    auto onList = [this](QComboBox* box, Handler handler) {
        OnComboBoxSelect(box, [this, box, handler] { (this->*handler)(box); });
    };
    auto onItem = [this](QAction* item, Handler handler) {
        connect(item, &QAction::triggered, this,
                [this, item, handler] { RunGuarded([=, this] { (this->*handler)(item); }); });
    };

    for (int op = 0; op < kOperatorCount; ++op) {
        const QString number = kFrameNumbers[op];
        QFrame* panel = MakePanel(PanelSynth, "PanelOp" + number, kFrameLeft[op / 2],
                                  kFrameTop[op % 2], 321, 233);
        auto* frame = new TFrameOp(panel);
        frame->setObjectName("FrameOp" + number);
        frame->setGeometry(panel->rect());
        frame->SetTag(op);
        frame->LabelOp->setText(QString::number(op + 1));
        frame->LabelOp->adjustSize();
        if (op < 4) frame->TrackBarVolume->setPageStep(4);

        QAction* copy = new QAction("Copy", frame->PopupMenu);
        copy->setObjectName(QString("Copy%1").arg(op + 1));
        QAction* paste = new QAction("Paste", frame->PopupMenu);
        paste->setObjectName(QString("Paste%1").arg(op + 1));
        paste->setEnabled(false);
        SetTag(copy, op);
        SetTag(paste, op);
        frame->PopupMenu->insertAction(frame->MenuItemBreak, copy);
        frame->PopupMenu->insertAction(frame->MenuItemBreak, paste);

        onList(frame->ComboBoxWS, &TFormMain::FrameOp1ComboBoxWSChange);
        onCheck(frame->CheckBoxTremolo, &TFormMain::FrameOp1CheckBoxTremoloClick);
        onCheck(frame->CheckBoxVibrato, &TFormMain::FrameOp1CheckBoxVibratoClick);
        onCheck(frame->CheckBoxRateScaling, &TFormMain::FrameOp1CheckBoxRateScalingClick);
        onList(frame->ComboBoxLevelScaling, &TFormMain::FrameOp1ComboBoxLevelScalingChange);
        onList(frame->ComboBoxFreqMultiplier, &TFormMain::FrameOp1ComboBoxFreqMultiplierChange);
        onSlider(frame->TrackBarAttack, &TFormMain::FrameOp1TrackBarAttackChange);
        onSlider(frame->TrackBarDecay, &TFormMain::FrameOp1TrackBarDecayChange);
        onSlider(frame->TrackBarSustain, &TFormMain::FrameOp1TrackBarSustainChange);
        onSlider(frame->TrackBarRelease, &TFormMain::FrameOp1TrackBarReleaseChange);
        onCheck(frame->CheckBoxHold, &TFormMain::FrameOp1CheckBoxHoldClick);
        onSlider(frame->TrackBarVolume, &TFormMain::FrameOp1TrackBarVolumeChange);
        onItem(copy, &TFormMain::Copy1Click);
        onItem(paste, &TFormMain::Paste1Click);
        connect(frame, &TFrameOp::Cleared, this,
                [this, op] { RunGuarded([this, op] { SendListSelections(op); }); });

        PanelOps[op] = panel;
        FrameOps[op] = frame;
        CopyItems[op] = copy;
        PasteItems[op] = paste;
    }
}

// The louder side gives the volume; the pan says how much quieter the other is.
void TFormMain::ShowCardOutputState() {
    bool muted = false;
    uint8_t left = 0, right = 0;
    Fm801->GetAttenuation(muted, left, right);
    const int levelL = kLevelMax - left;
    const int levelR = kLevelMax - right;
    int volume = levelL;
    int pan = 0;
    if (levelL > levelR)
        pan = -static_cast<int>(kPanRange - static_cast<double>(levelR) / levelL * kPanRange);
    else if (levelR > levelL) {
        volume = levelR;
        pan = static_cast<int>(kPanRange - static_cast<double>(levelL) / levelR * kPanRange);
    }
    TrackBarVolume->setValue(volume);
    TrackBarPan->setValue(pan);
    CheckBoxMute->setChecked(muted);
}

// A missing or broken picture never stops a load or a connection change
// halfway: its file name stands in its place.
void TFormMain::ShowConnectionPicture(int index) {
    const std::string path = ConnectionPicturePath(index);
    try {
        ImageCnt->Load(path);
    } catch (const Error&) {
        ImageCnt->setText(QString::fromStdString(path));
    }
}

void TFormMain::SendListSelections(int op) {
    const TFrameOp* frame = OperatorFrames[op];
    OPL3* opl3 = Fm801->Opl3;
    opl3->SetWaveform(op, static_cast<uint8_t>(frame->ComboBoxWS->currentIndex()));
    opl3->SetLevelScaling(op, static_cast<uint8_t>(frame->ComboBoxLevelScaling->currentIndex()));
    opl3->SetFreqMultiplier(op,
                            static_cast<uint8_t>(frame->ComboBoxFreqMultiplier->currentIndex()));
}

// --- operator frames ---

void TFormMain::FrameOp1ComboBoxWSChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetWaveform(op, static_cast<uint8_t>(FrameOps[op]->ComboBoxWS->currentIndex()));
}

void TFormMain::FrameOp1CheckBoxTremoloClick(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetTremolo(op, Flag(FrameOps[op]->CheckBoxTremolo));
}

void TFormMain::FrameOp1CheckBoxVibratoClick(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetVibrato(op, Flag(FrameOps[op]->CheckBoxVibrato));
}

void TFormMain::FrameOp1CheckBoxRateScalingClick(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetRateScaling(op, Flag(FrameOps[op]->CheckBoxRateScaling));
}

void TFormMain::FrameOp1ComboBoxLevelScalingChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetLevelScaling(
        op, static_cast<uint8_t>(FrameOps[op]->ComboBoxLevelScaling->currentIndex()));
}

void TFormMain::FrameOp1ComboBoxFreqMultiplierChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetFreqMultiplier(
        op, static_cast<uint8_t>(FrameOps[op]->ComboBoxFreqMultiplier->currentIndex()));
}

void TFormMain::FrameOp1TrackBarAttackChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetAttack(op, static_cast<uint8_t>(FrameOps[op]->TrackBarAttack->value()));
}

void TFormMain::FrameOp1TrackBarDecayChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetDecay(op, static_cast<uint8_t>(FrameOps[op]->TrackBarDecay->value()));
}

void TFormMain::FrameOp1TrackBarSustainChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetSustain(op, static_cast<uint8_t>(FrameOps[op]->TrackBarSustain->value()));
}

void TFormMain::FrameOp1TrackBarReleaseChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetRelease(op, static_cast<uint8_t>(FrameOps[op]->TrackBarRelease->value()));
}

void TFormMain::FrameOp1CheckBoxHoldClick(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetHold(op, Flag(FrameOps[op]->CheckBoxHold));
}

void TFormMain::FrameOp1TrackBarVolumeChange(QObject* sender) {
    const int op = TagOf(sender);
    Fm801->Opl3->SetLevel(op, static_cast<uint8_t>(FrameOps[op]->TrackBarVolume->value()));
}

void TFormMain::Copy1Click(QObject* sender) {
    FrameOps[TagOf(sender)]->SaveToPatch(CopyBuffer);
    EnablePaste();
}

// The check boxes and bars that change program the chip through their
// handlers; the three lists run none, so they are sent here.
void TFormMain::Paste1Click(QObject* sender) {
    const int op = TagOf(sender);
    FrameOps[op]->LoadFromPatch(CopyBuffer);
    SendListSelections(op);
}

void TFormMain::EnablePaste() {
    for (QAction* paste : PasteItems)
        paste->setEnabled(true);
}

// --- voice-wide controls ---

void TFormMain::CheckBoxAClick() {
    Fm801->Opl3->SetOutputA(Flag(CheckBoxA));
}
void TFormMain::CheckBoxBClick() {
    Fm801->Opl3->SetOutputB(Flag(CheckBoxB));
}
void TFormMain::CheckBoxA2Click() {
    Fm801->Opl3->SetOutputA2(Flag(CheckBoxA2));
}
void TFormMain::CheckBoxB2Click() {
    Fm801->Opl3->SetOutputB2(Flag(CheckBoxB2));
}

void TFormMain::ComboBoxFBChange() {
    Fm801->Opl3->SetFeedback(static_cast<uint8_t>(ComboBoxFB->currentIndex()));
}

void TFormMain::ComboBoxFB2Change() {
    Fm801->Opl3->SetFeedback2(static_cast<uint8_t>(ComboBoxFB2->currentIndex()));
}

void TFormMain::ComboBoxCNTChange() {
    const int index = ComboBoxCNT->currentIndex();
    Fm801->Opl3->SetConnection(static_cast<uint8_t>(index));
    ShowConnectionPicture(index);
}

void TFormMain::ComboBoxTDChange() {
    Fm801->Opl3->SetTremoloDepth(static_cast<uint8_t>(ComboBoxTD->currentIndex()));
}

void TFormMain::ComboBoxVDChange() {
    Fm801->Opl3->SetVibratoDepth(static_cast<uint8_t>(ComboBoxVD->currentIndex()));
}

// --- output panel and windows ---

// The pan lowers only the side away from the pan direction, by p/64 of the volume.
void TFormMain::TrackBarVolumeChange() {
    const int v = TrackBarVolume->value();
    const int p = TrackBarPan->value();
    const int a = static_cast<int>(v * p * 0.015625 + 0.25);
    const int left = p > 0 ? v - a : v;
    const int right = p < 0 ? v + a : v;
    Fm801->SetAttenuation(static_cast<uint8_t>(kLevelMax - left),
                          static_cast<uint8_t>(kLevelMax - right));
}

void TFormMain::CheckBoxMuteClick() {
    if (CheckBoxMute->isChecked())
        Fm801->Mute();
    else
        Fm801->Unmute();
}

void TFormMain::LabelVolumeClick() {
    TrackBarVolume->setValue(kLabelVolumeClickValue);
}
void TFormMain::LabelPanClick() {
    TrackBarPan->setValue(0);
}

void TFormMain::ButtonKbdClick() {
    if (KeyboardForm) KeyboardForm->show();
}

void TFormMain::ButtonCcClick() {
    if (ControllerForm) ControllerForm->show();
}

// --- patch transfer ---

std::unique_ptr<SynthPatch> TFormMain::GetSynthPatch() const {
    auto patch = std::make_unique<SynthPatch>();
    for (int op = 0; op < kOperatorCount; ++op)
        OperatorFrames[op]->SaveToPatch(patch->Ops[op]);

    const uint8_t outputs4 =
        (CheckBoxA->isChecked() ? reg::kOutA : 0) | (CheckBoxB->isChecked() ? reg::kOutB : 0);
    patch->RegC0Ops12 = outputs4;
    patch->RegC0Ops34 = outputs4;
    patch->RegC0Ops56 =
        (CheckBoxA2->isChecked() ? reg::kOutA : 0) | (CheckBoxB2->isChecked() ? reg::kOutB : 0);

    // No selection leaves the feedback, or all three connection bits, at 0.
    if (const int fb = Selected(ComboBoxFB, kFeedbackCount); fb >= 0)
        patch->RegC0Ops12 |= static_cast<uint8_t>(fb << reg::kFbShift);
    if (const int fb = Selected(ComboBoxFB2, kFeedbackCount); fb >= 0)
        patch->RegC0Ops56 |= static_cast<uint8_t>(fb << reg::kFbShift);
    if (const int cnt = Selected(ComboBoxCNT, kConnectionCount); cnt >= 0)
        SetConnectionBits(*patch, cnt);
    return patch;
}

// Selections set here run no handler: the caller's SetPatch programs them.
void TFormMain::SetSynthPatch(const SynthPatch& patch) {
    for (int op = 0; op < kOperatorCount; ++op)
        OperatorFrames[op]->LoadFromPatch(patch.Ops[op]);
    const int index = ConnectionIndex(patch);
    ComboBoxCNT->setCurrentIndex(index);
    ShowConnectionPicture(index);
    ComboBoxFB->setCurrentIndex((patch.RegC0Ops12 & reg::kFbMask) >> reg::kFbShift);
    ComboBoxFB2->setCurrentIndex((patch.RegC0Ops56 & reg::kFbMask) >> reg::kFbShift);
}

void TFormMain::FreeSynthPatch(std::unique_ptr<SynthPatch>& patch) {
    patch.reset();
}

std::unique_ptr<PatchSettings> TFormMain::GetPatchSettings() const {
    auto settings = std::make_unique<PatchSettings>();
    auto cents = [](const QComboBox* box) {
        return CentsToField(ParseCents(box->currentText().toStdString()));
    };
    settings->Transpose = cents(ComboBoxTranspose);
    settings->Tuning1 = cents(ComboBoxTR1);
    settings->Tuning2 = cents(ComboBoxTR2);
    settings->Outputs =
        (CheckBoxA->isChecked() ? outputs::kA : 0) | (CheckBoxB->isChecked() ? outputs::kB : 0) |
        (CheckBoxA2->isChecked() ? outputs::kA2 : 0) | (CheckBoxB2->isChecked() ? outputs::kB2 : 0);
    const int td = std::max(ComboBoxTD->currentIndex(), 0);
    const int vd = std::max(ComboBoxVD->currentIndex(), 0);
    settings->LfoDepth = static_cast<uint8_t>(td + 2 * vd);
    settings->Volume = static_cast<uint8_t>(TrackBarVolume->value());
    settings->Pan = static_cast<int8_t>(TrackBarPan->value());
    for (int op = 0; op < kOperatorCount; ++op)
        if (OperatorFrames[op]->IsCcEnabled()) settings->CcMask |= static_cast<uint8_t>(1 << op);
    return settings;
}

// Check boxes and bars that change run their handlers: the output bits and
// the card's volume and pan follow at once.
void TFormMain::SetPatchSettings(const PatchSettings& settings) {
    ComboBoxTranspose->setEditText(QString::fromStdString(FormatCents(settings.Transpose)));
    ComboBoxTR1->setEditText(QString::fromStdString(FormatCents(settings.Tuning1)));
    ComboBoxTR2->setEditText(QString::fromStdString(FormatCents(settings.Tuning2)));
    CheckBoxA->setChecked(settings.Outputs & outputs::kA);
    CheckBoxB->setChecked(settings.Outputs & outputs::kB);
    CheckBoxA2->setChecked(settings.Outputs & outputs::kA2);
    CheckBoxB2->setChecked(settings.Outputs & outputs::kB2);
    ComboBoxTD->setCurrentIndex(settings.LfoDepth & lfo::kTremoloDeep ? 1 : 0);
    ComboBoxVD->setCurrentIndex(settings.LfoDepth & lfo::kVibratoDeep ? 1 : 0);
    TrackBarVolume->setValue(settings.Volume);
    TrackBarPan->setValue(settings.Pan);
    for (int op = 0; op < kOperatorCount; ++op)
        OperatorFrames[op]->SetCcEnabled(settings.CcMask & (1 << op));
}

// Every operator becomes 01 3F FF FF 00: silent until a volume is raised.
void TFormMain::LoadDefaultPatch() {
    for (TFrameOp* frame : OperatorFrames)
        frame->SetDefaults();
    auto patch = GetSynthPatch();
    auto settings = GetPatchSettings();
    SetSynthPatch(*patch);
    SetPatchSettings(*settings);
    Fm801->Opl3->SetPatch(*patch, *settings);
    FreeSynthPatch(patch);
}

void TFormMain::LoadPresetByName(const std::string& name) {
    LabelPreset->setText("Preset");
    if (name == "Default") LoadDefaultPatch();
    // Presets from the bank files are applied here.
}

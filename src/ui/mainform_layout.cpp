// The main window's layout: its panels, the six operator frames and the
// wiring of every control to its handler.
#include "synth/corelink.h"
#include "ui/clicklabel.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
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

namespace {

const char* const kFrameNumbers[kOperatorCount] = {"1", "4", "7", "10", "13", "16"};
// Operator pairs 1-2, 3-4 and 5-6 stand in three columns.
constexpr int kFrameLeft[3] = {8, 330, 651};
constexpr int kFrameTop[2] = {56, 289};

} // namespace

void TFormMain::BuildForm() {
    setObjectName("FormMain");
    setWindowTitle("Midi Synthesizer - VI 801");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(984, 641);
    setFont(StandardFont());

    BuildPanelMidi();
    BuildPanelKbd();
    BuildPanelPreset();
    BuildBrowserButton();
    BuildPanelOutput();
    BuildPanelCntSchematic();
    BuildPanelSynth();
    BuildOperatorFrames();
    BuildPlayMenu();
    BuildEditMenu();
    BuildHints();
    NameControls();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    ConnectHandlers();
}

void TFormMain::BuildPanelMidi() {
    PanelMidi = MakePanel(this, "PanelMidi", 1, 2, 178, 103);
    LabelMidiInput = MakeLabel(PanelMidi, "LabelMidiInput", "Midi Input Device", 8, 8);
    ComboBoxMidiIn =
        MakeList<FreshList>(PanelMidi, "ComboBoxMidiIn", {"No midi input"}, 8, 24, 162, 24);
    LabelChannel = MakeLabel(PanelMidi, "LabelChannel", "Channel", 8, 54);
    QStringList channels;
    for (int c = 1; c <= 16; ++c)
        channels << QString::number(c);
    ComboBoxMidiChannel = MakeList(PanelMidi, "ComboBoxMidiChannel", channels, 8, 70, 60, 16);
    ButtonCc = MakeButton(PanelMidi, "ButtonCc", "CC", 112, 68, 58);
}

void TFormMain::BuildPanelKbd() {
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
}

void TFormMain::BuildPanelPreset() {
    PanelPreset = MakePanel(this, "PanelPreset", 326, 2, 203, 103);
    LabelPreset = MakeLabel(PanelPreset, "LabelPreset", "Preset", 8, 8);
    LabelPreset->setFixedWidth(120);
    ComboBoxPreset =
        MakeEditList(PanelPreset, "ComboBoxPreset", {}, kDefaultPresetName, 8, 24, 187, 40);
    LabelBank = MakeLabel(PanelPreset, "LabelBank", "Bank", 8, 54);
    // Wide enough for "4op (1 to 4)" at this font; the buttons give way.
    ComboBoxBank = MakeList(PanelPreset, "ComboBoxBank", ItemList(kBankTexts), 8, 70, 95);
    ComboBoxBank->setCurrentIndex(2);
    ButtonSavePreset = MakeButton(PanelPreset, "ButtonSavePreset", "Save", 105, 68, 44);
    ButtonReset = MakeButton(PanelPreset, "ButtonReset", "Reset", 151, 68, 44);
}

void TFormMain::BuildPanelOutput() {
    PanelOutput = MakePanel(this, "PanelOutput", 534, 2, 278, 103);
    LabellOutput = MakeLabel(PanelOutput, "LabellOutput", "Output", 8, 8);
    LabelVolume = MakeLabel<ClickLabel>(PanelOutput, "LabelVolume", "Volume", 8, 36);
    TrackBarVolume =
        MakeTrackBar(PanelOutput, "TrackBarVolume", 0, kOutputLevelMax, 4, {60, 28, 150, 28});
    CheckBoxMute = MakeCheck(PanelOutput, "CheckBoxMute", "Mute", 218, 34, 52, false);
    LabelPan = MakeLabel<ClickLabel>(PanelOutput, "LabelPan", "Pan", 8, 72);
    LabelL = MakeLabel(PanelOutput, "LabelL", "L", 48, 72);
    TrackBarPan = MakeTrackBar(PanelOutput, "TrackBarPan", kPanMin, kPanMax, 8, {60, 64, 150, 28});
    LabelR = MakeLabel(PanelOutput, "LabelR", "R", 214, 72);
}

void TFormMain::BuildPanelCntSchematic() {
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
}

// Operators 1-4 on the left, both voices in the middle, operators 5-6 on the right.
void TFormMain::BuildPanelSynth() {
    QWidget* p = PanelSynth = MakePanel(this, "PanelSynth", 1, 108, 981, 530);
    const QStringList tunings = ItemList(kTuningItems), feedbacks = ItemList(kFeedbackTexts);
    LabelFB = MakeLabel(p, "LabelFB", "Feedback Modulation", 8, 8);
    ComboBoxFB = MakeList(p, "ComboBoxFB", feedbacks, 8, 24, 117);
    LabelTR1 = MakeLabel(p, "LabelTR1", "Tuning (%)", 132, 8);
    ComboBoxTR1 = MakeEditList(p, "ComboBoxTR1", tunings, "0 cents", 132, 24, 80, 33);
    LabelOP1 = MakeLabel(p, "LabelOP1", "Output", 219, 8);
    CheckBoxA = MakeCheck(p, "CheckBoxA", "L", 219, 26, 34, true);
    CheckBoxB = MakeCheck(p, "CheckBoxB", "R", 255, 26, 34, true);
    LabelCNT = MakeLabel(p, "LabelCNT", "Control Connection", 298, 8);
    ComboBoxCNT = MakeList(p, "ComboBoxCNT", ItemList(kConnectionTexts), 298, 24, 176);
    ComboBoxCNT->setCurrentIndex(6);
    LabelTD = MakeLabel(p, "LabelTD", "Tremolo Depth", 481, 8);
    ComboBoxTD = MakeList(p, "ComboBoxTD", ItemList(kTremoloDepthTexts), 481, 24, 80, 4);
    LabelVD = MakeLabel(p, "LabelVD", "Vibrato Depth", 568, 8);
    ComboBoxVD = MakeList(p, "ComboBoxVD", ItemList(kVibratoDepthTexts), 568, 24, 78);
    LabelFB2 = MakeLabel(p, "LabelFB2", "Feedback Modulation", 656, 8);
    ComboBoxFB2 = MakeList(p, "ComboBoxFB2", feedbacks, 656, 24, 117, 32);
    LabelTR2 = MakeLabel(p, "LabelTR2", "Tuning (%)", 780, 8);
    ComboBoxTR2 = MakeEditList(p, "ComboBoxTR2", tunings, "0 cents", 780, 24, 80, 33);
    LabelOP2 = MakeLabel(p, "LabelOP2", "Output", 867, 8);
    CheckBoxA2 = MakeCheck(p, "CheckBoxA2", "L", 867, 26, 34, true);
    CheckBoxB2 = MakeCheck(p, "CheckBoxB2", "R", 903, 26, 34, true);
}

void TFormMain::BuildOperatorFrames() {
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
        PanelOps[op] = panel;
        FrameOps[op] = frame;
        AddCopyPaste(op, frame);
    }
}

// "Copy" and "Paste" head the frame's own menu; Paste waits for a Copy.
void TFormMain::AddCopyPaste(int op, TFrameOp* frame) {
    QAction* copy = new QAction("Copy", frame->PopupMenu);
    copy->setObjectName(QString("Copy%1").arg(op + 1));
    QAction* paste = new QAction("Paste", frame->PopupMenu);
    paste->setObjectName(QString("Paste%1").arg(op + 1));
    paste->setEnabled(false);
    SetTag(copy, op);
    SetTag(paste, op);
    frame->PopupMenu->insertAction(frame->MenuItemBreak, copy);
    frame->PopupMenu->insertAction(frame->MenuItemBreak, paste);
    CopyItems[op] = copy;
    PasteItems[op] = paste;
}

void TFormMain::ConnectHandlers() {
    using Handler = void (TFormMain::*)();
    // clang-format off
    const std::pair<QWidget*, Handler> handlers[] = {
        {CheckBoxA, &TFormMain::CheckBoxAClick}, {CheckBoxB, &TFormMain::CheckBoxBClick},
        {CheckBoxA2, &TFormMain::CheckBoxA2Click}, {CheckBoxB2, &TFormMain::CheckBoxB2Click},
        {ComboBoxFB, &TFormMain::ComboBoxFBChange}, {ComboBoxFB2, &TFormMain::ComboBoxFB2Change},
        {ComboBoxCNT, &TFormMain::ComboBoxCNTChange}, {ComboBoxTD, &TFormMain::ComboBoxTDChange},
        {ComboBoxVD, &TFormMain::ComboBoxVDChange}, {CheckBoxMute, &TFormMain::CheckBoxMuteClick},
        {TrackBarVolume, &TFormMain::TrackBarVolumeChange},
        {TrackBarPan, &TFormMain::TrackBarVolumeChange}};
    // clang-format on
    for (const auto& [control, handler] : handlers)
        OnControlChange(control, [this, handler] { (this->*handler)(); });
    connect(LabelVolume, &ClickLabel::clicked, this,
            [this] { RunGuarded([this] { LabelVolumeClick(); }); });
    connect(LabelPan, &ClickLabel::clicked, this,
            [this] { RunGuarded([this] { LabelPanClick(); }); });
    OnComboBoxSelect(ComboBoxBank, [this] { ComboBoxBankChange(); });
    OnComboBoxSelect(ComboBoxPreset, [this] { ComboBoxPresetSelect(); });
    ComboBoxPreset->OnKeyUp([this](int key) { ComboBoxPresetKeyUp(key); });
    OnClick(ButtonSavePreset, [this] { ButtonSavePresetClick(); });
    OnClick(ButtonReset, [this] { ButtonResetClick(); });
    OnClick(ButtonKbd, [this] { ButtonKbdClick(); });
    OnClick(ButtonCc, [this] { ButtonCcClick(); });
    OnComboBoxSelect(ComboBoxMidiIn, [this] { ComboBoxMidiInChange(); });
    for (int op = 0; op < kOperatorCount; ++op)
        ConnectOperatorFrame(op);
    ConnectCoreSettings();
    ConnectEditing();
}

// One loop over the operator fields wires a frame; its Tag is the operator.
void TFormMain::ConnectOperatorFrame(int op) {
    TFrameOp* frame = FrameOps[op];
    for (size_t field = 0; field < kOperatorFields.size(); ++field) {
        QWidget* control = frame->FieldControl(field);
        OnControlChange(control, [this, field, control] { FrameOpFieldChange(field, control); });
    }
    auto onItem = [this](QAction* item, void (TFormMain::*handler)(QObject*)) {
        connect(item, &QAction::triggered, this,
                [this, item, handler] { RunGuarded([=, this] { (this->*handler)(item); }); });
    };
    onItem(CopyItems[op], &TFormMain::Copy1Click);
    onItem(PasteItems[op], &TFormMain::Paste1Click);
    connect(frame, &TFrameOp::Cleared, this, [this, op] {
        RunGuarded([this, op] {
            Link->Send(command::Clear{op});
            ShowCore();
        });
    });
}

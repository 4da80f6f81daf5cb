#include "ui/mainform.h"

#include "error.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "midi/midi.h"
#include "presets/sbi.h"
#include "ui/ccform.h"
#include "ui/clicklabel.h"
#include "ui/kbdform.h"
#include "ui/opframe.h"
#include "ui/portform.h"
#include "ui/tag.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <new>

namespace {

constexpr int kLevelMax = 31; // output level; the card holds 31 - level
constexpr int kPanRange = 64; // pan -64..63
constexpr int kLabelVolumeClickValue = 25;
constexpr uint16_t kNoCard = 0;
constexpr uint16_t kNoCardEither = 0xFFFF;

// The detection dialog exists only for this question.
uint16_t AskDetectionDialog(QWidget* owner) {
    TFormPort dialog(owner);
    return dialog.Execute();
}

} // namespace

TFormMain::TFormMain(QWidget* owner, PortBaseSource portBaseSource,
                     std::filesystem::path presetRoot)
    : MessageWindow(owner) {
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

        KeyboardForm = new TFormKBD(this);

        for (int op = 0; op < kOperatorCount; ++op)
            OperatorFrames[op] = FrameOps[op];
        BankNames = {"2op", "4op", "6op"};

        try {
            PresetStore = std::make_unique<SBI>(std::move(presetRoot));
        } catch (const std::bad_alloc&) {
            throw Error("Couldn't create an sbi instance");
        }
        FillPresetList();
        LoadPresetByName(ComboBoxPreset->currentText().toStdString());

        ControllerForm = new TFormCc(this);
        try {
            MidiIn = std::make_unique<Midi>(this);
        } catch (const std::exception&) {
            throw Error("Couldn't create a midi in instance");
        }
        // Selecting the first entry opens nothing: only the user's choice does.
        QStringList devices;
        if (MidiIn->GetDeviceList(devices) != 0) {
            ComboBoxMidiIn->clear();
            ComboBoxMidiIn->addItems(devices);
            ComboBoxMidiIn->setCurrentIndex(0);
        }
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
    MidiIn.reset();
    PresetStore.reset();
    delete KeyboardForm;
    KeyboardForm = nullptr;
    Fm801.reset(); // resets the chip: no note keeps sounding
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

// From the top of the frame down, as they were always sent.
void TFormMain::SendListSelections(int op) {
    for (QComboBox* list : OperatorFrames[op]->findChildren<QComboBox*>())
        OnField(list->objectName().toStdString(), list);
}

// --- operator frames ---

void TFormMain::FrameOpFieldChange(size_t field, QObject* sender) {
    const int op = TagOf(sender);
    const auto value = static_cast<uint8_t>(FrameOps[op]->FieldValue(field));
    (Fm801->Opl3.get()->*kOperatorFields[field].setter)(op, value);
}

void TFormMain::OnField(std::string_view control, QObject* sender) {
    FrameOpFieldChange(OperatorFieldIndex(control), sender);
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

void TFormMain::Send(void (OPL3::*setter)(uint8_t), const QWidget* control) {
    (Fm801->Opl3.get()->*setter)(static_cast<uint8_t>(ControlValue(control)));
}

void TFormMain::ComboBoxCNTChange() {
    const int index = ComboBoxCNT->currentIndex();
    Fm801->Opl3->SetConnection(static_cast<uint8_t>(index));
    ShowConnectionPicture(index);
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

namespace {
// A window shown again comes to the front, and takes the keys.
void ShowModeless(QWidget* window) {
    if (!window) return;
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

void TFormMain::ButtonKbdClick() {
    ShowModeless(KeyboardForm);
}

void TFormMain::ButtonCcClick() {
    ShowModeless(ControllerForm);
}

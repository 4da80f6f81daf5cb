#include "ui/mainform.h"

#include "error.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "midi/midi.h"
#include "presets/sbi.h"
#include "synth/corelink.h"
#include "synth/synthcore.h"
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
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <new>

namespace {

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
            Core = std::make_unique<SynthCore>(portBase);
        } catch (const std::bad_alloc&) {
            throw Error("Couldn't create an fm801 instance");
        }
        Fm801 = &Core->Card();
        Core->ShowCardOutputState();
        Link = std::make_unique<CoreLink>(*Core);
        ShowCore();

        KeyboardForm = new TFormKBD(this);

        for (int op = 0; op < kOperatorCount; ++op)
            OperatorFrames[op] = FrameOps[op];
        BankNames.assign(kBankNames.begin(), kBankNames.end());

        try {
            PresetStore = std::make_unique<SBI>(std::move(presetRoot));
        } catch (const std::bad_alloc&) {
            throw Error("Couldn't create an sbi instance");
        }
        FillPresetList();
        LoadPresetByName(ComboBoxPreset->currentText().toStdString());

        ControllerForm = new TFormCc(this);
        ConnectControllerRows();
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
        ForgetHistory(); // the start is not a step of the patch
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
    if (MidiIn) MidiIn->SetReceiver(nullptr);
    MidiIn.reset();
    PresetStore.reset();
    delete KeyboardForm;
    KeyboardForm = nullptr;
    pollTimer_.reset();
    Link.reset(); // the core comes back to this thread
    Fm801 = nullptr;
    Core.reset(); // resets the chip: no note keeps sounding
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

// --- operator frames ---

void TFormMain::FrameOpFieldChange(size_t field, QObject* sender) {
    if (!Link) return;
    const int op = TagOf(sender);
    Link->Send(command::OperatorField{op, field, FrameOps[op]->FieldValue(field), false});
    ShowCore();
}

void TFormMain::OnField(std::string_view control, QObject* sender) {
    FrameOpFieldChange(OperatorFieldIndex(control), sender);
}

void TFormMain::Copy1Click(QObject* sender) {
    Link->Sync();
    CopyBuffer = OperatorImage(Link->State().ops[TagOf(sender)].fields);
    EnablePaste();
}

// The buffer holds the five register images only: the CC switch stays.
void TFormMain::Paste1Click(QObject* sender) {
    Link->Send(command::Paste{TagOf(sender), CopyBuffer});
    ShowCore();
}

void TFormMain::EnablePaste() {
    for (QAction* paste : PasteItems)
        paste->setEnabled(true);
}

// --- voice-wide controls ---

void TFormMain::Send(VoiceField field, const QWidget* control) {
    if (!Link) return;
    Link->Send(command::Voice{field, ControlValue(control), false});
    ShowCore();
}

// --- output panel and windows ---

void TFormMain::TrackBarVolumeChange() {
    if (!Link) return;
    Link->Send(command::VolumePan{TrackBarVolume->value(), TrackBarPan->value()});
    ShowCore();
}

void TFormMain::CheckBoxMuteClick() {
    if (!Link) return;
    Link->Send(command::Mute{CheckBoxMute->isChecked()});
    ShowCore();
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

// The sound browser seen from the main window: the button and shortcut
// that show it, and what choosing an instrument does. An instrument
// reaches the core as its preset file, so it is one preset load like any
// other, and the preset text takes its name for Save.
#include "midi/shortmessage.h"
#include "presets/formats/bankimport.h"
#include "synth/corelink.h"
#include "ui/browserform.h"
#include "ui/mainform.h"
#include "ui/toolkit.h"

#include <QComboBox>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>

namespace {

// The source of the preview's notes: not the mini keyboard's, so they play
// on the channel chosen in the window.
constexpr uint32_t kBrowserSource = 0xB0B0;
constexpr uint8_t kNoteOff = 0x80, kNoteOn = 0x90;
constexpr uint8_t kPreviewVelocity = 127;

} // namespace

// In the free corner right of the "Bank" label: no described control moves.
void TFormMain::BuildBrowserButton() {
    ButtonBrowse = MakeButton(PanelPreset, "ButtonBrowse", "Browse...", 131, 49, 64);
    ButtonBrowse->setFixedHeight(20);
    ButtonBrowse->setToolTip("Sound browser: instruments of your bank files (Ctrl+L)");
    OnClick(ButtonBrowse, [this] { ButtonBrowseClick(); });
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(shortcut, &QShortcut::activated, this,
            [this] { RunGuarded([this] { ButtonBrowseClick(); }); });
}

void TFormMain::ButtonBrowseClick() {
    if (!BrowserForm)
        BrowserForm = new TFormBrowser(this, LibraryFolder,
                                       {[this](const BankInstrument& i) { ChooseInstrument(i); },
                                        [this](uint8_t note, bool on) { PlayPreview(note, on); }});
    BrowserForm->show();
    BrowserForm->raise();
    BrowserForm->activateWindow();
}

// The text names no item of the list, so the label numbers none: it says
// "Preset", as while a typed name matches no item. Shown once the core has
// loaded it, so the load's own label doesn't come after.
void TFormMain::ChooseInstrument(const BankInstrument& instrument) {
    if (!Link) return;
    const std::string name = PresetNameFor("", instrument);
    ComboBoxPreset->setCurrentIndex(-1);
    ComboBoxPreset->setEditText(QString::fromStdString(name));
    PresetChoice choice = PresetChoice::FromBytes(InstrumentPresetFile(instrument, name));
    choice.name = PresetName::Of(name);
    Link->Send(command::Preset{choice});
    Link->Sync();
    ShowCore();
    LabelPreset->setText("Preset");
}

void TFormMain::PlayPreview(uint8_t note, bool on) {
    if (!Link) return;
    const auto channel = static_cast<uint8_t>(std::max(ComboBoxMidiChannel->currentIndex(), 0));
    const ShortMessage message{static_cast<uint8_t>((on ? kNoteOn : kNoteOff) | channel), note,
                               on ? kPreviewVelocity : uint8_t{0}};
    HandleMidiData(kBrowserSource, PackShortMessage(message));
}

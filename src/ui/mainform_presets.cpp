// Patch transfer: the whole-patch records built from the main window's
// controls and shown in them again, and the preset panel that loads, saves
// and resets presets through them.
#include "presets/sbi.h"
#include "synth/corelink.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/presetnames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <algorithm>

namespace {

constexpr int kEnterKey = 13;
constexpr const char* kErrorCaption = "Error";

std::string PresetText(const QComboBox* box) {
    return PresetNameOf(box);
}

// The item a name picks, by the rule every preset lookup follows, on the
// items' own names: those of their files, whatever the list shows.
int FindPreset(const QComboBox* box, const std::string& name) {
    return FindPresetName(PresetItemNames(box), name);
}

} // namespace

SynthPatch TFormMain::GetSynthPatch() const {
    Link->Sync();
    return SynthPatchOf(Link->State());
}

// Lists and check boxes that change are programmed as the controls' own
// handlers always did; the caller's SetPatch programs the rest.
void TFormMain::SetSynthPatch(const SynthPatch& patch) {
    Link->Send(command::Patch{patch});
    ShowCore();
}

PatchSettings TFormMain::GetPatchSettings() const {
    Link->Sync();
    return PatchSettingsOf(Link->State());
}

void TFormMain::SetPatchSettings(const PatchSettings& settings) {
    Link->Send(command::Settings{settings});
    ShowCore();
}

// Every operator becomes 01 3F FF FF 00: silent until a volume is raised.
void TFormMain::LoadDefaultPatch() {
    Link->Send(command::Default{});
    ShowCore();
}

// --- preset panel ---

// "Preset" and the 1-based position in the list, 0 for none.
void TFormMain::ShowPresetNumber(int index) {
    LabelPreset->setText(QStringLiteral("Preset %1").arg(index + 1));
}

// The edit text stays; it numbers the item it names, if any.
void TFormMain::FillPresetList() {
    const auto bank = static_cast<size_t>(ComboBoxBank->currentIndex());
    if (bank >= BankNames.size()) return;
    const QString text = ComboBoxPreset->currentText();
    const std::string name = PresetText(ComboBoxPreset);
    // The core chooses program changes from the same list, read whole here.
    auto listed = std::make_unique<PresetBank>(ReadPresetBank(*PresetStore, BankNames[bank]));
    Link->Send(command::Bank{listed.get()});
    SetPresetItems(ComboBoxPreset, listed->Names);
    banks_.push_back(std::move(listed));
    FreeReturnedBanks();
    ComboBoxPreset->setCurrentIndex(-1);
    ComboBoxPreset->setEditText(text);
    if (text.isEmpty() || text == kDefaultPresetName) return;
    const int index = FindPreset(ComboBoxPreset, name);
    if (index >= 0) ComboBoxPreset->setCurrentIndex(index);
    ShowPresetNumber(index);
}

// A preset replaces what its kind carries; a name that loads nothing
// changes nothing but the label.
void TFormMain::LoadPresetByName(const std::string& name) {
    const PresetChoice choice = ChoosePreset(*PresetStore, name);
    if (choice.Applies()) lastPreset_ = name;
    Link->Send(command::Preset{choice});
    ShowCore();
}

// The sound stays as it is.
void TFormMain::ComboBoxBankChange() {
    ComboBoxPreset->setCurrentIndex(-1);
    ComboBoxPreset->setEditText(QString());
    LabelPreset->setText("Preset");
    FillPresetList();
}

void TFormMain::ComboBoxPresetSelect() {
    LoadPresetByName(PresetText(ComboBoxPreset));
}

// Typing numbers the preset the text names; Enter loads it.
void TFormMain::ComboBoxPresetKeyUp(int key) {
    const int index = FindPreset(ComboBoxPreset, PresetText(ComboBoxPreset));
    if (index < 0) {
        LabelPreset->setText("Preset");
    } else if (key == kEnterKey) {
        ComboBoxPreset->setCurrentIndex(index); // the text takes the item's case
        LoadPresetByName(PresetText(ComboBoxPreset));
    } else {
        ShowPresetNumber(index);
    }
}

// The bank shown decides the folder and what the file holds.
void TFormMain::ButtonSavePresetClick() {
    const std::string name = PresetText(ComboBoxPreset);
    if (IsBlankPresetName(name)) {
        ShowMessageBox("You must supply a name for the preset", kErrorCaption);
        return;
    }
    if (name == kDefaultPresetName) {
        ShowMessageBox("The Default preset cannot be saved", kErrorCaption);
        return;
    }
    SynthPatch patch = GetSynthPatch();
    const PatchSettings settings = GetPatchSettings();
    if (PresetStore->SavePreset(name, patch, settings))
        FillPresetList();
    else
        ShowMessageBox(QString::fromStdString("Save preset failed\n" + PresetStore->SaveFailure),
                       kErrorCaption);
    FreeSynthPatch(patch);
}

// The named preset comes back as saved; with no loadable name the chip is
// left cleared while the controls keep showing the patch.
void TFormMain::ButtonResetClick() {
    Link->Send(command::Reset{});
    LoadPresetByName(PresetText(ComboBoxPreset));
}

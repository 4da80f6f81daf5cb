// Patch transfer: the whole-patch records built from the main window's
// controls and shown in them again, and the preset panel that loads, saves
// and resets presets through them.
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "presets/sbi.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/presetnames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <algorithm>

namespace {

int Selected(const QComboBox* box, int count) {
    const int index = box->currentIndex();
    return index >= 0 && index < count ? index : -1;
}

uint8_t Outputs(const QCheckBox* a, const QCheckBox* b) {
    return opl3::kOutputB.PutFlag(opl3::kOutputA.PutFlag(0, a->isChecked()), b->isChecked());
}

int16_t CentsField(const QComboBox* box) {
    return CentsToField(ParseCents(box->currentText().toStdString()));
}

QString CentsText(int16_t cents) {
    return QString::fromStdString(FormatCents(cents));
}

constexpr const char* kDefaultPreset = "Default"; // built in, never a file
constexpr int kEnterKey = 13;
constexpr const char* kErrorCaption = "Error";

std::string PresetText(const QComboBox* box) {
    return PresetNameOf(box);
}

// The item named by text, without regard to case; a name matching exactly
// comes first, as a bank may hold both Piano and piano.
int FindPreset(const QComboBox* box, const QString& text) {
    const int exact = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return exact >= 0 ? exact : box->findText(text, Qt::MatchFixedString);
}

} // namespace

SynthPatch TFormMain::GetSynthPatch() const {
    SynthPatch patch;
    for (int op = 0; op < kOperatorCount; ++op)
        OperatorFrames[op]->SaveToPatch(patch.Ops[op]);
    patch.RegC0Ops12 = patch.RegC0Ops34 = Outputs(CheckBoxA, CheckBoxB);
    patch.RegC0Ops56 = Outputs(CheckBoxA2, CheckBoxB2);

    // No selection leaves the feedback, or all three connection bits, at 0.
    if (const int fb = Selected(ComboBoxFB, kFeedbackCount); fb >= 0)
        patch.RegC0Ops12 = opl3::kFeedback.Put(patch.RegC0Ops12, fb);
    if (const int fb = Selected(ComboBoxFB2, kFeedbackCount); fb >= 0)
        patch.RegC0Ops56 = opl3::kFeedback.Put(patch.RegC0Ops56, fb);
    if (const int cnt = Selected(ComboBoxCNT, kConnectionCount); cnt >= 0)
        SetConnectionBits(patch, cnt);
    return patch;
}

// Selections set here run no handler: the caller's SetPatch programs them.
void TFormMain::SetSynthPatch(const SynthPatch& patch) {
    for (int op = 0; op < kOperatorCount; ++op)
        OperatorFrames[op]->LoadFromPatch(patch.Ops[op]);
    const int index = ConnectionIndex(patch);
    ComboBoxCNT->setCurrentIndex(index);
    ShowConnectionPicture(index);
    ComboBoxFB->setCurrentIndex(static_cast<int>(opl3::kFeedback.Get(patch.RegC0Ops12)));
    ComboBoxFB2->setCurrentIndex(static_cast<int>(opl3::kFeedback.Get(patch.RegC0Ops56)));
}

PatchSettings TFormMain::GetPatchSettings() const {
    PatchSettings settings;
    settings.Transpose = CentsField(ComboBoxTranspose);
    settings.Tuning1 = CentsField(ComboBoxTR1);
    settings.Tuning2 = CentsField(ComboBoxTR2);
    settings.Outputs =
        (CheckBoxA->isChecked() ? outputs::kA : 0) | (CheckBoxB->isChecked() ? outputs::kB : 0) |
        (CheckBoxA2->isChecked() ? outputs::kA2 : 0) | (CheckBoxB2->isChecked() ? outputs::kB2 : 0);
    const int td = std::max(ComboBoxTD->currentIndex(), 0);
    const int vd = std::max(ComboBoxVD->currentIndex(), 0);
    settings.LfoDepth = static_cast<uint8_t>(td + 2 * vd);
    settings.Volume = static_cast<uint8_t>(TrackBarVolume->value());
    settings.Pan = static_cast<int8_t>(TrackBarPan->value());
    for (int op = 0; op < kOperatorCount; ++op)
        if (OperatorFrames[op]->IsCcEnabled()) settings.CcMask |= static_cast<uint8_t>(1 << op);
    return settings;
}

// Check boxes and bars that change run their handlers: the output bits and
// the card's volume and pan follow at once.
void TFormMain::SetPatchSettings(const PatchSettings& settings) {
    ComboBoxTranspose->setEditText(CentsText(settings.Transpose));
    ComboBoxTR1->setEditText(CentsText(settings.Tuning1));
    ComboBoxTR2->setEditText(CentsText(settings.Tuning2));
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
    SynthPatch patch = GetSynthPatch();
    const PatchSettings settings = GetPatchSettings();
    SetSynthPatch(patch);
    SetPatchSettings(settings);
    Fm801->Opl3->SetPatch(patch, settings);
    FreeSynthPatch(patch);
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
    SetPresetItems(ComboBoxPreset, PresetStore->GetPresetList(BankNames[bank]));
    ComboBoxPreset->setCurrentIndex(-1);
    ComboBoxPreset->setEditText(text);
    if (text.isEmpty() || text == kDefaultPreset) return;
    int index = FindPresetItem(ComboBoxPreset, name);
    if (index < 0) index = FindPreset(ComboBoxPreset, text);
    if (index >= 0) ComboBoxPreset->setCurrentIndex(index);
    ShowPresetNumber(index);
}

// A preset replaces what its kind carries; a name that loads nothing
// changes nothing but the label.
void TFormMain::LoadPresetByName(const std::string& name) {
    LabelPreset->setText("Preset");
    if (name == kDefaultPreset) {
        LoadDefaultPatch();
        return;
    }
    if (name.empty()) return;
    SynthPatch patch = GetSynthPatch();
    PatchSettings settings = GetPatchSettings();
    if (PresetStore->LoadPreset(name, patch, settings)) {
        ShowPresetNumber(ComboBoxPreset->currentIndex());
        SetSynthPatch(patch);
        SetPatchSettings(settings);
        Fm801->Opl3->SetPatch(patch, settings);
    }
    FreeSynthPatch(patch);
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
    const int index = FindPreset(ComboBoxPreset, ComboBoxPreset->currentText());
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
    if (name == kDefaultPreset) {
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
    Fm801->Opl3->Reset();
    LoadPresetByName(PresetText(ComboBoxPreset));
}

// The preset panel driven as a user would, on banks of its own (the shipped
// banks are only read).
#include "boxcatcher.h"
#include "mainwindow_support.h"
#include "tempfolder.h"

#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "midi/shortmessage.h"
#include "presets/presetfile.h"
#include "ui/opframe.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// The user opens the list and clicks an item.
void Pick(QComboBox* box, int index) {
    box->showPopup();
    QAbstractItemView* view = box->view();
    const QModelIndex item = view->model()->index(index, box->modelColumn());
    view->scrollTo(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    ASSERT_EQ(box->currentIndex(), index);
}

// The user replaces the preset text by typing, key by key.
void Type(QComboBox* box, const QString& text) {
    box->setFocus();
    box->lineEdit()->selectAll();
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Delete);
    else
        QTest::keyClicks(box, text);
}

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What slot 0 of the chip holds; the chip test pins the other slots.
SynthPatch Sounding(const OPL3& opl3) {
    SynthPatch patch;
    for (int op = 0; op < kOperatorCount; ++op) {
        const auto reg = [&](uint8_t base) {
            return opl3.ReadRegister(base +
                                     OPL3::OperatorOffset[OPL3::SlotOperatorBase[0] + 3 * op]);
        };
        patch.Ops[op] = {reg(0x20), reg(0x40), reg(0x60), reg(0x80), reg(0xE0)};
    }
    patch.RegC0Ops12 = opl3.ReadRegister(0xC0);
    patch.RegC0Ops34 = opl3.ReadRegister(0xC3);
    patch.RegC0Ops56 = opl3.ReadRegister(0xC6);
    return patch;
}

// A six-operator preset of its own sound: every operator image from fill.
Bytes SixOperatorFile(uint8_t fill) {
    SynthPatch patch;
    patch.Ops.fill({fill, static_cast<uint8_t>(fill & 0x3F), fill, fill, 2});
    patch.RegC0Ops12 = 0x31;
    patch.RegC0Ops34 = 0x30;
    patch.RegC0Ops56 = 0x37;
    PatchSettings settings;
    settings.Outputs = 0x0F;
    settings.Volume = 20;
    return EncodePreset(PresetKind::SixOperator, "", patch, settings);
}

class PresetPanel : public testing::Test {
protected:
    void SetUp() override {
        for (const char* bank : {"2op", "4op", "6op"})
            fs::create_directories(root / bank);
        // Listed as Bell, Organ, Piano, piano.
        Put("6op/Organ.sbi", SixOperatorFile(0x42));
        Put("6op/Piano.sbi", SixOperatorFile(0x11));
        Put("6op/piano.sbi", SixOperatorFile(0x22));
        Put("6op/Bell.sbi", SixOperatorFile(0x33));
        Put("escaped.sbi", SixOperatorFile(0x44)); // beside the banks, not in one
    }
    void Put(const fs::path& relative, const Bytes& bytes) { folder.Put(relative, bytes); }
    // Every file and folder under the root with its bytes, to see what changed.
    std::map<std::string, Bytes> Tree() {
        std::map<std::string, Bytes> tree;
        for (const auto& e : fs::recursive_directory_iterator(root))
            tree[fs::relative(e.path(), root).string()] =
                e.is_regular_file() ? ReadFile(e.path()) : Bytes{};
        return tree;
    }

    TempFolder folder{std::string("panel-") +
                      testing::UnitTest::GetInstance()->current_test_info()->name()};
    const fs::path& root = folder.root;
};

} // namespace

TEST_F(PresetPanel, StartsOnTheDefaultPatchWithTheBankListedAndNothingMoreSent) {
    const fs::path empty = root / "no banks here";
    fs::create_directory(empty);
    Started bare(0x0606, empty);
    Started s(0x0606, root);
    TFormMain& w = *s.form;
    EXPECT_EQ(Items(w.ComboBoxPreset), (QStringList{"Bell", "Organ", "Piano", "piano"}));
    EXPECT_EQ(Items(bare.form->ComboBoxPreset), QStringList{"Default"});
    EXPECT_EQ(w.ComboBoxPreset->currentText(), "Default");
    EXPECT_EQ(w.ComboBoxPreset->currentIndex(), -1);
    EXPECT_EQ(w.LabelPreset->text(), "Preset");
    // Listing a bank sends nothing: the start-up trace is the Default patch's.
    EXPECT_EQ(s.rec.Accesses(), bare.rec.Accesses());
}

// Every shipped preset of every bank (as installed), picked from the lists.
TEST(PresetPanelStarters, EveryStarterOfEveryBankLoadsWhatItsFileHoldsAndIsNumbered) {
    const fs::path data = VI801_SHARE_DIR;
    Started s(0x0606, data);
    TFormMain& w = *s.form;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    int loaded = 0;
    for (int bank = 0; bank < 3; ++bank) {
        SCOPED_TRACE(w.BankNames[bank]);
        const SynthPatch before = w.GetSynthPatch();
        s.rec.Clear();
        Pick(w.ComboBoxBank, bank);
        // Another bank changes the list, not the sound.
        EXPECT_TRUE(s.rec.Accesses().empty());
        EXPECT_EQ(w.GetSynthPatch(), before);
        EXPECT_EQ(w.ComboBoxPreset->currentText(), "");
        EXPECT_EQ(w.LabelPreset->text(), "Preset");

        for (int i = 0; i < w.ComboBoxPreset->count(); ++i) {
            const QString name = w.ComboBoxPreset->itemText(i);
            SCOPED_TRACE(name.toStdString());
            SynthPatch expected = w.GetSynthPatch();
            PatchSettings settings = w.GetPatchSettings();
            // The list names the files of the bank picked.
            const Bytes file = ReadFile(data / w.BankNames[bank] / (name.toStdString() + ".sbi"));
            ASSERT_TRUE(DecodePreset(file, expected, settings));
            Pick(w.ComboBoxPreset, i);
            EXPECT_EQ(w.ComboBoxPreset->currentText(), name);
            EXPECT_EQ(w.LabelPreset->text(), QString("Preset %1").arg(i + 1));
            EXPECT_EQ(w.GetSynthPatch(), expected);
            EXPECT_EQ(w.GetPatchSettings(), settings);
            EXPECT_EQ(Sounding(*w.Fm801->Opl3), expected);
            ++loaded;
        }
    }
    EXPECT_EQ(loaded, 33);
}

TEST_F(PresetPanel, TypingNumbersThePresetAndEnterLoadsIt) {
    struct Case {
        const char* typed;
        const char* label; // after the last key but Enter
        int loads;         // item Enter loads, -1 for none
        const char* text;  // after Enter
    };
    const Case cases[] = {
        {"ORGAN", "Preset 2", 1, "Organ"},
        {"piano", "Preset 4", 3, "piano"}, // the exact name before Piano
        {"PIANO", "Preset 3", 2, "Piano"},
        {"Pia", "Preset", -1, "Pia"},
        {"Nowhere", "Preset", -1, "Nowhere"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Started s(0x0606, root);
        TFormMain& w = *s.form;
        s.rec.Clear();
        Type(w.ComboBoxPreset, c.typed);
        EXPECT_EQ(w.LabelPreset->text(), c.label);
        EXPECT_TRUE(s.rec.Accesses().empty()); // typing loads nothing

        const SynthPatch before = w.GetSynthPatch();
        QTest::keyClick(w.ComboBoxPreset, Qt::Key_Return);
        EXPECT_EQ(w.ComboBoxPreset->currentText(), c.text);
        EXPECT_EQ(w.ComboBoxPreset->currentIndex(), c.loads);
        if (c.loads < 0) {
            EXPECT_TRUE(s.rec.Accesses().empty());
            EXPECT_EQ(w.GetSynthPatch(), before);
            continue;
        }
        EXPECT_EQ(w.LabelPreset->text(), c.label);
        SynthPatch expected = before;
        PatchSettings settings = w.GetPatchSettings();
        ASSERT_TRUE(DecodePreset(ReadFile(root / "6op" / (std::string(c.text) + ".sbi")), expected,
                                 settings));
        EXPECT_EQ(Sounding(*w.Fm801->Opl3), expected);
    }
}

// A user picks a preset, changes it, saves it under a new name and finds it
// numbered in the list; Reset brings the saved sound back.
TEST_F(PresetPanel, ASavedPresetIsListedAndResetBringsItBack) {
    Started s(0x0606, root);
    TFormMain& w = *s.form;
    w.show();
    QApplication::setActiveWindow(&w); // so a click moves the focus
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Pick(w.ComboBoxPreset, 0); // Bell
    w.OperatorFrames[2]->TrackBarVolume->setValue(50);
    w.OperatorFrames[4]->TrackBarAttack->setValue(3);
    const SynthPatch saved = w.GetSynthPatch();
    const PatchSettings savedSettings = w.GetPatchSettings();

    Type(w.ComboBoxPreset, "My Bell");
    QTest::mouseClick(w.ButtonSavePreset, Qt::LeftButton);
    EXPECT_EQ(ReadFile(root / "6op/My Bell.sbi"),
              EncodePreset(PresetKind::SixOperator, "My Bell", saved, savedSettings));
    EXPECT_EQ(Items(w.ComboBoxPreset), (QStringList{"Bell", "My Bell", "Organ", "Piano", "piano"}));
    EXPECT_EQ(w.ComboBoxPreset->currentIndex(), 1);
    EXPECT_EQ(w.LabelPreset->text(), "Preset 2");

    w.OperatorFrames[2]->TrackBarVolume->setValue(10);
    w.OperatorFrames[5]->CheckBoxTremolo->setChecked(true);
    s.rec.Clear();
    QTest::mouseClick(w.ButtonReset, Qt::LeftButton);
    const std::vector<RegWrite> reset = ResetSequence();
    const std::vector<RegWrite> writes = RegisterWrites(s.rec);
    ASSERT_GT(writes.size(), reset.size());
    EXPECT_TRUE(std::equal(reset.begin(), reset.end(), writes.begin())); // cleared first
    EXPECT_EQ(w.GetSynthPatch(), saved);
    EXPECT_EQ(Sounding(*w.Fm801->Opl3), saved);
    EXPECT_EQ(w.LabelPreset->text(), "Preset 2");

    // Saving over a listed name keeps the edited sound, not the file's.
    w.OperatorFrames[0]->TrackBarVolume->setValue(7);
    const SynthPatch edited = w.GetSynthPatch();
    Type(w.ComboBoxPreset, "Organ");
    QTest::mouseClick(w.ButtonSavePreset, Qt::LeftButton);
    EXPECT_EQ(ReadFile(root / "6op/Organ.sbi"),
              EncodePreset(PresetKind::SixOperator, "Organ", edited, w.GetPatchSettings()));
    EXPECT_EQ(w.GetSynthPatch(), edited);
    EXPECT_EQ(w.LabelPreset->text(), "Preset 3");

    // The bank shown decides where a preset goes and what it holds.
    Pick(w.ComboBoxBank, 0);
    Type(w.ComboBoxPreset, "Lead");
    QTest::mouseClick(w.ButtonSavePreset, Qt::LeftButton);
    EXPECT_EQ(ReadFile(root / "2op/Lead.sbi").size(), 52u);
    EXPECT_EQ(Items(w.ComboBoxPreset), QStringList{"Lead"});
}

TEST_F(PresetPanel, ARefusedSaveSaysWhyAndWritesNothing) {
    fs::remove(root / "4op");
    struct Case {
        int bank;
        const char* name;
        const char* message;
    };
    const std::string noFolder =
        "Save preset failed\nThe folder " + (root / "4op").string() + " does not exist";
    const Case cases[] = {
        {2, "", "You must supply a name for the preset"},
        {2, "   ", "You must supply a name for the preset"},
        {2, "Default", "The Default preset cannot be saved"},
        {2, "a?b", "Save preset failed\nThe character '?' is not allowed in a preset name"},
        {2, "x/y", "Save preset failed\nThe character '/' is not allowed in a preset name"},
        {2, "../escaped", "Save preset failed\nThe character '/' is not allowed in a preset name"},
        {1, "Lead", noFolder.c_str()}, // no such folder; none is made
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = Tree();
        Started s(0x0606, root);
        TFormMain& w = *s.form;
        if (c.bank != 2) Pick(w.ComboBoxBank, c.bank);
        Type(w.ComboBoxPreset, c.name);
        BoxCatcher catcher;
        QTest::mouseClick(w.ButtonSavePreset, Qt::LeftButton);
        ASSERT_EQ(catcher.boxes.size(), 1u);
        EXPECT_EQ(catcher.boxes[0].text, c.message);
        EXPECT_EQ(catcher.boxes[0].caption, "Error");
        EXPECT_EQ(catcher.boxes[0].icon, QMessageBox::Warning);
        EXPECT_EQ(Tree(), before);
    }

    // Only the exact text "Default" is refused.
    Started s(0x0606, root);
    Type(s.form->ComboBoxPreset, "default");
    BoxCatcher catcher;
    QTest::mouseClick(s.form->ButtonSavePreset, Qt::LeftButton);
    EXPECT_TRUE(catcher.boxes.empty());
    EXPECT_TRUE(fs::exists(root / "6op/default.sbi"));
}

// Names are the bytes of their files: two names that are no UTF-8 look
// alike on screen, and each item still loads and saves its own file.
TEST_F(PresetPanel, NamesThatAreNoUtf8AreShownWithAReplacementCharacterAndLoadTheirOwnFile) {
    Put("6op/Caf\xe8.sbi", SixOperatorFile(0x55));
    Put("6op/Caf\xe9.sbi", SixOperatorFile(0x66));
    Started s(0x0606, root);
    TFormMain& w = *s.form;
    const QString shown = QStringLiteral("Caf\uFFFD");
    EXPECT_EQ(Items(w.ComboBoxPreset),
              (QStringList{"Bell", shown, shown, "Organ", "Piano", "piano"}));
    for (const auto& [index, fill] : {std::pair{1, 0x55}, std::pair{2, 0x66}}) {
        Pick(w.ComboBoxPreset, index);
        EXPECT_EQ(Sounding(*w.Fm801->Opl3).Ops[0].Reg20, fill);
        EXPECT_EQ(w.LabelPreset->text(), QStringLiteral("Preset %1").arg(index + 1));
    }
    w.HandleMidiData(1, PackShortMessage({0xC0, 1, 0})); // program 1, as MIDI input gives it
    EXPECT_EQ(Sounding(*w.Fm801->Opl3).Ops[0].Reg20, 0x55);

    // Saved under the name shown, the item's own file takes the sound.
    Pick(w.ComboBoxPreset, 2);
    w.OperatorFrames[0]->TrackBarVolume->setValue(7);
    QTest::mouseClick(w.ButtonSavePreset, Qt::LeftButton);
    EXPECT_EQ(
        ReadFile(root / "6op/Caf\xe9.sbi"),
        EncodePreset(PresetKind::SixOperator, "Caf\xe9", w.GetSynthPatch(), w.GetPatchSettings()));
    EXPECT_EQ(ReadFile(root / "6op/Caf\xe8.sbi"), SixOperatorFile(0x55));
    EXPECT_EQ(w.ComboBoxPreset->count(), 6);
    EXPECT_EQ(w.LabelPreset->text(), "Preset 3");
}

TEST_F(PresetPanel, ResetWithoutALoadableNameLeavesTheChipClearedAndTheControls) {
    for (const char* text : {"", "Nowhere", "../escaped", "a?b"}) {
        SCOPED_TRACE(text);
        Started s(0x0606, root);
        TFormMain& w = *s.form;
        Pick(w.ComboBoxPreset, 1); // Organ
        const SynthPatch shown = w.GetSynthPatch();
        Type(w.ComboBoxPreset, text);
        s.rec.Clear();
        QTest::mouseClick(w.ButtonReset, Qt::LeftButton);
        EXPECT_EQ(RegisterWrites(s.rec), ResetSequence());
        EXPECT_EQ(w.GetSynthPatch(), shown);
        EXPECT_EQ(w.LabelPreset->text(), "Preset");
    }

    // A name typed over a picked one, not confirmed: no item is selected.
    Started s(0x0606, root);
    TFormMain& w = *s.form;
    Pick(w.ComboBoxPreset, 0);
    Type(w.ComboBoxPreset, "Organ");
    QTest::mouseClick(w.ButtonReset, Qt::LeftButton);
    EXPECT_EQ(w.LabelPreset->text(), "Preset 0");
    EXPECT_EQ(w.GetSynthPatch().Ops[0].Reg20, 0x42);
}

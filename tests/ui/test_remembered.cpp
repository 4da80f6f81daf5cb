// What the program remembers between runs: in a config folder of the
// test's own, written while the window runs and applied at the next start
// after the usual start-up, which a first start leaves untouched.
#include "boxcatcher.h"
#include "mainwindow_support.h"
#include "tempfolder.h"

#include "presets/presetfile.h"
#include "synth/corelink.h"
#include "ui/ccform.h"
#include "ui/kbdform.h"
#include "ui/remembered.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QComboBox>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

// XDG_CONFIG_HOME in a folder of the test's own for as long as it lives.
struct ConfigHome {
    ConfigHome() : folder("config"), before(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder.root.string()));
    }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", before); }
    std::string Path() const { return SettingsPath(); }
    void Write(const std::string& text) const {
        fs::create_directories(fs::path(Path()).parent_path());
        std::ofstream(Path()) << text;
    }
    TempFolder folder;
    QByteArray before;
};

struct Notes {
    std::vector<std::string> said;
    SettingsKeeper::Note Taker() {
        return [this](const std::string& note) { said.push_back(note); };
    }
};

void Pick(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    RunComboBoxSelect(box);
}

void MakeBanks(const TempFolder& folder) {
    SynthPatch patch;
    patch.Ops.fill({0x21, 0x10, 0xF2, 0x54, 3});
    PatchSettings settings{0x15, 0, 0, 0, 0, 0x0F, 0, 22, 0};
    folder.Put("4op/Lead.sbi", EncodePreset(PresetKind::FourOperator, "Lead", patch, settings));
    folder.Put("6op/Brass.sbi", EncodePreset(PresetKind::SixOperator, "Brass", patch, settings));
}

} // namespace

TEST(Remembered, AnInputIsTheSameDespiteTheSequencersNumbers) {
    struct Case {
        const char* remembered;
        const char* offered;
        bool same;
    };
    const Case cases[] = {
        {"Keys:Keys MIDI 1 20:0", "Keys:Keys MIDI 1 20:0", true},
        {"Keys:Keys MIDI 1 20:0", "Keys:Keys MIDI 1 24:0", true},
        {"Keys:Keys MIDI 1 20:0", "Keys:Keys MIDI 2 20:1", false},
        {"Keys:Keys MIDI 1 20:0", "Keys:Keys MIDI 1", false},
        {"VI 801 virtual input", "VI 801 virtual input", true},
        {"system:midi_capture_1", "system:midi_capture_2", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameMidiPort(c.remembered, c.offered), c.same)
            << c.remembered << " / " << c.offered;
}

// Anything a file holds that is out of range or of the wrong kind keeps
// what the start has.
TEST(Remembered, ValuesOutOfRangeKeepTheStart) {
    ConfigHome home;
    Remembered start;
    start.controllers.fill(5);
    start.bendRange = 100;
    struct Case {
        const char* lines;
        std::function<bool(const Remembered&)> holds;
    };
    const Case cases[] = {
        {"[midi]\nchannel=16\n", [](auto& r) { return r.channel == 15; }},
        {"[midi]\nchannel=17\n", [](auto& r) { return r.channel == 0; }},
        {"[midi]\nchannel=two\n", [](auto& r) { return r.channel == 0; }},
        {"[playing]\nbendRangeCents=2400\n", [](auto& r) { return r.bendRange == 2400; }},
        {"[playing]\nbendRangeCents=2401\n", [](auto& r) { return r.bendRange == 100; }},
        {"[playing]\npedals=false\n", [](auto& r) { return !r.pedals; }},
        {"[playing]\npedals=0\n", [](auto& r) { return r.pedals; }},
        {"[controllers]\nOperator%20Attack=-1\n", [](auto& r) { return r.controllers[17] == -1; }},
        {"[controllers]\nOperator%20Attack=128\n", [](auto& r) { return r.controllers[17] == 5; }},
        {"[windows]\nkeyboard\\at=@Point(30 40)\nkeyboard\\open=true\n",
         [](auto& r) {
             return r.windows[1] == WindowPlace{true, {30, 40}, true};
         }},
        {"[windows]\nkeyboard\\at=30 40\n", [](auto& r) { return !r.windows[1].known; }},
        {"not a settings file at all\n\x01\x02", [](auto& r) { return r.channel == 0; }},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        // A file of its own each: Qt keeps what it read of a file whose
        // size and time did not change.
        const fs::path path = home.folder.root / ("case" + std::to_string(i++) + ".conf");
        std::ofstream(path) << c.lines;
        QSettings file(QString::fromStdString(path.string()), QSettings::IniFormat);
        EXPECT_TRUE(c.holds(ReadRemembered(file, start)));
    }
}

// What is written reads back the same, a preset's name that is no UTF-8
// (a file's name in Latin-1) included.
TEST(Remembered, WhatIsWrittenReadsBack) {
    ConfigHome home;
    Remembered r;
    r.midiIn = "Keys:Keys MIDI 1 20:0";
    r.channel = 9;
    r.controllers.fill(kUnbound);
    r.controllers[3] = 1;
    r.bank = "2op";
    r.preset = "Cor Anglais \xE9t\xE9";
    r.pedals = false;
    r.bendRange = 1250;
    r.windows[0] = {true, {5, 6}, true};
    r.windows[2] = {true, {-40, 700}, true};
    const QString path = QString::fromStdString(home.Path());
    {
        QSettings file(path, QSettings::IniFormat);
        WriteRemembered(file, r);
    }
    QSettings file(path, QSettings::IniFormat);
    Remembered back = ReadRemembered(file, Remembered{});
    back.windows[0].open = true; // the main window is always open
    EXPECT_EQ(back, r);
}

// Without a file the start is the usual one, to the port, and nothing
// is written until something changes.
TEST(Remembered, AFirstStartIsTheDescribedStart) {
    ConfigHome home;
    std::vector<PortRecorder::Access> usual;
    {
        Started s;
        usual = s.rec.Accesses();
    }
    Started s;
    Notes notes;
    SettingsKeeper keeper(*s.form, home.Path(), notes.Taker());
    keeper.Apply();
    keeper.ShowWindows();
    keeper.Save();
    EXPECT_EQ(s.rec.Accesses(), usual);
    EXPECT_FALSE(fs::exists(home.Path()));
    EXPECT_TRUE(notes.said.empty());
    EXPECT_FALSE(s.form->KeyboardForm->isVisible());
}

TEST(Remembered, WhatTheLastRunLeftComesBack) {
    ConfigHome home;
    const TempFolder banks("remembered-banks");
    MakeBanks(banks);
    {
        Started s(0x0606, banks.root);
        TFormMain& w = *s.form;
        Notes notes;
        SettingsKeeper keeper(w, home.Path(), notes.Taker());
        keeper.Apply();
        w.show();
        keeper.ShowWindows();
        w.ComboBoxMidiChannel->setCurrentIndex(4);
        w.ControllerForm->ValueListEditorCc->SetValue("Operator Attack", "16");
        Pick(w.ComboBoxBank, 1);
        Pick(w.ComboBoxPreset, w.ComboBoxPreset->findText("Lead"));
        w.MenuItemPedals->trigger();
        w.BendRangeItems[1]->trigger();
        w.ButtonKbdClick();
        w.KeyboardForm->move(100, 120);
        // Written while the window runs: a crash keeps it.
        const QString path = QString::fromStdString(home.Path());
        EXPECT_TRUE(QTest::qWaitFor([&] {
            QSettings file(path, QSettings::IniFormat);
            return file.value("windows/keyboard/at").toPoint() == QPoint(100, 120) &&
                   file.value("presets/preset").toString() == "Lead";
        }));
        w.close(); // what stands when the main window closes is kept
    }
    Started s(0x0606, banks.root);
    TFormMain& w = *s.form;
    Notes notes;
    SettingsKeeper keeper(w, home.Path(), notes.Taker());
    keeper.Apply();
    w.show();
    keeper.ShowWindows();
    EXPECT_EQ(w.ComboBoxMidiChannel->currentText(), "5");
    EXPECT_EQ(w.Link->State().channel, 4);
    EXPECT_EQ(w.ControllerForm->ValueListEditorCc->Value("Operator Attack"), "16");
    EXPECT_EQ(w.Link->State().controllers[17], 16);
    EXPECT_EQ(w.ComboBoxBank->currentIndex(), 1);
    EXPECT_EQ(w.ComboBoxPreset->currentText(), "Lead");
    EXPECT_EQ(w.LabelPreset->text(), "Preset 1");
    EXPECT_FALSE(w.Link->State().pedalsEnabled);
    EXPECT_FALSE(w.MenuItemPedals->isChecked());
    EXPECT_EQ(w.Link->State().bendRange, 200);
    EXPECT_TRUE(w.KeyboardForm->isVisible());
    EXPECT_EQ(w.KeyboardForm->pos(), QPoint(100, 120));
    EXPECT_FALSE(w.ControllerForm->isVisible());
    EXPECT_FALSE(w.MenuItemUndo->isEnabled()); // what came back is no step
    EXPECT_TRUE(notes.said.empty());
}

// An input that is gone is told and none is chosen; it is remembered still,
// for the day it is back.
TEST(Remembered, AMissingInputIsToldAndKept) {
    ConfigHome home;
    home.Write("[midi]\ninput=Gone:Gone MIDI 1 20:0\nchannel=3\n");
    Started s;
    Notes notes;
    SettingsKeeper keeper(*s.form, home.Path(), notes.Taker());
    keeper.Apply();
    ASSERT_EQ(notes.said.size(), 1u);
    EXPECT_EQ(
        notes.said[0],
        "the MIDI input \"Gone:Gone MIDI 1 20:0\" of the last run is missing; none is chosen");
    EXPECT_EQ(s.form->ComboBoxMidiIn->currentIndex(), 0);
    EXPECT_EQ(s.form->Link->State().channel, 2);
    s.form->ComboBoxMidiChannel->setCurrentIndex(5);
    keeper.Save();
    QSettings file(QString::fromStdString(home.Path()), QSettings::IniFormat);
    EXPECT_EQ(file.value("midi/input").toString(), "Gone:Gone MIDI 1 20:0");
    EXPECT_EQ(file.value("midi/channel").toInt(), 6);
}

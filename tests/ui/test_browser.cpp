// The sound browser opened from the main window and used as a user would,
// on bank files the test writes: on the recorder, what the chip and the
// window hold after a choice; on the emulated card, what it sounds like.
#include "accessibletree.h"
#include "mainwindow_support.h"
#include "tempfolder.h"

#include "emulated/rig.h"
#include "hardware/fm801.h"
#include "presets/bankwriters.h"
#include "presets/formats/bankinstrument.h"
#include "ui/browserform.h"
#include "ui/opframe.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 10000;

// A held sine: multiplier `multiplier`, `attenuation` steps of 0.75 dB
// down, released at once.
OperatorPatch Sine(uint8_t multiplier, uint8_t attenuation) {
    return {static_cast<uint8_t>(0x20 | multiplier), attenuation, 0xF0, 0x0F, 0x00};
}
OperatorPatch Quiet() {
    return {0x01, 0x3F, 0xF0, 0x0F, 0x00};
}

BankInstrument Instrument(const std::string& name, size_t index, VoiceLayout layout,
                          std::array<OperatorPair, 2> pairs) {
    BankInstrument i;
    i.Name = name;
    i.Index = index;
    i.Layout = layout;
    i.Pairs = pairs;
    return i;
}

// gm.op2: Ref (operator 6 alone, full level), Sine (an octave up, 6 dB
// down), Choir (two FM voices: operators 1-4, three times the note, 3 dB
// down) and Kick (percussion, fixed note 48, at the note, 6 dB down).
BankBytes GeneralMidi() {
    BankInstrument kick =
        Instrument("Kick", 128, VoiceLayout::OnePair, {{{Quiet(), Sine(1, 8), 0x00}}});
    kick.FixedNote = 48;
    return WriteOp2({Instrument("Ref", 0, VoiceLayout::OnePair, {{{Quiet(), Sine(1, 0), 0x00}}}),
                     Instrument("Sine", 1, VoiceLayout::OnePair, {{{Quiet(), Sine(2, 8), 0x0E}}}),
                     Instrument("Choir", 2, VoiceLayout::TwoPairs,
                                {{{Quiet(), Sine(3, 4), 0x00}, {Quiet(), Quiet(), 0x00}}}),
                     kick});
}

// quad.wopl: Quad Bell, a four-operator voice of its own.
BankBytes Quad() {
    return WriteWopl(3, {SampleInstrument(21, VoiceLayout::FourOperator, "Quad Bell")});
}

void Click(QWidget* widget, QPoint at = {}) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
}

// Files dropped onto the window, as a file manager drops them.
void Drop(QWidget* window, const std::vector<fs::path>& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const fs::path& file : files)
        urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
    data.setUrls(urls);
    const QPointF at = window->rect().center();
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window, &drop);
}

// The main window's button, then every file read.
TFormBrowser& OpenBrowser(TFormMain& w) {
    Click(w.ButtonBrowse);
    TFormBrowser* browser = w.BrowserForm;
    EXPECT_TRUE(browser && browser->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([browser] { return !browser->Reading(); }, kWaitMs));
    return *browser;
}

void Filter(TFormBrowser& b, const QString& search, const char* kind) {
    b.EditSearch->selectAll();
    QTest::keyClick(b.EditSearch, Qt::Key_Delete);
    QTest::keyClicks(b.EditSearch, search);
    b.ComboBoxKind->setCurrentIndex(b.ComboBoxKind->findText(kind));
}

std::vector<std::string> ShownNames(const TFormBrowser& b) {
    std::vector<std::string> names;
    for (int row = 0; b.Shown(row); ++row)
        names.push_back(b.Shown(row)->Label());
    return names;
}

void ChooseByClick(TFormBrowser& b, int row) {
    QTableView* table = b.TableInstruments;
    const QModelIndex index = table->model()->index(row, 0);
    table->scrollTo(index);
    Click(table->viewport(), table->visualRect(index).center());
}

std::vector<int> SoundingNotes(const TFormMain& w) {
    std::vector<int> notes;
    for (int32_t note : w.Fm801->Opl3->Slots)
        if (note != OPL3::FreeSlot) notes.push_back(note);
    return notes;
}

class Browser : public testing::Test {
protected:
    void SetUp() override {
        folder.Put("6op/.keep", {});
        folder.Put("library/gm.op2", GeneralMidi());
        folder.Put("library/junk.bin", BankBytes(40, 'j'));
        folder.Put("elsewhere/quad.wopl", Quad());
    }
    TempFolder folder{"browser"};
    const fs::path library = folder.root / "library";
};

TEST_F(Browser, OpensFiltersAndAChosenInstrumentIsWhatTheChipAndTheWindowHold) {
    Started s(0x0606, folder.root);
    TFormMain& w = *s.form;
    w.LibraryFolder = library;
    w.show();
    TFormBrowser& b = OpenBrowser(w);
    EXPECT_EQ(ShownNames(b), (std::vector<std::string>{"Ref", "Sine", "Choir", "Kick"}));
    ASSERT_EQ(b.ListRefused->count(), 1);
    EXPECT_TRUE(b.ListRefused->item(0)->text().startsWith("junk.bin: not a bank"));
    EXPECT_TRUE(b.ListRefused->item(0)->toolTip().startsWith(
        QString::fromStdString((library / "junk.bin").string() + ": not a bank")));
    Drop(&b, {folder.root / "elsewhere"});
    ASSERT_TRUE(QTest::qWaitFor([&b] { return !b.Reading(); }, kWaitMs));
    EXPECT_EQ(ShownNames(b).size(), 5u);

    w.ComboBoxMidiChannel->setCurrentIndex(2); // the preview plays on channel 3
    Click(b.CheckBoxPreview, {8, b.CheckBoxPreview->height() / 2});
    ASSERT_TRUE(b.CheckBoxPreview->isChecked());
    const struct {
        const char* search;
        const char* kind;
        std::string chosen;
        int note;
    } cases[] = {
        {"bell", "All kinds", "Quad Bell", 60}, {"", "pseudo-4-op", "Choir", 60},
        {"SINE", "2-op", "Sine", 60},           {"gm", "percussion", "Kick", 48},
        {"quad.wopl", "4-op", "Quad Bell", 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        Filter(b, c.search, c.kind);
        ASSERT_EQ(ShownNames(b), std::vector<std::string>{c.chosen});
        SynthPatch expected = Sounding(*w.Fm801->Opl3);
        ApplyInstrument(*b.Shown(0), expected);
        ChooseByClick(b, 0);

        EXPECT_EQ(Sounding(*w.Fm801->Opl3), expected);
        for (int op = 0; op < kOperatorCount; ++op) {
            OperatorPatch shown;
            w.FrameOps[op]->SaveToPatch(shown);
            EXPECT_EQ(shown, expected.Ops[op]) << "operator " << op + 1;
        }
        EXPECT_EQ(w.ComboBoxCNT->currentIndex(), ConnectionIndex(expected));
        EXPECT_EQ(w.ComboBoxPreset->currentText().toStdString(), c.chosen);
        EXPECT_EQ(w.ComboBoxPreset->currentIndex(), -1);
        EXPECT_EQ(w.LabelPreset->text(), "Preset");
        EXPECT_EQ(SoundingNotes(w), std::vector<int>{c.note});
        // The preview lets go by itself.
        EXPECT_TRUE(QTest::qWaitFor([&w] { return SoundingNotes(w).empty(); }, kWaitMs));
    }

    // Without the preview a choice is silent; Save offers the name it took.
    Click(b.CheckBoxPreview, {8, b.CheckBoxPreview->height() / 2});
    Filter(b, "ref", "All kinds");
    ChooseByClick(b, 0);
    EXPECT_TRUE(SoundingNotes(w).empty());
    Click(w.ButtonSavePreset);
    EXPECT_TRUE(fs::is_regular_file(folder.root / "6op" / "Ref.sbi"));
    EXPECT_EQ(w.LabelPreset->text(), "Preset 1");
}

TEST_F(Browser, TheLibraryFolderIsMadeWhenMissingAndCtrlLShowsTheWindow) {
    Started s(0x0606, folder.root);
    TFormMain& w = *s.form;
    w.LibraryFolder = folder.root / "new" / "library";
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(w.BrowserForm && w.BrowserForm->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&w] { return !w.BrowserForm->Reading(); }, kWaitMs));
    EXPECT_TRUE(fs::is_directory(w.LibraryFolder));
    EXPECT_TRUE(ShownNames(*w.BrowserForm).empty());
    EXPECT_FALSE(w.BrowserForm->ListRefused->isVisible());
    ExpectEachNamedOnce(w.BrowserForm, 6); // the refused files' list is hidden
    // A bank put there later is listed on Reload.
    folder.Put("new/library/gm.op2", GeneralMidi());
    Click(w.BrowserForm->ButtonReload);
    ASSERT_TRUE(QTest::qWaitFor([&w] { return !w.BrowserForm->Reading(); }, kWaitMs));
    EXPECT_EQ(ShownNames(*w.BrowserForm).size(), 4u);
}

// --- heard on the emulated card ---

struct Heard {
    double frequency, db;
};

// The row the search finds chosen over the silent Default patch, and its
// preview measured while it holds.
Heard ChooseAndListen(Rig& rig, TFormMain& w, const char* name) {
    w.LoadPresetByName("Default");
    TFormBrowser& b = *w.BrowserForm;
    Filter(b, name, "All kinds");
    b.TableInstruments->setCurrentIndex(b.TableInstruments->model()->index(0, 0));
    const Signal s = rig.Render(0.5);
    const std::vector<double> steady = s.Channel(0, s.rate / 10, s.rate * 3 / 10);
    return {MeasureFrequency(steady, s.rate), Db(Rms(steady))};
}

double NoteFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

TEST_F(Browser, AChosenInstrumentIsHeardAtItsPitchAndLevel) {
    Rig rig(48000);
    TFormMain w(
        nullptr, [](QWidget*) { return EmulatedCard::kDefaultBase; }, folder.root);
    w.LibraryFolder = library;
    TFormBrowser& b = OpenBrowser(w);
    b.CheckBoxPreview->setChecked(true);
    const Heard reference = ChooseAndListen(rig, w, "Ref");
    EXPECT_LT(std::abs(Cents(reference.frequency, NoteFrequency(60))), 3);
    const struct {
        const char* name;
        int note;
        double multiplier, db;
    } cases[] = {
        {"Sine", 60, 2, -6},
        {"Choir", 60, 3, -3},
        {"Kick", 48, 1, -6},
    };
    for (const auto& c : cases) {
        const Heard heard = ChooseAndListen(rig, w, c.name);
        const double cents = Cents(heard.frequency, NoteFrequency(c.note) * c.multiplier);
        std::printf("%s: %.2f Hz (%.2f cents off), %.2f dB\n", c.name, heard.frequency, cents,
                    heard.db - reference.db);
        EXPECT_LT(std::abs(cents), 3) << c.name;
        EXPECT_NEAR(heard.db - reference.db, c.db, 0.3) << c.name;
    }
}

} // namespace

// The mini keyboard on its own, posting to a window that records what arrives.
#include "midi/shortmessage.h"
#include "ui/kbdform.h"
#include "ui/tag.h"
#include "ui/toolkit.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <bitset>
#include <utility>
#include <vector>

namespace {

struct Posted {
    uint32_t message, wparam, lparam;
    bool operator==(const Posted&) const = default;
};
void PrintTo(const Posted& p, std::ostream* os) {
    *os << std::hex << "{" << p.message << ", 0x" << p.wparam << ", 0x" << p.lparam << "}";
}

Posted On(int note) {
    return {MM_MIM_DATA, KeyboardSource, 0x7F0090u | note << 8};
}
Posted Off(int note) {
    return {MM_MIM_DATA, KeyboardSource, 0x80u | note << 8};
}
const Posted kStepUp{MM_MIM_DATA, KeyboardSource, 0xFF00C0};
const Posted kStepDown{MM_MIM_DATA, KeyboardSource, 0x0100C0};

class Owner : public MessageWindow {
public:
    std::vector<Posted> Take() {
        QCoreApplication::sendPostedEvents(this, PostedMessage::EventType());
        return std::exchange(got_, {});
    }

protected:
    void Dispatch(const PostedMessage& m) override {
        got_.push_back({m.Message, m.WParam, m.LParam});
    }

private:
    std::vector<Posted> got_;
};

struct Keyboard {
    Keyboard() : form(new TFormKBD(&owner)) {}
    Owner owner;
    TFormKBD* form; // owned by owner
};

// A press or release as Qt reports a held key's repeats.
void Repeat(QWidget* w, bool press, Qt::Key key) {
    QTest::simulateEvent(w, press, key, Qt::NoModifier, QString(), true);
}

} // namespace

TEST(MiniKeyboard, EachLetterPlaysItsNoteAndNothingElseDoes) {
    Keyboard k;
    for (int i = 0; i < TFormKBD::kKeyCount; ++i) {
        const auto key = static_cast<Qt::Key>(TFormKBD::NoteKeys[i]);
        QTest::keyClick(k.form, key);
        EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{On(60 + i), Off(60 + i)}))
            << TFormKBD::NoteKeys[i];
    }
    // T lies between F and G; digits of the main row have no note.
    for (Qt::Key key : {Qt::Key_T, Qt::Key_0, Qt::Key_5, Qt::Key_9, Qt::Key_Space})
        QTest::keyClick(k.form, key);
    QTest::keyClick(k.form, Qt::Key_S, Qt::ShiftModifier); // the shift state doesn't matter
    EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{On(60), Off(60)}));
}

TEST(MiniKeyboard, AHeldKeyRepeatsItsNoteOnAndReleasesOnce) {
    Keyboard k;
    QTest::keyPress(k.form, Qt::Key_D);
    for (int i = 0; i < 3; ++i) {
        Repeat(k.form, false, Qt::Key_D);
        Repeat(k.form, true, Qt::Key_D);
    }
    QTest::keyRelease(k.form, Qt::Key_D);
    EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{On(62), On(62), On(62), On(62), Off(62)}));
}

TEST(MiniKeyboard, CursorKeysAndStepButtonsStepThroughThePresets) {
    Keyboard k;
    QTest::keyPress(k.form, Qt::Key_Up);
    QTest::keyRelease(k.form, Qt::Key_Up);
    QTest::keyClick(k.form, Qt::Key_Down);
    QTest::mouseClick(k.form->SpeedButtonUp, Qt::LeftButton);
    QTest::mouseClick(k.form->SpeedButtonDown, Qt::LeftButton);
    EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{kStepUp, kStepDown, kStepUp, kStepDown}));
}

// Clicks go through the window, which finds the key under the pointer.
TEST(MiniKeyboard, AnyButtonPlaysTheKeyOnTopWhereKeysOverlap) {
    Keyboard k;
    k.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(k.form));
    QWidget* panel = k.form->PanelKeyboard;
    struct Case {
        QPoint at; // in the keyboard panel
        Qt::MouseButton button;
        int note;
    };
    const Case cases[] = {
        {{12, 70}, Qt::LeftButton, 60},  // c3, below the black keys
        {{30, 10}, Qt::LeftButton, 61},  // c3_ over c3 and e3
        {{30, 60}, Qt::RightButton, 60}, // c3 again, with the other button
        {{236, 40}, Qt::MiddleButton, 72},
    };
    for (const Case& c : cases) {
        const QPoint at = panel->mapTo(k.form, c.at);
        QTest::mouseClick(k.form->windowHandle(), c.button, {}, at);
        EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{On(c.note), Off(c.note)})) << c.note;
    }

    // The pressed key shows a border until it is let go.
    QFrame* key = k.form->Keys[4];
    ASSERT_EQ(TagOf(key), 64);
    QTest::mousePress(key, Qt::LeftButton);
    EXPECT_NE(key->frameStyle(), QFrame::NoFrame);
    QTest::mouseRelease(key, Qt::LeftButton);
    EXPECT_EQ(key->frameStyle(), QFrame::NoFrame);
}

// A letter released while another window has the keys would never post its
// note off: losing the keys lets go of every held letter.
TEST(MiniKeyboard, LosingTheKeyboardReleasesHeldLetters) {
    Keyboard k;
    QWidget other;
    k.form->show();
    other.show();
    k.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(k.form));
    QTest::keyPress(k.form, Qt::Key_S);
    QTest::keyPress(k.form, Qt::Key_L);
    QTest::keyClick(k.form, Qt::Key_G);
    EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{On(60), On(72), On(65), Off(65)}));

    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{Off(60), Off(72)}));
    // The late release posts a second note off, which changes nothing.
    QTest::keyRelease(k.form, Qt::Key_S);
    EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{Off(60)}));

    // Closing the window while a key is held lets go too.
    k.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(k.form));
    QTest::keyPress(k.form, Qt::Key_K);
    k.form->close();
    EXPECT_EQ(k.owner.Take(), (std::vector<Posted>{On(71), Off(71)}));
}

// The letters and note names keep their greyed look, and can still be read.
TEST(MiniKeyboard, LettersAndNoteNamesAreReadable) {
    Keyboard k;
    for (const QPushButton* letter : k.form->KeymapButtons) {
        EXPECT_FALSE(letter->isEnabled());
        const QPalette& p = letter->palette();
        EXPECT_GE(ContrastRatio(p.color(QPalette::Disabled, QPalette::ButtonText),
                                p.color(QPalette::Window)),
                  4.5)
            << letter->text().toStdString();
    }
    for (const QLabel* name : k.form->ScaleLabels) {
        EXPECT_FALSE(name->isEnabled());
        const QPalette& p = name->palette();
        EXPECT_GE(ContrastRatio(p.color(QPalette::Disabled, QPalette::WindowText),
                                p.color(QPalette::Window)),
                  4.5)
            << name->text().toStdString();
    }
}

TEST(MiniKeyboard, TheKeysOfSoundingNotesAreLit) {
    Keyboard k;
    const QColor white = k.form->Keys[0]->palette().color(QPalette::Window);
    const QColor black = k.form->Keys[1]->palette().color(QPalette::Window);
    std::bitset<128> notes;
    for (int note : {30, 61, 64, 72})
        notes.set(note);
    k.form->ShowSounding(notes);
    for (const PianoKey* key : k.form->Keys) {
        const int note = TagOf(key);
        const bool lit = note == 61 || note == 64 || note == 72;
        EXPECT_EQ(key->Sounding(), lit) << note;
        const QColor unlit = key->geometry().height() == 80 ? white : black;
        EXPECT_EQ(key->palette().color(QPalette::Window) != unlit, lit) << note;
    }
    k.form->ShowSounding({});
    for (const PianoKey* key : k.form->Keys)
        EXPECT_FALSE(key->Sounding());
    EXPECT_EQ(k.form->Keys[0]->palette().color(QPalette::Window), white);
}

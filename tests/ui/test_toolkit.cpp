#include "boxcatcher.h"
#include "error.h"
#include "synth/operatorfields.h"
#include "ui/accessiblenames.h"
#include "ui/appicon.h"
#include "ui/tips.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <fstream>

namespace {

// ---- the event rule -------------------------------------------------------

struct TrackBarCase {
    const char* what;
    int start;
    std::function<void(QSlider&)> act;
    int calls;
    int value;
};

TEST(EventRule, TrackBarRunsItsHandlerOnlyOnARealChangeAfterClamping) {
    const TrackBarCase cases[] = {
        {"same position", 5, [](QSlider& s) { s.setValue(5); }, 0, 5},
        {"new position", 5, [](QSlider& s) { s.setValue(9); }, 1, 9},
        {"above the range is clamped", 5, [](QSlider& s) { s.setValue(100); }, 1, 63},
        {"above the range while at the maximum", 63, [](QSlider& s) { s.setValue(100); }, 0, 63},
        {"below the range while at the minimum", 0, [](QSlider& s) { s.setValue(-4); }, 0, 0},
        {"range shrunk under the position", 40, [](QSlider& s) { s.setRange(0, 31); }, 1, 31},
        {"user presses a key", 5, [](QSlider& s) { QTest::keyClick(&s, Qt::Key_Right); }, 1, 6},
        {"user presses End", 5, [](QSlider& s) { QTest::keyClick(&s, Qt::Key_End); }, 1, 63},
    };
    for (const TrackBarCase& c : cases) {
        QSlider bar(Qt::Horizontal);
        bar.setRange(0, 63);
        bar.setValue(c.start);
        int calls = 0;
        OnTrackBarChange(&bar, [&] { ++calls; });
        c.act(bar);
        EXPECT_EQ(calls, c.calls) << c.what;
        EXPECT_EQ(bar.value(), c.value) << c.what;
    }
}

TEST(EventRule, CheckBoxRunsItsHandlerOnlyOnARealChange) {
    QWidget window;
    QCheckBox box("Mute", &window);
    box.setGeometry(0, 0, 200, 20); // wider than its text: the click must hit the indicator
    int calls = 0;
    OnCheckBoxClick(&box, [&] { ++calls; });
    box.setChecked(false);
    EXPECT_EQ(calls, 0);
    box.setChecked(true);
    EXPECT_EQ(calls, 1);
    box.setChecked(true);
    EXPECT_EQ(calls, 1);

    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect indicator =
        box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    QTest::mouseClick(&box, Qt::LeftButton, {}, indicator.center());
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(box.isChecked());
}

TEST(EventRule, ComboBoxRunsNoHandlerWhenTheProgramSetsIt) {
    QComboBox box;
    box.addItems({"0", "1", "2", "3"});
    int changes = 0, selects = 0;
    OnComboBoxChange(&box, [&] { ++changes; });
    OnComboBoxSelect(&box, [&] { ++selects; });
    box.setCurrentIndex(2);
    box.clear();
    box.addItems({"a", "b", "c"});
    box.setCurrentIndex(0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(selects, 0);

    QTest::keyClick(&box, Qt::Key_Down);
    EXPECT_EQ(box.currentIndex(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(selects, 1);
}

TEST(EventRule, EditableComboBoxChangesOnTypingButNotOnProgramText) {
    EditableComboBox box;
    box.addItems({"+100", "0 cents", "-100"});
    int changes = 0;
    OnComboBoxChange(&box, [&] { ++changes; });
    box.setEditText("+50");
    box.setCurrentIndex(1);
    EXPECT_EQ(changes, 0);
    QTest::keyClicks(&box, "7");
    EXPECT_EQ(changes, 1);
}

TEST(EventRule, VerticalTrackBarHasItsMinimumAtTheTop) {
    struct Probe : QSlider {
        using QSlider::initStyleOption;
        QRect Handle() {
            QStyleOptionSlider option;
            initStyleOption(&option);
            return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle,
                                           this);
        }
    } bar;
    bar.setRange(0, 15);
    SetMinimumAtTop(&bar);
    bar.resize(30, 200);
    bar.setValue(0);
    const int top = bar.Handle().center().y();
    bar.setValue(15);
    EXPECT_LT(top, bar.Handle().center().y());

    bar.setValue(8);
    QTest::keyClick(&bar, Qt::Key_Up);
    EXPECT_EQ(bar.value(), 7); // the thumb moves up, toward the minimum
}

// ---- errors reach the error box and the loop goes on -----------------------

TEST(Errors, HandlerErrorIsShownAndTheNextEventStillRuns) {
    BoxCatcher catcher;
    QPushButton button("Go");
    int runs = 0;
    OnClick(&button, [&] {
        ++runs;
        throw Error("Save preset failed");
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 2);
    ASSERT_EQ(catcher.boxes.size(), 2u);
    EXPECT_EQ(catcher.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(catcher.boxes[0].text, "Save preset failed");
    EXPECT_EQ(catcher.boxes[0].caption, "VI 801");
}

// Records every message; throws for message 666.
class Recorder : public MessageWindow {
public:
    struct Entry {
        uint32_t message, wparam, lparam;
    };
    std::vector<Entry> entries;

protected:
    void Dispatch(const PostedMessage& m) override {
        entries.push_back({m.Message, m.WParam, m.LParam});
        if (m.Message == 666) throw Error("Invalid data type for 'BootConfig'");
    }
};

void WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i)
        QTest::qWait(10);
}

TEST(PostedMessages, DeliveredLaterOneAtATimeInOrder) {
    Recorder window;
    PostMessage(&window, 963, 0xFEED, 0x7F3C90);
    PostMessage(&window, 963, 0xFEED, 0x3C80);
    PostMessage(&window, 961, 0, 0);
    EXPECT_TRUE(window.entries.empty()); // posting returns before delivery
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(window.entries.size(), 3u);
    EXPECT_EQ(window.entries[0].lparam, 0x7F3C90u);
    EXPECT_EQ(window.entries[0].wparam, 0xFEEDu);
    EXPECT_EQ(window.entries[1].lparam, 0x3C80u);
    EXPECT_EQ(window.entries[2].message, 961u);
}

TEST(PostedMessages, KeepTheOrderOfEachPosterAcrossThreads) {
    Recorder window;
    constexpr uint32_t kEach = 2000;
    // The input thread's messages interleave with the GUI thread's, each in
    // its own order.
    std::unique_ptr<QThread> input(QThread::create([&window] {
        for (uint32_t i = 0; i < kEach; ++i)
            PostMessage(&window, 963, 1, i);
    }));
    input->start();
    for (uint32_t i = 0; i < kEach; ++i)
        PostMessage(&window, 963, 0xFEED, i);
    input->wait();
    WaitFor([&] { return window.entries.size() >= 2 * kEach; });
    ASSERT_EQ(window.entries.size(), 2 * kEach);
    uint32_t next[2] = {0, 0};
    for (const auto& e : window.entries) {
        uint32_t& expected = next[e.wparam == 0xFEED ? 0 : 1];
        ASSERT_EQ(e.lparam, expected);
        ++expected;
    }
}

TEST(PostedMessages, WithoutATargetTheyAreLost) {
    Recorder window;
    PostMessage(nullptr, 963, 0, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(window.entries.empty());
}

TEST(PostedMessages, AnErrorInDispatchIsShownAndTheLoopGoesOn) {
    BoxCatcher catcher;
    Recorder window;
    PostMessage(&window, 1, 0, 0);
    PostMessage(&window, 666, 0, 0);
    PostMessage(&window, 3, 0, 0);
    WaitFor([&] { return window.entries.size() >= 3; });
    ASSERT_EQ(window.entries.size(), 3u);
    EXPECT_EQ(window.entries[2].message, 3u);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, "Invalid data type for 'BootConfig'");
    EXPECT_EQ(catcher.boxes[0].caption, "VI 801");
}

// ---- message boxes ---------------------------------------------------------

TEST(MessageBoxes, RealBoxesHaveIconCaptionOkAndNoOwner) {
    struct Expect {
        std::function<void()> show;
        QMessageBox::Icon icon;
        QString caption, text;
    };
    const Expect cases[] = {
        {[] { ShowMessageBox("You must supply a name for the preset", "Error"); },
         QMessageBox::Warning, "Error", "You must supply a name for the preset"},
        {[] { ShowErrorBox("Couldn't access giveio device"); }, QMessageBox::Critical, "VI 801",
         "Couldn't access giveio device"},
    };
    for (const Expect& c : cases) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = true;
            EXPECT_EQ(box->icon(), c.icon);
            EXPECT_EQ(box->windowTitle(), c.caption);
            EXPECT_EQ(box->text(), c.text);
            EXPECT_EQ(box->parentWidget(), nullptr);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        });
        c.show();
        EXPECT_TRUE(seen);
    }
}

TEST(ApplicationTest, TitleAndTerminate) {
    auto* app = dynamic_cast<Application*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(QCoreApplication::applicationName(), "VI 801");
    EXPECT_FALSE(app->Terminated());
}

// ---- keys ------------------------------------------------------------------

TEST(VirtualKeys, Codes) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        int code;
    };
    const Case cases[] = {
        {Qt::Key_Return, Qt::NoModifier, 13},     {Qt::Key_Enter, Qt::KeypadModifier, 13},
        {Qt::Key_S, Qt::NoModifier, 'S'},         {Qt::Key_S, Qt::ShiftModifier, 'S'},
        {Qt::Key_5, Qt::NoModifier, '5'},         {Qt::Key_5, Qt::KeypadModifier, 0x65},
        {Qt::Key_Exclam, Qt::ShiftModifier, '1'}, {Qt::Key_Up, Qt::NoModifier, 38},
        {Qt::Key_Down, Qt::NoModifier, 40},       {Qt::Key_Left, Qt::NoModifier, 37},
        {Qt::Key_Escape, Qt::NoModifier, 27},     {Qt::Key_F1, Qt::NoModifier, 112},
        {Qt::Key_F12, Qt::NoModifier, 123},       {Qt::Key_Backspace, Qt::NoModifier, 8},
        {Qt::Key_Delete, Qt::NoModifier, 46},     {Qt::Key_Space, Qt::NoModifier, 32},
        {Qt::Key_Minus, Qt::NoModifier, 0xBD},    {Qt::Key_Minus, Qt::KeypadModifier, 0x6D},
        {Qt::Key_unknown, Qt::NoModifier, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VirtualKeyCode(c.key, c.modifiers), c.code) << std::hex << c.key;
}

TEST(EditableComboBoxTest, KeyUpGivesVirtualKeysAndEnterPicksNothingByItself) {
    EditableComboBox box;
    box.addItems({"Bell", "Organ"});
    box.setCurrentIndex(-1);
    box.setEditText("");
    std::vector<int> keys;
    int activations = 0;
    box.OnKeyUp([&](int key) { keys.push_back(key); });
    QObject::connect(&box, &QComboBox::activated, [&] { ++activations; });

    QTest::keyClicks(&box, "Bell");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(keys, (std::vector<int>{'B', 'E', 'L', 'L', 13}));
    EXPECT_EQ(box.currentText(), "Bell");
    EXPECT_EQ(box.currentIndex(), -1);
    EXPECT_EQ(activations, 0);
    EXPECT_EQ(box.count(), 2); // typed text never becomes an item
    EXPECT_EQ(box.completer(), nullptr);

    // Auto-repeat: only the real release counts.
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a", true);
    QApplication::sendEvent(&box, &repeat);
    EXPECT_EQ(keys.size(), 5u);
}

TEST(EditableComboBoxTest, TypingDeselectsAndLeavingPicksNothing) {
    QWidget window;
    auto* box = new EditableComboBox(&window);
    auto* other = new QPushButton("Save", &window);
    other->move(0, 40);
    box->addItems({"Bell", "Organ"});
    int activations = 0;
    QObject::connect(box, &QComboBox::activated, [&] { ++activations; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    box->setCurrentIndex(1);
    box->setFocus();
    box->lineEdit()->setCursorPosition(2);
    QTest::keyClick(box, Qt::Key_X);
    EXPECT_EQ(box->currentText(), "Orxgan");
    EXPECT_EQ(box->currentIndex(), -1);
    QTest::keyClick(box, Qt::Key_Y); // the cursor stays where the user typed
    EXPECT_EQ(box->currentText(), "Orxygan");

    // Text naming an item exactly is still no pick when the focus moves on.
    box->lineEdit()->selectAll();
    QTest::keyClicks(box, "Bell");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(activations, 0);
}

TEST(EditableComboBoxTest, KeyUpErrorIsShown) {
    BoxCatcher catcher;
    EditableComboBox box;
    box.OnKeyUp([](int) { throw Error("Save preset failed"); });
    QTest::keyClick(&box, Qt::Key_X);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, "Save preset failed");
}

// ---- name/value list ---------------------------------------------------------

TEST(ValueListEditorTest, FixedKeysAndValuesLookedUpByKey) {
    ValueListEditor list;
    list.SetTitles("Function", "Value");
    list.AddRow("Master Tuning ", "6");
    list.AddRow("Master Volume ", "7");
    list.AddRow("Operator Attack", "73");
    EXPECT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.horizontalHeaderItem(0)->text(), "Function");
    EXPECT_EQ(list.horizontalHeaderItem(1)->text(), "Value");
    EXPECT_EQ(list.Value("Master Volume "), "7");
    EXPECT_EQ(list.Value("Master Volume"), ""); // keys compare exactly
    EXPECT_EQ(list.Key(2), "Operator Attack");
    list.SetValue("Operator Attack", "-1");
    EXPECT_EQ(list.Value("Operator Attack"), "-1");

    // The user edits a value in place; a key can't be edited.
    list.resize(400, 200);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.setCurrentCell(1, 1);
    list.editItem(list.item(1, 1));
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "12");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate commits later
    EXPECT_EQ(list.Value("Master Volume "), "12");

    list.setCurrentCell(0, 0);
    list.editItem(list.item(0, 0));
    EXPECT_EQ(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr);
    EXPECT_FALSE(list.item(0, 0)->flags() & Qt::ItemIsEditable);
}

// A value's tooltip is made from its text when it is asked for.
TEST(ValueListEditorTest, ValueTipsAreMadeFromTheValueText) {
    ValueListEditor list;
    list.AddRow("Operator Attack", "-1");
    list.AddRow("Master Volume ", "7");
    EXPECT_EQ(list.ValueTip(0), "");
    list.SetValueTip([](const QString& value) { return "value " + value; });
    EXPECT_EQ(list.ValueTip(0), "value -1");
    list.SetValue("Master Volume ", "12");
    EXPECT_EQ(list.ValueTip(1), "value 12");
    list.resize(400, 200);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QPoint at = list.visualItemRect(list.item(1, 1)).center();
    QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "value 12");
    QToolTip::hideText();
}

// ---- tooltips, fresh lists, placement, contrast -----------------------------------

TEST(Tips, MadeFromTheValueWhenAskedForAndBesideTheHandleWhileDragged) {
    QWidget window;
    window.resize(200, 200);
    auto* bar = new QSlider(&window);
    SetMinimumAtTop(bar);
    bar->setRange(0, 15);
    bar->setGeometry(10, 10, 34, 121);
    auto* box = new QCheckBox("Hold", &window);
    box->move(60, 10);
    SetTip(bar, [](int v) { return QString("rate %1").arg(v); });
    SetTip(box, [](int on) { return on ? QString("held") : QString("free"); });
    EXPECT_EQ(TipOf(bar), "rate 0");
    bar->setValue(9);
    EXPECT_EQ(TipOf(bar), "rate 9");
    EXPECT_EQ(TipOf(box), "free");
    box->setChecked(true);
    EXPECT_EQ(TipOf(box), "held");
    EXPECT_EQ(TipOf(&window), "");                     // no tip there
    SetTip(box, [](int) { return QString("again"); }); // a second tip replaces the first
    EXPECT_EQ(TipOf(box), "again");

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QHelpEvent help(QEvent::ToolTip, {5, 5}, box->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box, &help);
    EXPECT_EQ(QToolTip::text(), "again");

    // While the handle is dragged, the tip shows the value under it, and
    // moves with it.
    bar->setSliderDown(true);
    bar->setSliderPosition(3);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "rate 3");
    bar->setSliderPosition(12);
    EXPECT_EQ(QToolTip::text(), "rate 12");
    bar->setSliderDown(false);
    QToolTip::hideText();
}

// What a screen reader calls a control says whose it is; so does its
// description.
TEST(AccessibleNames, SayWhichOperatorVoiceOrNoteAControlIsFor) {
    const struct {
        AccessibleText text;
        const char* name;
        const char* described; // a part of the description
    } cases[] = {
        {OperatorFieldAccessible(2, kFieldAttack), "Operator 3 attack rate", "operator 3 rises"},
        {OperatorFieldAccessible(0, kFieldWaveform), "Operator 1 waveform", "operator 1's"},
        {OperatorFieldAccessible(5, kFieldVolume), "Operator 6 volume", "level of operator 6"},
        {OperatorCcAccessible(3), "Operator 4 follows velocity and controllers", "operator 4"},
        {OperatorFrameAccessible(4), "Operator 5", "operator 5;"},
        {VoiceAccessible(VoiceField::OutputA), "Operators 1 to 4 left output",
         "On, operators 1 to 4 are heard on the left"},
        {VoiceAccessible(VoiceField::OutputB2), "Operators 5 and 6 right output",
         "operators 5 and 6 are heard on the right"},
        {VoiceAccessible(VoiceField::Feedback2), "Operator 5 feedback", "operator 5 feeds"},
        {TuningAccessible(Tuning::Voice2), "Operators 5 and 6 tuning", "Tunes operators 5 and 6"},
        {TuningAccessible(Tuning::Transpose), "Transpose", "both voices"},
        {ControlAccessible("TrackBarVolume"), "Output volume", "card's output"},
        {PianoKeyAccessible(61), "Key C sharp 4", "Plays C sharp 4"},
        {LetterKeyAccessible('L', 72), "Letter L plays C5", "Holding L"},
        {ControllerValueAccessible("Master Pan "), "Master Pan controller", "moves Master Pan;"},
        {ControlAccessible("LabelNoSuchControl"), "", ""},
        {OperatorFieldAccessible(0, kOperatorFieldCount), "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text.name, c.name);
        EXPECT_NE(c.text.description.find(c.described), std::string::npos)
            << c.text.description << " lacks " << c.described;
    }
}

TEST(FreshListTest, ReadsItsItemsAgainJustBeforeItOpens) {
    QWidget window;
    auto* list = MakeList<FreshList>(&window, "List", {"a"}, 0, 0, 100);
    int opened = 0;
    list->OnOpen([&] {
        ++opened;
        list->addItem("new");
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(list, Qt::LeftButton);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(list->count(), 2);
    list->hidePopup();
}

TEST(Placement, BesideTheOwnerWhereTheScreenHasRoomOrHidingTheLeastOfWhatMatters) {
    const QSize keyboard(324, 237);
    struct Case {
        const char* what;
        QRect screen, owner;
        QPoint at;
    };
    const Case cases[] = {
        {"room on the right", {0, 0, 1920, 1080}, {468, 219, 984, 641}, {1452, 219}},
        {"at the right edge", {0, 0, 1920, 1080}, {936, 219, 984, 641}, {612, 219}},
        {"room below only", {0, 0, 1024, 1080}, {20, 0, 984, 641}, {20, 641}},
        {"a second screen", {1920, 0, 1920, 1080}, {2388, 219, 984, 641}, {3372, 219}},
        // No room anywhere: over the top row rather than over the frames.
        {"no room", {0, 0, 1280, 800}, {148, 79, 984, 641}, {148, 0}},
    };
    for (const Case& c : cases) {
        const QRect frames(c.owner.left() + 1, c.owner.top() + 108, 981, 530);
        EXPECT_EQ(PlaceBeside(c.owner, frames, keyboard, c.screen), c.at) << c.what;
    }
}

TEST(Contrast, RatiosOfColoursAsTheGuidelinesDefineThem) {
    const std::tuple<QColor, QColor, double> cases[] = {
        {Qt::black, Qt::white, 21.0},
        {Qt::white, Qt::black, 21.0},
        {QColor(0x77, 0x77, 0x77), Qt::white, 4.48},
        {QColor(0xBE, 0xBE, 0xBE), QColor(0xEF, 0xEF, 0xEF), 1.62},
        {Qt::red, Qt::red, 1.0},
    };
    for (const auto& [a, b, ratio] : cases)
        EXPECT_NEAR(ContrastRatio(a, b), ratio, 0.01) << a.name().toStdString();
}

// ---- JPEG picture ---------------------------------------------------------------

std::string EncodeJpeg(int width, int height, const std::function<QRgb(int, int)>& colour) {
    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb c = colour(x, y);
            unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = qRed(c);
            p[1] = qGreen(c);
            p[2] = qBlue(c);
        }
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_444, 95, 0);
    std::string bytes(reinterpret_cast<char*>(out), size);
    tjFree(out);
    tjDestroy(handle);
    return bytes;
}

bool Near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 24 && std::abs(qGreen(a) - qGreen(b)) < 24 &&
           std::abs(qBlue(a) - qBlue(b)) < 24;
}

TEST(JpegImageTest, LoadsAPictureWhoseRowsAreNotMultiplesOfFourBytes) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("cnt3.jpg").toStdString();
    // Red left of x = 73, blue right of it; 146 pixels make 438-byte rows.
    std::ofstream(path, std::ios::binary) << EncodeJpeg(
        146, 66, [](int x, int) { return x < 73 ? qRgb(255, 0, 0) : qRgb(0, 0, 255); });
    JpegImage image;
    image.Load(path);
    const QImage& picture = image.Picture();
    ASSERT_EQ(picture.size(), QSize(146, 66));
    for (int y : {0, 33, 65}) {
        EXPECT_TRUE(Near(picture.pixel(2, y), qRgb(255, 0, 0))) << y;
        EXPECT_TRUE(Near(picture.pixel(60, y), qRgb(255, 0, 0))) << y;
        EXPECT_TRUE(Near(picture.pixel(86, y), qRgb(0, 0, 255))) << y;
        EXPECT_TRUE(Near(picture.pixel(145, y), qRgb(0, 0, 255))) << y;
    }
    EXPECT_FALSE(image.pixmap().isNull());
}

// A screen of device pixel ratio 2 shows the picture drawn at twice the
// pixels, as large in the window; without one the named picture shows.
TEST(JpegImageTest, ShowsThePictureDrawnForTheScreensRatio) {
    QTemporaryDir dir;
    const auto put = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir.filePath(name).toStdString(), std::ios::binary) << bytes;
    };
    const auto plain = [](QRgb c) { return [c](int, int) { return c; }; };
    put("cnt3.jpg", EncodeJpeg(146, 66, plain(qRgb(255, 0, 0))));
    put("cnt3@2x.jpg", EncodeJpeg(292, 132, plain(qRgb(0, 160, 0))));
    put("cnt4.jpg", EncodeJpeg(146, 66, plain(qRgb(255, 0, 0))));
    put("cnt4@2x.jpg", "broken");
    struct Case {
        const char* name;
        qreal ratio;
        int scale;
        QRgb colour;
    };
    const Case cases[] = {
        {"cnt3.jpg", 1.0, 1, qRgb(255, 0, 0)}, {"cnt3.jpg", 1.25, 2, qRgb(0, 160, 0)},
        {"cnt3.jpg", 2.0, 2, qRgb(0, 160, 0)}, {"cnt3.jpg", 3.0, 2, qRgb(0, 160, 0)},
        {"cnt4.jpg", 2.0, 1, qRgb(255, 0, 0)},
    };
    for (const Case& c : cases) {
        JpegImage image;
        image.Load(dir.filePath(c.name).toStdString(), c.ratio);
        const QPixmap pixmap = image.pixmap();
        EXPECT_EQ(pixmap.devicePixelRatio(), c.scale) << c.name << " at " << c.ratio;
        EXPECT_EQ(pixmap.size(), QSize(146, 66) * c.scale) << c.name << " at " << c.ratio;
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(146, 66)) << c.name << " at " << c.ratio;
        EXPECT_EQ(image.sizeHint(), QSize(146, 66)) << c.name << " at " << c.ratio;
        EXPECT_TRUE(Near(image.Picture().pixel(10, 10), c.colour)) << c.name << " at " << c.ratio;
    }
}

TEST(JpegImageTest, ThePictureForARatioIsNamedBesideTheOne) {
    const std::pair<qreal, int> scales[] = {{0.5, 1}, {1, 1},   {1.01, 2}, {1.5, 2},
                                            {2, 2},   {2.5, 3}, {3, 3},    {4, 3}};
    for (const auto& [ratio, scale] : scales)
        EXPECT_EQ(PictureScale(ratio), scale) << ratio;
    struct Path {
        const char* path;
        int scale;
        const char* scaled;
    };
    const Path paths[] = {
        {"img/cnt3.jpg", 1, "img/cnt3.jpg"},
        {"img/cnt3.jpg", 2, "img/cnt3@2x.jpg"},
        {"img/cnt3.jpg", 3, "img/cnt3@3x.jpg"},
        {"my.pictures/cnt3", 2, "my.pictures/cnt3@2x"},
    };
    for (const Path& p : paths)
        EXPECT_EQ(ScaledPicturePath(p.path, p.scale), p.scaled) << p.path;
}

// The icon at a device pixel ratio is drawn at its pixels, not enlarged.
TEST(ProgramIconTest, IsDrawnAtTheRatioAsked) {
    const QIcon icon = ProgramIcon();
    for (const qreal ratio : {1.0, 2.0, 3.0}) {
        const QPixmap pixmap = icon.pixmap(QSize(24, 24), ratio);
        EXPECT_EQ(pixmap.devicePixelRatio(), ratio);
        EXPECT_EQ(pixmap.size(), QSize(24, 24) * ratio);
        EXPECT_EQ(pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  DrawProgramIcon(static_cast<int>(24 * ratio)))
            << ratio;
    }
    EXPECT_TRUE(icon.availableSizes().contains(QSize(48, 48)));
}

TEST(JpegImageTest, MissingOrBrokenFileRaises) {
    QTemporaryDir dir;
    const std::string good = EncodeJpeg(32, 16, [](int, int) { return qRgb(0, 128, 0); });
    const std::pair<const char*, std::string> broken[] = {
        {"empty.jpg", ""},
        {"text.jpg", "not a picture at all"},
        {"half.jpg", good.substr(0, good.size() / 2)},
        {"header.jpg", good.substr(0, 2)},
    };
    for (const auto& [name, bytes] : broken) {
        const std::string path = dir.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        JpegImage image;
        EXPECT_THROW(image.Load(path), Error) << name;
    }
    JpegImage image;
    try {
        image.Load(dir.filePath("img/cnt9.jpg").toStdString());
        ADD_FAILURE() << "no error for a missing file";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("cnt9.jpg"), std::string::npos);
    }
}
} // namespace

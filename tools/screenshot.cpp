// Saves a picture of the main window as it starts on the emulated card,
// without the detection dialog, or a scene of it or of its other windows.
// Run it in data/ so the connection picture shows; under xvfb-run for a
// display of its own (QT_SCALE_FACTOR=2 shows a high-DPI screen).
//
//   usage: vi801_screenshot <file.png> [window|tooltip|drag|keyboard|activity|presets|controllers]
//          vi801_screenshot <file.png> browser <folder>...
//
// window    the main window as it starts (the README's picture)
// tooltip   an operator's attack bar with its tooltip open
// drag      the volume bar of operator 5 being dragged, its value beside the handle
// keyboard  the mini keyboard beside the window, a chord sounding
// activity  the MIDI panel while input arrives on another channel
// presets   the preset panel after a 4op and a 2op preset
// controllers the controller window
// browser   the sound browser listing the folders given (the first as its
//           library, the others opened), its first instrument chosen
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "midi/postedmessage.h"
#include "midi/shortmessage.h"
#include "ui/browserform.h"
#include "ui/ccform.h"
#include "ui/kbdform.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/toolkit.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QToolTip>

#include <cstdio>
#include <string>
#include <vector>

namespace {

QPixmap Browser(TFormMain& form, const std::vector<const char*>& folders) {
    form.LibraryFolder = folders.at(0);
    form.ButtonBrowseClick();
    TFormBrowser& browser = *form.BrowserForm;
    std::vector<std::filesystem::path> opened(folders.begin() + 1, folders.end());
    browser.OpenFiles(opened);
    if (!QTest::qWaitForWindowExposed(&browser) ||
        !QTest::qWaitFor([&browser] { return !browser.Reading(); }, 10000))
        return {};
    browser.TableInstruments->setCurrentIndex(browser.TableInstruments->model()->index(0, 0));
    QTest::qWait(200);
    return browser.grab();
}

void Play(TFormMain& form, uint8_t status, uint8_t note, uint8_t velocity = 100) {
    PostMessage(&form, MM_MIM_DATA, 1, PackShortMessage({status, note, velocity}));
    QCoreApplication::sendPostedEvents(&form, PostedMessage::EventType());
}

// The open tooltip, if any.
QWidget* OpenTip() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel") && top->isVisible()) return top;
    return nullptr;
}

// What the screen shows of the window and whatever lies over or beside it.
QPixmap Screen(QRect area) {
    QTest::qWait(300);
    if (QWidget* tip = OpenTip()) area = area.united(tip->geometry().adjusted(-8, -8, 8, 8));
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                        area.height());
}

QRect Around(const QWidget* widget, int margin) {
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size())
        .adjusted(-margin, -margin, margin, margin);
}

void AskTip(QWidget* control) {
    const QPoint at = control->rect().center();
    QHelpEvent help(QEvent::ToolTip, at, control->mapToGlobal(at));
    QApplication::sendEvent(control, &help);
}

QPixmap Scene(TFormMain& form, const std::string& scene) {
    if (scene == "tooltip") {
        TFrameOp& op = *form.OperatorFrames[1];
        op.TrackBarAttack->setValue(11);
        AskTip(op.TrackBarAttack);
        return Screen(form.frameGeometry());
    }
    if (scene == "drag") {
        QSlider* bar = form.OperatorFrames[4]->TrackBarVolume;
        bar->setSliderDown(true);
        bar->setSliderPosition(44);
        return Screen(Around(form.OperatorFrames[4]->parentWidget(), 4));
    }
    if (scene == "keyboard") {
        form.CheckBoxChorder->setChecked(true);
        form.ButtonKbdClick();
        if (!QTest::qWaitForWindowExposed(form.KeyboardForm)) return {};
        Play(form, 0x90, 62);
        return Screen(form.frameGeometry().united(form.KeyboardForm->frameGeometry()));
    }
    if (scene == "activity") {
        // A player on channel 3 while channel 1 is played: the light is
        // caught while the messages go on.
        for (int i = 0; i < 12; ++i) {
            Play(form, i % 2 ? 0x82 : 0x92, 60);
            QTest::qWait(25);
        }
        const QRect area = Around(form.PanelMidi, 2);
        return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                            area.height());
    }
    if (scene == "controllers") {
        form.ControllerForm->show();
        if (!QTest::qWaitForWindowExposed(form.ControllerForm)) return {};
        QTest::qWait(200);
        return form.ControllerForm->grab();
    }
    if (scene == "presets") {
        form.ComboBoxBank->setCurrentIndex(1);
        RunComboBoxSelect(form.ComboBoxBank);
        form.LoadPresetByName("Nylon Guitar");
        form.ComboBoxBank->setCurrentIndex(0);
        RunComboBoxSelect(form.ComboBoxBank);
        form.ComboBoxPreset->setCurrentIndex(form.ComboBoxPreset->findText("Clarinet"));
        RunComboBoxSelect(form.ComboBoxPreset);
        return Screen(Around(form.PanelPreset, 2));
    }
    return form.grab();
}

} // namespace

int main(int argc, char** argv) {
    const std::string scene = argc >= 3 ? argv[2] : "window";
    if (argc < 2 || (scene == "browser" ? argc < 4 : argc > 3)) {
        std::fprintf(
            stderr,
            "usage: %s <file.png> [window|tooltip|drag|keyboard|activity|presets|controllers]\n"
            "       %s <file.png> browser <folder>...\n",
            argv[0], argv[0]);
        return 2;
    }
    EmulatedCard card; // silent: no output is started
    ScopedPortBackend backend(card);
    Application application(argc, argv);
    TFormMain form(nullptr, [](QWidget*) { return EmulatedCard::kDefaultBase; });
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    QTest::qWait(200);
    const QPixmap picture =
        scene == "browser" ? Browser(form, {argv + 3, argv + argc}) : Scene(form, scene);
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

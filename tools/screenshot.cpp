// Saves a picture of the main window as it starts on the emulated card,
// without the detection dialog, or of the mini keyboard or the controller
// window. Run it in data/ so the connection picture shows; under xvfb-run
// for a display of its own (QT_SCALE_FACTOR=2 shows a high-DPI screen).
//
//   usage: vi801_screenshot <file.png> [main|keyboard|controllers]
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "ui/ccform.h"
#include "ui/kbdform.h"
#include "ui/mainform.h"
#include "ui/toolkit.h"

#include <QPixmap>
#include <QTest>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const std::string which = argc == 3 ? argv[2] : "main";
    if (argc < 2 || argc > 3 ||
        (which != "main" && which != "keyboard" && which != "controllers")) {
        std::fprintf(stderr, "usage: %s <file.png> [main|keyboard|controllers]\n", argv[0]);
        return 2;
    }
    EmulatedCard card; // silent: no output is started
    ScopedPortBackend backend(card);
    Application application(argc, argv);
    TFormMain form(nullptr, [](QWidget*) { return EmulatedCard::kDefaultBase; });
    QWidget* window = &form;
    if (which == "keyboard") window = form.KeyboardForm;
    if (which == "controllers") window = form.ControllerForm;
    form.show();
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) return 1;
    QTest::qWait(200);
    if (!window->grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

// Saves a picture of the main window as it starts on the emulated card,
// without the detection dialog. Run it in data/ so the connection picture
// shows; under xvfb-run for a display of its own.
//
//   usage: vi801_screenshot <file.png>
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "ui/mainform.h"
#include "ui/toolkit.h"

#include <QPixmap>
#include <QTest>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file.png>\n", argv[0]);
        return 2;
    }
    EmulatedCard card; // silent: no output is started
    ScopedPortBackend backend(card);
    Application application(argc, argv);
    TFormMain form(nullptr, [](QWidget*) { return EmulatedCard::kDefaultBase; });
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    QTest::qWait(200);
    if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

// Saves a picture of the main window as it starts on the emulated card,
// without the detection dialog, and, when asked, one of the sound browser
// listing the folders given (the first as its library, the others opened),
// with its first instrument chosen. Run it in data/ so the connection
// picture shows; under xvfb-run for a display of its own.
//
//   usage: vi801_screenshot <file.png> [<browser.png> <folder>...]
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "ui/browserform.h"
#include "ui/mainform.h"
#include "ui/toolkit.h"

#include <QPixmap>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <vector>

namespace {

bool Save(QWidget& window, const char* file) {
    if (window.grab().save(QString::fromLocal8Bit(file))) return true;
    std::fprintf(stderr, "could not write %s\n", file);
    return false;
}

bool SaveBrowser(TFormMain& form, const char* file, const std::vector<const char*>& folders) {
    form.LibraryFolder = folders.at(0);
    form.ButtonBrowseClick();
    TFormBrowser& browser = *form.BrowserForm;
    std::vector<std::filesystem::path> opened(folders.begin() + 1, folders.end());
    browser.OpenFiles(opened);
    if (!QTest::qWaitForWindowExposed(&browser) ||
        !QTest::qWaitFor([&browser] { return !browser.Reading(); }, 10000))
        return false;
    browser.TableInstruments->setCurrentIndex(browser.TableInstruments->model()->index(0, 0));
    QTest::qWait(200);
    return Save(browser, file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc < 4) {
        std::fprintf(stderr, "usage: %s <file.png> [<browser.png> <folder>...]\n", argv[0]);
        return 2;
    }
    EmulatedCard card; // silent: no output is started
    ScopedPortBackend backend(card);
    Application application(argc, argv);
    TFormMain form(nullptr, [](QWidget*) { return EmulatedCard::kDefaultBase; });
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    QTest::qWait(200);
    if (!Save(form, argv[1])) return 1;
    if (argc >= 4 && !SaveBrowser(form, argv[2], {argv + 3, argv + argc})) return 1;
    return 0;
}

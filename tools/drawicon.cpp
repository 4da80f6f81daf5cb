// Writes the program's icon for the desktop's icon theme:
//   <directory>/hicolor/<n>x<n>/apps/vi801.png for every size the theme uses,
//   and <n>x<n>@2/apps/vi801.png drawn at twice the pixels, for high-DPI screens.
//
//   usage: vi801_drawicon <directory>
#include "ui/appicon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const int size : kProgramIconSizes)
        for (const int scale : {1, 2}) {
            const QString folder = QStringLiteral("%1/hicolor/%2x%2%3/apps")
                                       .arg(QString::fromLocal8Bit(argv[1]))
                                       .arg(size)
                                       .arg(scale > 1 ? QStringLiteral("@2") : QString());
            if (!QDir().mkpath(folder) ||
                !DrawProgramIcon(size * scale).save(folder + "/vi801.png")) {
                std::fprintf(stderr, "could not write %s/vi801.png\n", qPrintable(folder));
                return 1;
            }
        }
    return 0;
}

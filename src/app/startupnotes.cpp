#include "app/startupnotes.h"

#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <cstring>

std::string PortAccessNote(int reason) {
    std::string why = std::strerror(reason);
    if (reason == EPERM || reason == EACCES)
        why += " (port I/O needs root or the capability CAP_SYS_RAWIO)";
    else if (reason == ENOSYS)
        why += " (this kernel has no port I/O)";
    return "no access to the card's I/O ports: " + why + "; --card=emulated plays without the card";
}

namespace {
QtMessageHandler g_qtHandler = nullptr;

void PassOnAllButHarmless(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    if (type == QtWarningMsg && message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"))
        return;
    if (g_qtHandler) g_qtHandler(type, context, message);
}
} // namespace

void QuietHarmlessQtNotes() {
    g_qtHandler = qInstallMessageHandler(PassOnAllButHarmless);
}

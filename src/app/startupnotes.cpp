#include "app/startupnotes.h"

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

#include "hardware/giveio.h"

#include "error.h"

#include <cerrno>

#if defined(__x86_64__) || defined(__i386__)
#define VI801_HAVE_PORT_IO 1
#include <sys/io.h>
#endif

const char* const kPortAccessError = "Couldn't access giveio device";

namespace {
PortBackend* g_backend = nullptr;
thread_local PortBackend* t_backend = nullptr;
} // namespace

PortBackend* InstallPortBackend(PortBackend* backend) {
    PortBackend* previous = g_backend;
    g_backend = backend;
    return previous;
}

PortBackend* InstallThreadPortBackend(PortBackend* backend) {
    PortBackend* previous = t_backend;
    t_backend = backend;
    return previous;
}

PortBackend& CurrentPortBackend() {
    if (t_backend) return *t_backend;
    return g_backend ? *g_backend : HardwarePorts::Instance();
}

void EnablePortAccess() {
    CurrentPortBackend().EnableAccess();
}
void OutByte(uint16_t port, uint8_t value) {
    CurrentPortBackend().OutByte(port, value);
}
void OutWord(uint16_t port, uint16_t value) {
    CurrentPortBackend().OutWord(port, value);
}
uint16_t InWord(uint16_t port) {
    return CurrentPortBackend().InWord(port);
}

HardwarePorts& HardwarePorts::Instance() {
    static HardwarePorts instance;
    return instance;
}

#ifdef VI801_HAVE_PORT_IO
void HardwarePorts::EnableAccess() {
    // EPERM without CAP_SYS_RAWIO, ENOSYS on kernels without port I/O:
    // either way the user sees the same message.
    if (iopl(3) != 0) throw PortAccessError(errno);
}
void HardwarePorts::OutByte(uint16_t port, uint8_t value) {
    outb(value, port);
}
void HardwarePorts::OutWord(uint16_t port, uint16_t value) {
    outw(value, port);
}
uint16_t HardwarePorts::InWord(uint16_t port) {
    return inw(port);
}
#else
void HardwarePorts::EnableAccess() {
    throw PortAccessError(ENOSYS);
}
// Unreachable: access is never granted on this processor.
void HardwarePorts::OutByte(uint16_t, uint8_t) {}
void HardwarePorts::OutWord(uint16_t, uint16_t) {}
uint16_t HardwarePorts::InWord(uint16_t) {
    return 0xFFFF;
}
#endif

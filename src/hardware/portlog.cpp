#include "hardware/portlog.h"

#include "error.h"

#include <cerrno>
#include <cstring>

PortLog::PortLog(PortBackend& inner, const std::string& path)
    : inner_(inner), file_(std::fopen(path.c_str(), "w")) {
    if (!file_)
        throw PortLogError("can't create the port log '" + path + "': " + std::strerror(errno));
}

PortLog::~PortLog() {
    std::fclose(file_);
}

void PortLog::EnableAccess() {
    inner_.EnableAccess();
}

void PortLog::OutByte(uint16_t port, uint8_t value) {
    inner_.OutByte(port, value);
    Line("OUTB", port, value, 2);
}

void PortLog::OutWord(uint16_t port, uint16_t value) {
    inner_.OutWord(port, value);
    Line("OUTW", port, value, 4);
}

uint16_t PortLog::InWord(uint16_t port) {
    const uint16_t value = inner_.InWord(port);
    Line("INW", port, value, 4);
    return value;
}

void PortLog::Line(const char* kind, uint16_t port, unsigned value, int digits) {
    std::fprintf(file_, "%s 0x%04X 0x%0*X\n", kind, port, digits, value);
    std::fflush(file_);
}

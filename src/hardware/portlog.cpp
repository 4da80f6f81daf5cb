#include "hardware/portlog.h"

#include "error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

PortLog::PortLog(PortBackend& inner, const std::string& path,
                 std::function<void(const std::string&)> onFailure)
    : inner_(inner), path_(path), onFailure_(std::move(onFailure)) {
    OutputFile::Options options;
    options.inPlace = true;
    if (const int error = file_.Open(path, options))
        throw PortLogError("can't create the port log '" + path + "': " + std::strerror(error));
}

PortLog::~PortLog() {
    file_.Close();
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
    if (!failure_.empty()) return;
    char line[32];
    const int size =
        std::snprintf(line, sizeof line, "%s 0x%04X 0x%0*X\n", kind, port, digits, value);
    const int error = file_.Write(line, static_cast<size_t>(size));
    if (!error) return;
    failure_ = "can't write the port log '" + path_ + "': " + std::strerror(error);
    if (onFailure_) onFailure_(failure_);
}

#include "portrecorder.h"

#include <cerrno>

void PortRecorder::EnableAccess() {
    if (refuseAccess_) throw PortAccessError(EPERM);
    accessEnabled_ = true;
}

void PortRecorder::OutByte(uint16_t port, uint8_t value) {
    accesses_.push_back({Kind::OutByte, port, value});
}

void PortRecorder::OutWord(uint16_t port, uint16_t value) {
    accesses_.push_back({Kind::OutWord, port, value});
    words_[port] = value;
}

uint16_t PortRecorder::InWord(uint16_t port) {
    const uint16_t value = words_[port];
    accesses_.push_back({Kind::InWord, port, value});
    return value;
}

void PortRecorder::SetWord(uint16_t port, uint16_t value) {
    words_[port] = value;
}

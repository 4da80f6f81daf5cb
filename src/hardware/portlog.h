#pragma once
// Wraps a port backend and writes every port access to a file, in order, one
// line each, after the access was made:
//   OUTB 0xE86A 0xA2
//   OUTW 0xE802 0x0606
//   INW 0xE802 0x0606   (the value read)
// Each line reaches the file at once, so the log is whole however the
// program ends.
#include "error.h"
#include "hardware/giveio.h"

#include <cstdio>
#include <string>

// A port log that can't be created: the message names the file and gives
// the system's reason.
class PortLogError : public Error {
public:
    using Error::Error;
};

class PortLog : public PortBackend {
public:
    // Raises PortLogError when the file can't be created.
    PortLog(PortBackend& inner, const std::string& path);
    ~PortLog() override;
    PortLog(const PortLog&) = delete;
    PortLog& operator=(const PortLog&) = delete;

    void EnableAccess() override;
    void OutByte(uint16_t port, uint8_t value) override;
    void OutWord(uint16_t port, uint16_t value) override;
    uint16_t InWord(uint16_t port) override;

private:
    void Line(const char* kind, uint16_t port, unsigned value, int digits);

    PortBackend& inner_;
    std::FILE* file_;
};

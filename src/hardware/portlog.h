#pragma once
// Wraps a port backend and writes every port access to a file, in order, one
// line each, after the access was made:
//   OUTB 0xE86A 0xA2
//   OUTW 0xE802 0x0606
//   INW 0xE802 0x0606   (the value read)
// Each line reaches the file at once, so the log is whole however the
// program ends: it is written where it stands, not renamed into place. A
// line the file refuses (a full disk) ends the log there; the accesses go on.
#include "error.h"
#include "files/outputfile.h"
#include "hardware/giveio.h"

#include <functional>
#include <string>

// A port log that can't be created: the message names the file and gives
// the system's reason.
class PortLogError : public Error {
public:
    using Error::Error;
};

class PortLog : public PortBackend {
public:
    // Raises PortLogError when the file can't be created. onFailure hears,
    // once, what the first refused line's failure says.
    PortLog(PortBackend& inner, const std::string& path,
            std::function<void(const std::string&)> onFailure = {});
    ~PortLog() override;
    PortLog(const PortLog&) = delete;
    PortLog& operator=(const PortLog&) = delete;

    void EnableAccess() override;
    void OutByte(uint16_t port, uint8_t value) override;
    void OutWord(uint16_t port, uint16_t value) override;
    uint16_t InWord(uint16_t port) override;

    // One line naming the file and the system's reason; empty while every
    // line was written.
    const std::string& Failure() const { return failure_; }

private:
    void Line(const char* kind, uint16_t port, unsigned value, int digits);

    PortBackend& inner_;
    std::string path_;
    OutputFile file_;
    std::function<void(const std::string&)> onFailure_;
    std::string failure_;
};

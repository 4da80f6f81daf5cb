#pragma once
// The port backend of the tests: it keeps every access.
#include "hardware/giveio.h"

#include <cstdint>
#include <vector>

// Keeps every access in order. InWord answers from a modelled 16-bit
// register per port: the last word written there, or a value set first.
class PortRecorder : public PortBackend {
public:
    enum class Kind : uint8_t { OutByte, OutWord, InWord };
    struct Access {
        Kind kind;
        uint16_t port;
        uint16_t value;
        bool operator==(const Access&) const = default;
    };

    void EnableAccess() override;
    void OutByte(uint16_t port, uint8_t value) override;
    void OutWord(uint16_t port, uint16_t value) override;
    uint16_t InWord(uint16_t port) override;

    void SetWord(uint16_t port, uint16_t value); // not recorded
    void RefuseAccess(bool refuse) { refuseAccess_ = refuse; }
    bool AccessEnabled() const { return accessEnabled_; }
    const std::vector<Access>& Accesses() const { return accesses_; }
    void Clear() { accesses_.clear(); }

private:
    std::vector<Access> accesses_;
    std::vector<uint16_t> words_ = std::vector<uint16_t>(0x10000, 0);
    bool refuseAccess_ = false;
    bool accessEnabled_ = false;
};

#pragma once
// What the main-window tests share: a window on the recorder backend and
// the register writes decoded from the recorded port accesses.
#include "hardware/giveio.h"
#include "ui/mainform.h"

#include <cstdint>
#include <memory>
#include <vector>

constexpr uint16_t kBase = 0xE800;
constexpr uint16_t kVolumePort = kBase + 2;
constexpr uint16_t kOplPort = kBase + 0x68;

struct RegWrite {
    uint16_t index;
    uint8_t value;
    bool operator==(const RegWrite&) const = default;
};

// Address and data byte pairs on the OPL3 ports, as register writes.
inline std::vector<RegWrite> RegisterWrites(const PortRecorder& rec) {
    std::vector<RegWrite> writes;
    uint8_t latch[2] = {0, 0};
    for (const auto& a : rec.Accesses()) {
        if (a.kind != PortRecorder::Kind::OutByte || a.port < kOplPort || a.port > kOplPort + 3)
            continue;
        const int bank = (a.port - kOplPort) / 2;
        if ((a.port - kOplPort) % 2 == 0)
            latch[bank] = static_cast<uint8_t>(a.value);
        else
            writes.push_back(
                {static_cast<uint16_t>(bank << 8 | latch[bank]), static_cast<uint8_t>(a.value)});
    }
    return writes;
}

inline std::vector<uint16_t> VolumeWrites(const PortRecorder& rec) {
    std::vector<uint16_t> words;
    for (const auto& a : rec.Accesses())
        if (a.kind == PortRecorder::Kind::OutWord && a.port == kVolumePort)
            words.push_back(a.value);
    return words;
}

// A started main window on the recorder; the card's volume register holds
// cardVolume before start.
struct Started {
    explicit Started(uint16_t cardVolume = 0x0606) : scope(rec) {
        rec.SetWord(kVolumePort, cardVolume);
        form = std::make_unique<TFormMain>(nullptr, [](QWidget*) { return kBase; });
    }
    ~Started() { form.reset(); }
    PortRecorder rec;
    ScopedPortBackend scope;
    std::unique_ptr<TFormMain> form;
};

#pragma once
// A synthesizer core on the recorder backend, started as the window starts
// it (the card's state read back, the Default patch), its writes decoded.
#include "synth/synthcore.h"

#include "hardware/giveio.h"
#include "portprotocol.h"

#include <memory>
#include <vector>

constexpr uint16_t kBase = 0xE800;
constexpr uint16_t kOplPort = kBase + 0x68;

struct Core {
    explicit Core(uint16_t cardVolume = 0x0606) : scope(rec) {
        rec.SetWord(kBase + 2, cardVolume);
        core = std::make_unique<SynthCore>(kBase);
        core->ShowCardOutputState();
        core->LoadPreset({PresetChoice::Kind::Default});
        core->ForgetHistory();
        rec.Clear();
    }
    std::vector<RegWrite> Writes() const { return DecodeRegisterWrites(rec.Accesses(), kOplPort); }
    void Send(uint8_t status, uint8_t data1, uint8_t data2 = 0, uint32_t source = 1) {
        core->HandleMidiData(source, {status, data1, data2});
    }
    const SynthState& State() const { return core->State(); }

    PortRecorder rec;
    ScopedPortBackend scope;
    std::unique_ptr<SynthCore> core;
};

#pragma once
// What the main-window tests share: a window on the recorder backend and
// the register writes decoded from the recorded port accesses.
#include "hardware/giveio.h"
#include "hardware/opl3.h"
#include "portprotocol.h"
#include "ui/mainform.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

constexpr uint16_t kBase = 0xE800;
constexpr uint16_t kVolumePort = kBase + 2;
constexpr uint16_t kOplPort = kBase + 0x68;

inline std::vector<RegWrite> RegisterWrites(const PortRecorder& rec) {
    return DecodeRegisterWrites(rec.Accesses(), kOplPort);
}

inline std::vector<uint16_t> VolumeWrites(const PortRecorder& rec) {
    std::vector<uint16_t> words;
    for (const auto& a : rec.Accesses())
        if (a.kind == PortRecorder::Kind::OutWord && a.port == kVolumePort)
            words.push_back(a.value);
    return words;
}

// What slot 0 of the chip holds; the chip test pins the other slots.
inline SynthPatch Sounding(const OPL3& opl3) {
    return SoundingPatch(opl3);
}

// A started main window on the recorder; the card's volume register holds
// cardVolume before start. Its banks are folders of presetRoot, the working
// directory when empty.
struct Started {
    explicit Started(uint16_t cardVolume = 0x0606, const std::filesystem::path& presetRoot = {})
        : scope(rec) {
        rec.SetWord(kVolumePort, cardVolume);
        form = std::make_unique<TFormMain>(
            nullptr, [](QWidget*) { return kBase; }, presetRoot);
    }
    ~Started() { form.reset(); }
    PortRecorder rec;
    ScopedPortBackend scope;
    std::unique_ptr<TFormMain> form;
};

#pragma once
// ALSA's side of the card path: the OPL3 FM devices of the cards (hwdep
// devices of interface OPL3 or OPL4), opening one for FM requests, and the
// card's mixer control of the synthesizer's volume. Tests stand in for it.
#include "hardware/alsa/fmdevice.h"

#include <memory>
#include <string>
#include <vector>

struct Opl3Device {
    int card = 0;
    int device = 0;
    std::string cardName;   // "ForteMedia FM801"
    std::string driver;     // "FM801"
    std::string deviceName; // "OPL3 FM"

    std::string Name() const; // "hw:0,0"
    // "hw:0,0 (ForteMedia FM801)"
    std::string Description() const;
};

class AlsaSystem {
public:
    virtual ~AlsaSystem() = default;
    // Every card's OPL3 FM devices, an FM801's first; none without sound cards.
    virtual std::vector<Opl3Device> FindOpl3Devices() = 0;
    // 0 and the open device, or the negative errno of the refusal.
    virtual int OpenFm(const Opl3Device& device, std::unique_ptr<FmDevice>& opened) = 0;
    // The card's synthesizer volume control ("FM", else "Synth"), or null
    // when its mixer has none.
    virtual std::unique_ptr<VolumeControl> OpenVolume(const Opl3Device& device) = 0;

    // The system's own, through libasound.
    static AlsaSystem& Real();
};

// Why a device can't be opened, told so that a user can act: "can't open
// the OPL3 device hw:0,0 (ForteMedia FM801): Permission denied; ...".
std::string Opl3OpenRefusal(const Opl3Device& device, int error);

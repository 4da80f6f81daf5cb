#pragma once
// ALSA's side of the card path without a card: the kernel's OPL3 driver as
// its requests write the chip, a mixer control, and a system that offers
// them, each keeping what it was asked.
#include "hardware/alsa/alsasystem.h"
#include "hardware/alsa/fmdevice.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The driver's FM device: each request writes the registers that the driver
// writes for it, in a 512-register image of the chip that starts as the
// driver leaves the chip when it loads.
class FakeFmDriver : public FmDevice {
public:
    static constexpr int kOpl2 = 0, kOpl3 = 1; // the driver's modes

    int Ioctl(unsigned int request, void* argument) override;

    std::array<uint8_t, 0x200> chip{};
    int mode = kOpl2;
    std::vector<unsigned> requests; // every request number, in order
    int refuseWith = 0;             // an errno: every request is refused with it
    bool staysOpl2 = false;         // takes SET_MODE but keeps OPL2 mode, as an OPL2 would

    FakeFmDriver();
    size_t Count(unsigned request) const;

private:
    void Write(unsigned side, unsigned reg, unsigned value) {
        chip[side << 8 | reg] = static_cast<uint8_t>(value);
    }
    int Voices() const { return mode == kOpl3 ? 18 : 9; }
    void Reset();
    int PlayNote(const void* argument);
    int SetVoice(const void* argument);
    void SetParams(const void* argument);
};

class FakeMixer : public VolumeControl {
public:
    FakeMixer(long min, long max, bool hasSwitch) : min_(min), max_(max), switch_(hasSwitch) {}
    std::string Name() const override { return "FM"; }
    long Min() const override { return min_; }
    long Max() const override { return max_; }
    bool HasSwitch() const override { return switch_; }
    Setting Get() override { return setting; }
    void Set(const Setting& s) override {
        setting = s;
        ++sets;
    }

    Setting setting;
    int sets = 0;

private:
    long min_, max_;
    bool switch_;
};

// Offers its devices; each open gives a fresh driver that the test can still see.
class FakeAlsa : public AlsaSystem {
public:
    std::vector<Opl3Device> FindOpl3Devices() override { return devices; }
    int OpenFm(const Opl3Device& device, std::unique_ptr<FmDevice>& opened) override;
    std::unique_ptr<VolumeControl> OpenVolume(const Opl3Device&) override;

    std::vector<Opl3Device> devices;
    std::vector<int> openErrors; // per device, in order: 0 or an errno
    bool hasMixer = true;
    FakeFmDriver* driver = nullptr; // the last one opened, owned by its opener
    FakeMixer* mixer = nullptr;
};

// "hw:<card>,0" of an FM801 named as the kernel's driver names it.
Opl3Device Fm801Device(int card = 0);

#include "hardware/alsa/alsaopl3card.h"

#include "hardware/fm801regs.h"

#include <utility>

using namespace fm801;

namespace {
constexpr long kQuietest = kLeftAttenuation.Max(); // 31

// Rounded to the nearest step, halves away from zero; span > 0.
long Scale(long value, long to, long span) {
    return (value * to + span / 2) / span;
}

long ControlValue(unsigned attenuation, long min, long max) {
    if (max <= min) return max;
    return max - Scale(static_cast<long>(attenuation), max - min, kQuietest);
}

unsigned Attenuation(long value, long min, long max) {
    if (max <= min || value >= max) return 0;
    if (value <= min) return kQuietest;
    return static_cast<unsigned>(Scale(max - value, kQuietest, max - min));
}
} // namespace

VolumeControl::Setting MixerSetting(uint16_t volumeRegister, long min, long max) {
    return {ControlValue(kLeftAttenuation.Get(volumeRegister), min, max),
            ControlValue(kRightAttenuation.Get(volumeRegister), min, max),
            kMute.Get(volumeRegister) == 0};
}

uint16_t VolumeRegister(const VolumeControl::Setting& setting, long min, long max) {
    uint16_t reg = kLeftAttenuation.Put(0, Attenuation(setting.left, min, max));
    reg = kRightAttenuation.Put(reg, Attenuation(setting.right, min, max));
    return kMute.PutFlag(reg, !setting.on);
}

AlsaOpl3Card::AlsaOpl3Card(std::unique_ptr<FmDevice> device, std::unique_ptr<VolumeControl> volume,
                           uint16_t base)
    : device_(std::move(device)), volume_(std::move(volume)), base_(base) {}

void AlsaOpl3Card::OutByte(uint16_t port, uint8_t value) {
    const uint16_t offset = static_cast<uint16_t>(port - base_);
    const unsigned opl = static_cast<uint16_t>(offset - kOpl3Offset);
    if (opl < 4) {
        const unsigned bank = opl >> 1;
        if ((opl & 1) == 0)
            latch_[bank] = value;
        else
            requests_.Write(static_cast<uint16_t>(bank << 8 | latch_[bank]), value);
        return;
    }
    // Byte halves of the volume register.
    const uint16_t volumePort = static_cast<uint16_t>(base_ + kVolumeOffset);
    if (offset == kVolumeOffset)
        WriteVolume(static_cast<uint16_t>((InWord(volumePort) & 0xFF00) | value));
    else if (offset == kVolumeOffset + 1)
        WriteVolume(static_cast<uint16_t>((InWord(volumePort) & 0x00FF) | value << 8));
}

void AlsaOpl3Card::OutWord(uint16_t port, uint16_t value) {
    if (port == base_ + kVolumeOffset) WriteVolume(value);
}

uint16_t AlsaOpl3Card::InWord(uint16_t port) {
    if (port != base_ + kVolumeOffset) return 0xFFFF; // nothing answers: the bus floats high
    if (!volume_) return volumeWord_;
    const uint16_t reg = VolumeRegister(volume_->Get(), volume_->Min(), volume_->Max());
    return volume_->HasSwitch() ? reg : kMute.Put(reg, kMute.Get(volumeWord_));
}

void AlsaOpl3Card::WriteVolume(uint16_t value) {
    volumeWord_ = value;
    if (!volume_) return;
    VolumeControl::Setting setting = MixerSetting(value, volume_->Min(), volume_->Max());
    if (!volume_->HasSwitch()) setting.on = true;
    volume_->Set(setting);
}

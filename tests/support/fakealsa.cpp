#include "fakealsa.h"

#include <algorithm>
#include <cerrno>
#include <sys/ioctl.h>
// After sys/ioctl.h: the driver's header uses its request macros.
#include <sound/asound_fm.h>

namespace {
// Operators 1 and 2 of each of the nine channels of a side.
constexpr uint8_t kRegmap[9][2] = {{0x00, 0x03}, {0x01, 0x04}, {0x02, 0x05},
                                   {0x08, 0x0B}, {0x09, 0x0C}, {0x0A, 0x0D},
                                   {0x10, 0x13}, {0x11, 0x14}, {0x12, 0x15}};

int Integer(void* argument) {
    return static_cast<int>(reinterpret_cast<uintptr_t>(argument));
}
} // namespace

FakeFmDriver::FakeFmDriver() {
    // What the driver writes as it loads: wave select enabled, melodic mode, OPL3 mode.
    Write(0, 0x01, 0x20);
    Write(0, 0xBD, 0x00);
    Write(1, 0x05, 0x01);
}

size_t FakeFmDriver::Count(unsigned request) const {
    return static_cast<size_t>(std::count(requests.begin(), requests.end(), request));
}

int FakeFmDriver::Ioctl(unsigned int request, void* argument) {
    requests.push_back(request);
    if (refuseWith) return -refuseWith;
    switch (request) {
    case SNDRV_DM_FM_IOCTL_INFO: {
        auto* info = static_cast<snd_dm_fm_info*>(argument);
        info->fm_mode = static_cast<unsigned char>(mode);
        info->rhythm = (chip[0xBD] & 0x20) != 0;
        return 0;
    }
    case SNDRV_DM_FM_IOCTL_RESET:
        Reset();
        return 0;
    case SNDRV_DM_FM_IOCTL_PLAY_NOTE:
        return PlayNote(argument);
    case SNDRV_DM_FM_IOCTL_SET_VOICE:
        return SetVoice(argument);
    case SNDRV_DM_FM_IOCTL_SET_PARAMS:
        SetParams(argument);
        return 0;
    case SNDRV_DM_FM_IOCTL_SET_MODE:
        if (!staysOpl2) mode = Integer(argument);
        Write(1, 0x04, 0x00); // four-operator pairs cleared
        return 0;
    case SNDRV_DM_FM_IOCTL_SET_CONNECTION:
        if (mode != kOpl3) return -EINVAL;
        Write(1, 0x04, Integer(argument) & 0x3F);
        return 0;
    }
    return -ENOTTY;
}

void FakeFmDriver::Reset() {
    for (unsigned voice = 0; voice < 18; ++voice) {
        const unsigned side = voice / 9, channel = voice % 9;
        Write(side, 0x40 + kRegmap[channel][0], 0x3F);
        Write(side, 0x40 + kRegmap[channel][1], 0x3F);
        Write(side, 0xB0 + channel, 0x00);
    }
    mode = kOpl2;
    Write(0, 0x01, 0x20);
    Write(0, 0xBD, 0x00);
}

int FakeFmDriver::PlayNote(const void* argument) {
    const auto& note = *static_cast<const snd_dm_fm_note*>(argument);
    if (note.voice >= Voices()) return -EINVAL;
    const unsigned side = note.voice / 9, channel = note.voice % 9;
    Write(side, 0xA0 + channel, note.fnum & 0xFF);
    Write(side, 0xB0 + channel,
          (note.key_on ? 0x20 : 0) | ((note.octave << 2) & 0x1C) | ((note.fnum >> 8) & 0x03));
    return 0;
}

int FakeFmDriver::SetVoice(const void* argument) {
    const auto& v = *static_cast<const snd_dm_fm_voice*>(argument);
    if (v.op > 1 || v.voice >= Voices()) return -EINVAL;
    const unsigned side = v.voice / 9, channel = v.voice % 9, op = kRegmap[channel][v.op];
    Write(side, 0x20 + op,
          (v.am ? 0x80 : 0) | (v.vibrato ? 0x40 : 0) | (v.do_sustain ? 0x20 : 0) |
              (v.kbd_scale ? 0x10 : 0) | (v.harmonic & 0x0F));
    Write(side, 0x40 + op, ((v.scale_level << 6) & 0xC0) | (~v.volume & 0x3F));
    Write(side, 0x60 + op, ((v.attack << 4) & 0xF0) | (v.decay & 0x0F));
    Write(side, 0x80 + op, ((v.sustain << 4) & 0xF0) | (v.release & 0x0F));
    unsigned c0 = ((v.feedback << 1) & 0x0E) | (v.connection ? 0x01 : 0);
    if (mode == kOpl3) c0 |= (v.left ? 0x10 : 0) | (v.right ? 0x20 : 0);
    Write(side, 0xC0 + channel, c0);
    Write(side, 0xE0 + op, v.waveform & 0x07);
    return 0;
}

void FakeFmDriver::SetParams(const void* argument) {
    const auto& p = *static_cast<const snd_dm_fm_params*>(argument);
    Write(0, 0x08, p.kbd_split ? 0x40 : 0);
    Write(0, 0xBD,
          (p.am_depth ? 0x80 : 0) | (p.vib_depth ? 0x40 : 0) | (p.rhythm ? 0x20 : 0) |
              (p.bass ? 0x10 : 0) | (p.snare ? 0x08 : 0) | (p.tomtom ? 0x04 : 0) |
              (p.cymbal ? 0x02 : 0) | (p.hihat ? 0x01 : 0));
}

int FakeAlsa::OpenFm(const Opl3Device& device, std::unique_ptr<FmDevice>& opened) {
    const auto at = std::find_if(devices.begin(), devices.end(),
                                 [&](const Opl3Device& d) { return d.Name() == device.Name(); });
    const size_t index = static_cast<size_t>(at - devices.begin());
    if (index < openErrors.size() && openErrors[index] != 0) return -openErrors[index];
    auto fresh = std::make_unique<FakeFmDriver>();
    driver = fresh.get();
    opened = std::move(fresh);
    return 0;
}

std::unique_ptr<VolumeControl> FakeAlsa::OpenVolume(const Opl3Device&) {
    if (!hasMixer) return nullptr;
    auto fresh = std::make_unique<FakeMixer>(0, 31, true);
    mixer = fresh.get();
    return fresh;
}

Opl3Device Fm801Device(int card) {
    return {card, 0, "ForteMedia FM801", "FM801", "OPL3 FM"};
}

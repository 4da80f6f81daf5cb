#include "hardware/fm801.h"

#include "error.h"
#include "hardware/fm801regs.h"
#include "hardware/giveio.h"

#include <new>

using namespace fm801;

FM801::FM801(uint16_t portBase)
    : PortBase(portBase),
      Opl3(new (std::nothrow) OPL3(static_cast<uint16_t>(PortBase + kOpl3Offset))) {
    if (!Opl3) throw Error("Couldn't create an opl3 instance");
}

FM801::~FM801() = default;

uint16_t FM801::VolumePort() const {
    return static_cast<uint16_t>(PortBase + kVolumeOffset);
}

void FM801::GetAttenuation(bool& muted, uint8_t& left, uint8_t& right) {
    const uint16_t v = InWord(VolumePort());
    muted = kMute.Get(v) != 0;
    left = static_cast<uint8_t>(kLeftAttenuation.Get(v));
    right = static_cast<uint8_t>(kRightAttenuation.Get(v));
}

void FM801::SetAttenuation(uint8_t left, uint8_t right) {
    const uint16_t v = InWord(VolumePort());
    const uint16_t muteOnly = kMute.Put(0, kMute.Get(v));
    OutWord(VolumePort(), kLeftAttenuation.Put(kRightAttenuation.Put(muteOnly, right), left));
}

void FM801::Mute() {
    OutWord(VolumePort(), kMute.PutFlag(InWord(VolumePort()), true));
}

void FM801::Unmute() {
    OutWord(VolumePort(), kMute.PutFlag(InWord(VolumePort()), false));
}

#include "hardware/fm801.h"

#include "error.h"
#include "hardware/giveio.h"
#include "hardware/opl3.h"

#include <new>

namespace {
constexpr uint16_t kMuteBit = 0x8000;
constexpr uint16_t kAttenuationMask = 0x1F;
constexpr int kRightShift = 8;
} // namespace

FM801::FM801(uint16_t portBase) : PortBase(portBase), Opl3(nullptr) {
    Opl3 = new (std::nothrow) OPL3(static_cast<uint16_t>(PortBase + kOpl3Offset));
    if (!Opl3) throw Error("Couldn't create an opl3 instance");
}

FM801::~FM801() {
    delete Opl3;
}

void FM801::GetAttenuation(bool& muted, uint8_t& left, uint8_t& right) {
    const uint16_t v = InWord(PortBase + kVolumeOffset);
    muted = (v & kMuteBit) != 0;
    left = static_cast<uint8_t>(v & kAttenuationMask);
    right = static_cast<uint8_t>((v >> kRightShift) & kAttenuationMask);
}

void FM801::SetAttenuation(uint8_t left, uint8_t right) {
    const uint16_t v = InWord(PortBase + kVolumeOffset);
    OutWord(PortBase + kVolumeOffset,
            static_cast<uint16_t>((v & kMuteBit) | ((right & kAttenuationMask) << kRightShift) |
                                  (left & kAttenuationMask)));
}

void FM801::Mute() {
    OutWord(PortBase + kVolumeOffset, InWord(PortBase + kVolumeOffset) | kMuteBit);
}

void FM801::Unmute() {
    OutWord(PortBase + kVolumeOffset,
            static_cast<uint16_t>(InWord(PortBase + kVolumeOffset) & ~kMuteBit));
}

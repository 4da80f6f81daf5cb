#include "hardware/alsa/fmrequests.h"

#include "hardware/opl3regs.h"

#include <cerrno>
#include <sys/ioctl.h>
// After sys/ioctl.h: the driver's header uses its request macros.
#include <sound/asound_fm.h>

using namespace opl3;

namespace {
constexpr unsigned kChannels = 9; // two-operator channels of a bank

// The two operators of each two-operator channel, as register offsets.
constexpr uint8_t kVoiceOperators[kChannels][2] = {
    {0x00, 0x03}, {0x01, 0x04}, {0x02, 0x05}, {0x08, 0x0B}, {0x09, 0x0C},
    {0x0A, 0x0D}, {0x10, 0x13}, {0x11, 0x14}, {0x12, 0x15},
};

// Where an operator offset (0x00-0x1F) sits: its channel and which of the two
// operators it is; offsets that are no operator have none.
struct OperatorPlace {
    bool valid = false;
    uint8_t channel = 0, op = 0;
};
constexpr std::array<OperatorPlace, 0x20> kPlaces = [] {
    std::array<OperatorPlace, 0x20> places{};
    for (uint8_t channel = 0; channel < kChannels; ++channel)
        for (uint8_t op = 0; op < 2; ++op)
            places[kVoiceOperators[channel][op]] = {true, channel, op};
    return places;
}();

uint16_t At(unsigned bank, unsigned reg) {
    return static_cast<uint16_t>(bank << 8 | reg);
}

unsigned char Voice(unsigned bank, unsigned channel) {
    return static_cast<unsigned char>(bank * kChannels + channel);
}

void* IntegerArgument(unsigned value) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(value));
}
} // namespace

int Opl3FmRequests::Start() {
    onChip_.reset();
    sent_ += 3;
    // RESET leaves the driver in OPL2 mode, which reaches bank 0 only and drops
    // the output bits of C0.
    if (const int error = device_.Ioctl(SNDRV_DM_FM_IOCTL_RESET, nullptr); error < 0) return error;
    if (const int error =
            device_.Ioctl(SNDRV_DM_FM_IOCTL_SET_MODE, IntegerArgument(SNDRV_DM_FM_MODE_OPL3));
        error < 0)
        return error;
    snd_dm_fm_info info{};
    if (const int error = device_.Ioctl(SNDRV_DM_FM_IOCTL_INFO, &info); error < 0) return error;
    return info.fm_mode == SNDRV_DM_FM_MODE_OPL3 ? 0 : -EINVAL;
}

void Opl3FmRequests::Write(uint16_t index, uint8_t value) {
    if (index >= kRegisterCount) return;
    if (onChip_[index] && image_[index] == value) return;
    image_[index] = value;
    onChip_[index] = false;
    SendFor(index);
}

void Opl3FmRequests::SendFor(uint16_t index) {
    if (index == kLfoDepthRegister || index == kNoteSelectRegister) return SendParams();
    if (index == kFourOperatorRegister) return SendConnection();
    const unsigned bank = index >> 8, reg = index & 0xFF, offset = reg & 0x1F;
    switch (reg & 0xE0) {
    case kReg20:
    case kReg40:
    case kReg60:
    case kReg80:
    case kRegE0:
        if (const OperatorPlace place = kPlaces[offset]; place.valid)
            SendVoice(bank, place.channel, place.op);
        break;
    case kRegA0: // A0-A8 and B0-B8
        if ((offset & 0x0F) < kChannels) SendNote(bank, offset & 0x0F);
        break;
    case kRegC0:
        if (offset < kChannels) SendVoice(bank, offset, 0);
        break;
    default:
        break; // test, timer and mode registers: the driver's own
    }
}

void Opl3FmRequests::SendVoice(unsigned bank, unsigned channel, unsigned op) {
    const unsigned o = kVoiceOperators[channel][op];
    const std::array<uint16_t, 6> regs = {At(bank, kReg20 + o),       At(bank, kReg40 + o),
                                          At(bank, kReg60 + o),       At(bank, kReg80 + o),
                                          At(bank, kRegC0 + channel), At(bank, kRegE0 + o)};
    const uint8_t r20 = image_[regs[0]], r40 = image_[regs[1]], r60 = image_[regs[2]],
                  r80 = image_[regs[3]], rC0 = image_[regs[4]], rE0 = image_[regs[5]];
    snd_dm_fm_voice voice{};
    voice.op = static_cast<unsigned char>(op);
    voice.voice = Voice(bank, channel);
    voice.am = kTremolo.Get(r20);
    voice.vibrato = kVibrato.Get(r20);
    voice.do_sustain = kHold.Get(r20);
    voice.kbd_scale = kRateScaling.Get(r20);
    voice.harmonic = kMultiplier.Get(r20);
    voice.scale_level = kLevelScaling.Get(r40);
    voice.volume = kLevel.Get(r40); // the driver writes its complement
    voice.attack = kAttack.Get(r60);
    voice.decay = kDecay.Get(r60);
    voice.sustain = kSustain.Get(r80);
    voice.release = kRelease.Get(r80);
    voice.feedback = kFeedback.Get(rC0);
    voice.connection = kConnection.Get(rC0);
    voice.left = kOutputA.Get(rC0);
    voice.right = kOutputB.Get(rC0);
    voice.waveform = kWaveform.Get(rE0);
    Request(SNDRV_DM_FM_IOCTL_SET_VOICE, &voice, regs);
}

void Opl3FmRequests::SendNote(unsigned bank, unsigned channel) {
    const std::array<uint16_t, 2> regs = {At(bank, kRegA0 + channel), At(bank, kRegB0 + channel)};
    const uint8_t rA0 = image_[regs[0]], rB0 = image_[regs[1]];
    snd_dm_fm_note note{};
    note.voice = Voice(bank, channel);
    note.octave = kBlock.Get(rB0);
    note.fnum = kFNumberLow.Get(rA0) | kFNumberHigh.Get(rB0) << 8;
    note.key_on = kKeyOn.Get(rB0);
    Request(SNDRV_DM_FM_IOCTL_PLAY_NOTE, &note, regs);
}

void Opl3FmRequests::SendParams() {
    const uint8_t rBD = image_[kLfoDepthRegister];
    const unsigned drums = kDrums.Get(rBD);
    snd_dm_fm_params params{};
    params.am_depth = kTremoloDepth.Get(rBD);
    params.vib_depth = kVibratoDepth.Get(rBD);
    params.kbd_split = kNoteSelect.Get(image_[kNoteSelectRegister]);
    params.rhythm = kRhythmMode.Get(rBD);
    params.bass = drums >> 4 & 1;
    params.snare = drums >> 3 & 1;
    params.tomtom = drums >> 2 & 1;
    params.cymbal = drums >> 1 & 1;
    params.hihat = drums & 1;
    Request(SNDRV_DM_FM_IOCTL_SET_PARAMS, &params,
            std::array<uint16_t, 2>{kNoteSelectRegister, kLfoDepthRegister});
}

void Opl3FmRequests::SendConnection() {
    const unsigned pairs = kFourOperatorPairs.Get(image_[kFourOperatorRegister]);
    Request(SNDRV_DM_FM_IOCTL_SET_CONNECTION, IntegerArgument(pairs),
            std::array<uint16_t, 1>{kFourOperatorRegister});
}

template <size_t N>
void Opl3FmRequests::Request(unsigned request, void* argument,
                             const std::array<uint16_t, N>& written) {
    ++sent_;
    if (const int error = device_.Ioctl(request, argument); error < 0) {
        ++refused_;
        lastError_ = -error;
        return;
    }
    for (const uint16_t reg : written)
        onChip_[reg] = true;
}

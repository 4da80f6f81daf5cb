#include "presets/patchrecord.h"

#include "hardware/littleendian.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

std::array<uint8_t, 12> SettingsToBytes(const PatchSettings& s) {
    std::array<uint8_t, 12> b{};
    b[0] = s.CcMask;
    b[1] = s.Reserved;
    WriteLittleEndian(&b[2], s.Transpose);
    WriteLittleEndian(&b[4], s.Tuning1);
    WriteLittleEndian(&b[6], s.Tuning2);
    b[8] = s.Outputs;
    b[9] = s.LfoDepth;
    b[10] = s.Volume;
    b[11] = static_cast<uint8_t>(s.Pan);
    return b;
}

PatchSettings SettingsFromBytes(const std::array<uint8_t, 12>& b) {
    PatchSettings s;
    s.CcMask = b[0];
    s.Reserved = b[1];
    s.Transpose = ReadLittleEndian<int16_t>(&b[2]);
    s.Tuning1 = ReadLittleEndian<int16_t>(&b[4]);
    s.Tuning2 = ReadLittleEndian<int16_t>(&b[6]);
    s.Outputs = b[8];
    s.LfoDepth = b[9];
    s.Volume = b[10];
    s.Pan = static_cast<int8_t>(b[11]);
    return s;
}

const std::array<const char*, kConnectionCount> kConnectionTexts = {
    "(1' . 2 . 3 . 4) + (5' . 6)", "1' + (2 . 3 . 4) + (5' . 6)", "(1' . 2) + (3 . 4) + (5' . 6)",
    "1' + (2 . 3) + 4 + (5' . 6)", "(1' . 2 . 3 . 4) + 5' + 6",   "1' + (2 . 3 . 4) + 5' + 6",
    "(1' . 2) + (3 . 4) + 5' + 6", "1' + (2 . 3) + 4 + 5' + 6",
};

const std::array<const char*, kFeedbackCount> kFeedbackTexts = {
    "Off", "PI / 16", "PI / 8", "PI / 4", "PI / 2", "PI", "PI x 2", "PI x 4",
};

const std::array<const char*, 2> kTremoloDepthTexts = {"1 dB", "4.8 dB"};
const std::array<const char*, 2> kVibratoDepthTexts = {"7 cents", "14 cents"};

const std::array<const char*, 14> kTuningItems = {
    "-7200", "-6000",   "-4800", "-3600", "-2400", "-1200", "-10",
    "-5",    "0 cents", "+5",    "+10",   "+1200", "+2400", "+3600",
};

int ConnectionIndex(const SynthPatch& p) {
    using opl3::kConnection;
    return static_cast<int>(kConnection.Get(p.RegC0Ops12) | kConnection.Get(p.RegC0Ops34) << 1 |
                            kConnection.Get(p.RegC0Ops56) << 2);
}

void SetConnectionBits(SynthPatch& p, int index) {
    using opl3::kConnection;
    p.RegC0Ops12 = kConnection.Put(p.RegC0Ops12, static_cast<unsigned>(index));
    p.RegC0Ops34 = kConnection.Put(p.RegC0Ops34, static_cast<unsigned>(index >> 1));
    p.RegC0Ops56 = kConnection.Put(p.RegC0Ops56, static_cast<unsigned>(index >> 2));
}

std::string ConnectionPicturePath(int index) {
    return "img/cnt" + std::to_string(index) + ".jpg";
}

int32_t ParseCents(const std::string& text) {
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

std::string FormatCents(int32_t cents) {
    return cents == 0 ? std::string("0 cents") : std::to_string(cents);
}

int16_t CentsToField(int32_t cents) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(cents) & 0xFFFF));
}

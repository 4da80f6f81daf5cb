#include "presets/patchrecord.h"

#include <cctype>
#include <cstring>

std::array<uint8_t, 12> SettingsToBytes(const PatchSettings& s) {
    auto le16 = [](uint8_t* p, int16_t v) {
        const auto u = static_cast<uint16_t>(v);
        p[0] = static_cast<uint8_t>(u & 0xFF);
        p[1] = static_cast<uint8_t>(u >> 8);
    };
    std::array<uint8_t, 12> b{};
    b[0] = s.CcMask;
    b[1] = s.Reserved;
    le16(&b[2], s.Transpose);
    le16(&b[4], s.Tuning1);
    le16(&b[6], s.Tuning2);
    b[8] = s.Outputs;
    b[9] = s.LfoDepth;
    b[10] = s.Volume;
    b[11] = static_cast<uint8_t>(s.Pan);
    return b;
}

PatchSettings SettingsFromBytes(const std::array<uint8_t, 12>& b) {
    auto le16 = [](const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); };
    PatchSettings s;
    s.CcMask = b[0];
    s.Reserved = b[1];
    s.Transpose = le16(&b[2]);
    s.Tuning1 = le16(&b[4]);
    s.Tuning2 = le16(&b[6]);
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

const std::array<const char*, 14> kTuningItems = {
    "-7200", "-6000",   "-4800", "-3600", "-2400", "-1200", "-10",
    "-5",    "0 cents", "+5",    "+10",   "+1200", "+2400", "+3600",
};

int ConnectionIndex(const SynthPatch& p) {
    return (p.RegC0Ops12 & reg::kCnt) | ((p.RegC0Ops34 & reg::kCnt) << 1) |
           ((p.RegC0Ops56 & reg::kCnt) << 2);
}

void SetConnectionBits(SynthPatch& p, int index) {
    auto put = [](uint8_t& b, int bit) { b = static_cast<uint8_t>((b & ~reg::kCnt) | (bit & 1)); };
    put(p.RegC0Ops12, index);
    put(p.RegC0Ops34, index >> 1);
    put(p.RegC0Ops56, index >> 2);
}

std::string ConnectionPicturePath(int index) {
    return "img/cnt" + std::to_string(index) + ".jpg";
}

int32_t ParseCents(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Unsigned arithmetic: an absurdly long number wraps instead of overflowing.
    uint32_t value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
        ++i;
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

std::string FormatCents(int32_t cents) {
    return cents == 0 ? std::string("0 cents") : std::to_string(cents);
}

int16_t CentsToField(int32_t cents) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(cents) & 0xFFFF));
}

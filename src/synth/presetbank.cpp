#include "synth/presetbank.h"

#include <algorithm>

// A cut never splits a UTF-8 sequence: its continuation bytes go with it.
PresetName PresetName::Of(std::string_view name) {
    PresetName kept;
    size_t size = std::min(name.size(), kCapacity);
    if (size < name.size())
        while (size > 0 && (static_cast<unsigned char>(name[size]) & 0xC0) == 0x80)
            --size;
    std::copy_n(name.begin(), size, kept.bytes.begin());
    kept.size = static_cast<uint8_t>(size);
    return kept;
}

PresetChoice PresetChoice::FromBytes(const std::vector<uint8_t>& bytes) {
    PresetChoice choice;
    choice.kind = Kind::File;
    // No preset is longer: a longer file is no preset, as decoding it says.
    choice.readable = bytes.size() <= choice.bytes.size();
    if (choice.readable) {
        std::copy(bytes.begin(), bytes.end(), choice.bytes.begin());
        choice.size = static_cast<uint8_t>(bytes.size());
    }
    return choice;
}

bool PresetChoice::Applies() const {
    if (kind == Kind::Default) return true;
    SynthPatch patch;
    PatchSettings settings;
    return kind == Kind::File && readable && DecodePreset(Bytes(), patch, settings);
}

namespace {
bool SameIgnoringCase(const std::string& a, const std::string& b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}
} // namespace

// A bank may hold both Piano and piano: the exact one comes first.
int FindPresetName(const std::vector<std::string>& names, const std::string& text) {
    const auto exact = std::find(names.begin(), names.end(), text);
    if (exact != names.end()) return static_cast<int>(exact - names.begin());
    for (size_t i = 0; i < names.size(); ++i)
        if (SameIgnoringCase(names[i], text)) return static_cast<int>(i);
    return -1;
}

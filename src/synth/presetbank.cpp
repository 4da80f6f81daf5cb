#include "synth/presetbank.h"

#include "presets/sbi.h"

#include <algorithm>

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

PresetChoice ChoosePreset(const SBI& store, const std::string& name) {
    if (name == kDefaultPresetName) return {PresetChoice::Kind::Default};
    if (name.empty()) return {};
    std::vector<uint8_t> bytes;
    if (!store.ReadPreset(name, bytes)) return {PresetChoice::Kind::File};
    return PresetChoice::FromBytes(bytes);
}

PresetBank ReadPresetBank(SBI& store, const std::string& bank) {
    PresetBank result;
    result.Names = store.GetPresetList(bank);
    result.Choices.reserve(result.Names.size());
    for (const std::string& name : result.Names)
        result.Choices.push_back(ChoosePreset(store, name));
    return result;
}

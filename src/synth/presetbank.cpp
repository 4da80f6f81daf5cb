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

// The preset list's parts that read the store's files, in a unit of their
// own: whatever needs no files (the plugin) links none of the store.
#include "presets/sbi.h"
#include "synth/presetbank.h"

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

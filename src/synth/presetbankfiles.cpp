// The preset list's parts that read the store's files, in a unit of their
// own: whatever needs no files (the plugin) links none of the store.
#include "presets/sbi.h"
#include "synth/presetbank.h"

PresetChoice ChoosePreset(const SBI& store, const std::string& name) {
    PresetChoice choice;
    if (name == kDefaultPresetName) {
        choice.kind = PresetChoice::Kind::Default;
    } else if (!name.empty()) {
        std::vector<uint8_t> bytes;
        choice.kind = PresetChoice::Kind::File;
        if (store.ReadPreset(name, bytes)) choice = PresetChoice::FromBytes(bytes);
    }
    choice.name = PresetName::Of(name);
    return choice;
}

PresetBank ReadPresetBank(SBI& store, const std::string& bank) {
    PresetBank result;
    result.Names = store.GetPresetList(bank);
    result.Choices.reserve(result.Names.size());
    for (const std::string& name : result.Names)
        result.Choices.push_back(ChoosePreset(store, name));
    return result;
}

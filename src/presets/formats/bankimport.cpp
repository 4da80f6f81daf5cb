#include "presets/formats/bankimport.h"

#include "hardware/opl3regs.h"
#include "presets/presetfile.h"
#include "presets/sbi.h"

#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRefused = "/\\<>:\"|?*";
constexpr size_t kLongestName = 200; // with ".sbi", far inside a file name's 255 bytes

// Both outputs on, as the main window starts: what a preset saved there holds.
SynthPatch BlankPatch() {
    SynthPatch patch;
    const uint8_t outputs = opl3::kOutputA.Mask() | opl3::kOutputB.Mask();
    patch.RegC0Ops12 = patch.RegC0Ops34 = patch.RegC0Ops56 = outputs;
    return patch;
}

std::string Unique(const std::string& name, std::set<std::string>& taken) {
    std::string unique = name;
    for (int n = 2; !taken.insert(unique).second; ++n)
        unique = name + " (" + std::to_string(n) + ")";
    return unique;
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

} // namespace

std::string PresetNameFor(std::string_view prefix, const BankInstrument& instrument) {
    const std::string wanted = std::string(prefix) + instrument.Label();
    std::string name;
    for (char c : wanted) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) continue;
        name += kRefused.find(c) == std::string_view::npos ? c : '_';
    }
    if (name.size() > kLongestName) name.resize(kLongestName);
    if (name.empty()) name = std::to_string(instrument.Index);
    if (name == "Default" || name == "." || name == "..") name += '_';
    return name;
}

ImportResult ImportInstruments(const std::vector<BankInstrument>& instruments, const fs::path& root,
                               std::string_view prefix) {
    ImportResult result;
    SBI store(root);
    std::set<std::string> taken[2];
    const PatchSettings settings;
    for (const BankInstrument& instrument : instruments) {
        if (IsEmpty(instrument)) {
            ++result.Empty;
            continue;
        }
        const bool four = PresetKindFor(instrument) == PresetKind::FourOperator;
        const ImportedPreset preset{four ? "4op" : "2op",
                                    Unique(PresetNameFor(prefix, instrument), taken[four])};
        if (Exists(root / preset.Bank / (preset.Name + ".sbi"))) {
            result.Skipped.push_back(preset);
            continue;
        }
        SynthPatch patch = BlankPatch();
        ApplyInstrument(instrument, patch);
        store.Directory = preset.Bank;
        (store.SavePreset(preset.Name, patch, settings) ? result.Written : result.Failed)
            .push_back(preset);
    }
    return result;
}

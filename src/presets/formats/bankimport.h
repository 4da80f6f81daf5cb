#pragma once
// Instruments of a bank file written as presets into the banks: each as a
// preset of its kind (2op or 4op, see PresetKindFor), through the preset
// store, so the files are those Save writes. An existing preset is never
// replaced.
#include "presets/formats/bankinstrument.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct ImportedPreset {
    std::string Bank; // "2op" or "4op"
    std::string Name;
    bool operator==(const ImportedPreset&) const = default;
};

struct ImportResult {
    std::vector<ImportedPreset> Written;
    std::vector<ImportedPreset> Skipped; // a file of that name was there
    std::vector<ImportedPreset> Failed;  // could not be written
    size_t Empty = 0;                    // empty places of the bank, left out
};

// prefix + the instrument's label, made a name the store takes: characters
// a file name can't hold become '_', control characters go, and "Default",
// "." and ".." get a '_' after them; at most 200 bytes.
std::string PresetNameFor(std::string_view prefix, const BankInstrument& instrument);

// Writes into root/2op and root/4op, which must exist. Empty places
// (IsEmpty) are left out. Two instruments of
// the file that would take one name get " (2)", " (3)"... after it.
ImportResult ImportInstruments(const std::vector<BankInstrument>& instruments,
                               const std::filesystem::path& root, std::string_view prefix);

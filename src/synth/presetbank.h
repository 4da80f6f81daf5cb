#pragma once
// What a preset name applies, decided where files may be read, and the
// current bank held whole so that a program change reads no file. No Qt.
#include "presets/presetfile.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class SBI;

// The built-in preset; never a file.
inline constexpr const char* kDefaultPresetName = "Default";

// A preset name as the synthesizer applies it: the Default patch, nothing
// (an empty name), or a file's bytes (unreadable: the load fails).
struct PresetChoice {
    enum class Kind : uint8_t { None, Default, File };
    Kind kind = Kind::None;
    bool readable = false;
    uint8_t size = 0;
    std::array<uint8_t, kMaxPresetFileSize> bytes{};

    std::span<const uint8_t> Bytes() const { return {bytes.data(), size}; }
    static PresetChoice FromBytes(const std::vector<uint8_t>& bytes);
    // Whether loading it changes the patch: the Default, or a file that decodes.
    bool Applies() const;
};

// The item of a preset list a typed name picks: the same case first, then
// any case (of the letters A to Z). -1 when none matches.
int FindPresetName(const std::vector<std::string>& names, const std::string& text);

// Reads the file of `name` in the store's current bank as LoadPreset would.
PresetChoice ChoosePreset(const SBI& store, const std::string& name);

// A bank's list as the preset list shows it, and what each item applies.
struct PresetBank {
    std::vector<std::string> Names;
    std::vector<PresetChoice> Choices;
    int Count() const { return static_cast<int>(Names.size()); }
};

// Lists the bank (it becomes the store's Directory) and reads its presets.
PresetBank ReadPresetBank(SBI& store, const std::string& bank);

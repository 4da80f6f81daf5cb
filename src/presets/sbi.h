#pragma once
// The preset store: three banks, the folders "2op", "4op" and "6op", each a
// set of .sbi files named after their presets. Folders are never created.
#include "presets/patchrecord.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Names are the bytes of file names, whatever their encoding; only their
// display is converted.
//
// A name that stays inside its bank: not empty, not "." or "..", no "/". A
// file of such a name that is there is listed and loads.
bool StaysInBank(std::string_view name);

// Empty, or spaces alone.
bool IsBlankPresetName(std::string_view name);

// A name saved under must also be one that every common file system takes:
// none of \ < > : " | ? * and no control characters, and not blank. Why a
// name is refused, in a line for the user; empty when it is not.
std::string PresetNameRefusal(std::string_view name);
bool IsValidPresetName(std::string_view name);

// How a saved preset reaches the disk. Tests replace them to make a write
// come up short or a close fail; both take and return what POSIX's do.
struct PresetFileCalls {
    std::function<ssize_t(int fd, const void* data, size_t size)> Write;
    std::function<int(int fd)> Close;
    static PresetFileCalls System();
};

class SBI {
public:
    // Banks are folders of root; the working directory when root is empty.
    explicit SBI(std::filesystem::path root = {},
                 PresetFileCalls calls = PresetFileCalls::System());

    // Lists the bank's presets sorted by name without regard to case, so a
    // position in the list names the same preset on every machine. Only
    // regular files ending in ".sbi" count; "Default.sbi" is skipped. A bank
    // with no preset, or no such folder, lists "Default" alone. The bank
    // becomes Directory, where loads and saves go. Temporaries left by a
    // save that was killed are removed once a minute old.
    const std::vector<std::string>& GetPresetList(const std::string& bank);

    // Reads Directory/name.sbi into the records, changing what its kind
    // carries. False, with the records untouched, for a name that leaves
    // the bank, a missing or unreadable file, anything but a regular file,
    // or bytes that are no preset.
    bool LoadPreset(const std::string& name, SynthPatch& patch, PatchSettings& settings);
    // The bytes of Directory/name.sbi, as LoadPreset reads them; false as it
    // is for a bad name or a file that can't be read.
    bool ReadPreset(const std::string& name, std::vector<uint8_t>& bytes) const;

    // Writes Directory/name.sbi in the kind of the bank, replacing a file of
    // that name only once the new one is complete: a save that fails leaves
    // the old file as it was and no other file behind, and says why in
    // SaveFailure.
    bool SavePreset(const std::string& name, const SynthPatch& patch,
                    const PatchSettings& settings);

    std::string Directory;
    std::vector<std::string> Names;
    // Why the last save failed, one line for the user; empty after one that worked.
    std::string SaveFailure;

private:
    std::filesystem::path PresetPath(const std::string& name) const;
    int WriteAll(int fd, const std::vector<uint8_t>& bytes) const;
    std::string SystemFailure(int error) const;

    std::filesystem::path Root;
    PresetFileCalls Calls;
};

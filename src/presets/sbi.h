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

// A preset name becomes a file name in its bank: it must stay inside the
// bank and be a name that every common file system takes. So no "/" or "\",
// not "." or "..", none of < > : " | ? * and no control characters; not empty.
bool IsValidPresetName(std::string_view name);

// The order of a bank's list: by name without regard to case.
bool PresetNameBefore(const std::string& a, const std::string& b);

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
    // becomes Directory, where loads and saves go.
    const std::vector<std::string>& GetPresetList(const std::string& bank);

    // Reads Directory/name.sbi into the records, changing what its kind
    // carries. False, with the records untouched, for a bad name, a missing
    // or unreadable file, anything but a regular file, or bytes that are no
    // preset.
    bool LoadPreset(const std::string& name, SynthPatch& patch, PatchSettings& settings);
    // The bytes of Directory/name.sbi, as LoadPreset reads them; false as it
    // is for a bad name or a file that can't be read.
    bool ReadPreset(const std::string& name, std::vector<uint8_t>& bytes) const;

    // Writes Directory/name.sbi in the kind of the bank, replacing a file of
    // that name only once the new one is complete: a save that fails leaves
    // the old file as it was and no other file behind.
    bool SavePreset(const std::string& name, const SynthPatch& patch,
                    const PatchSettings& settings);

    std::string Directory;
    std::vector<std::string> Names;

private:
    std::filesystem::path PresetPath(const std::string& name) const;
    bool WriteAll(int fd, const std::vector<uint8_t>& bytes) const;

    std::filesystem::path Root;
    PresetFileCalls Calls;
};

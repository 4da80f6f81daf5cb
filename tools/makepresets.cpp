// Writes the starter presets of presets/library.cpp into the banks
// <directory>/2op, 4op and 6op, replacing the .sbi files there: the banks
// in data/ are this tool's output, and the build installs the banks it
// writes with it.
//
//   usage: vi801_makepresets <directory>
#include "presets/library.h"
#include "presets/sbi.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* bank : {"2op", "4op", "6op"}) {
        fs::create_directories(root / bank);
        for (const auto& e : fs::directory_iterator(root / bank))
            if (e.path().extension() == ".sbi") fs::remove(e.path());
    }
    for (const starters::Starter& s : starters::Library()) {
        if (!IsValidPresetName(s.name)) {
            std::fprintf(stderr, "not a preset name: %s\n", s.name.c_str());
            return 1;
        }
        const auto bytes = EncodePreset(s.kind, s.name, s.patch, s.settings);
        const fs::path path = root / s.bank / (s.name + ".sbi");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "couldn't write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

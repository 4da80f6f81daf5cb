// Writes the bundle's Turtle files from the port table and the starter
// library: vi801.ttl, manifest.ttl and presets/<bank>-<name>.ttl.
//
//   usage: vi801_lv2turtle <bundle directory> <binary file name>
#include "plugin/instrument.h"
#include "plugin/turtle.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

bool WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (out.flush()) return true;
    std::fprintf(stderr, "couldn't write %s\n", path.c_str());
    return false;
}

std::vector<int> ValuesOf(const plugin::Instrument& instrument) {
    std::vector<int> values;
    for (const plugin::ControlPort& port : plugin::ControlPorts())
        values.push_back(plugin::PortValueOf(port, instrument.State(), instrument.Player()));
    return values;
}

// Each preset as a new instance holds it once it is loaded.
std::vector<plugin::PresetEntry> Presets() {
    std::vector<plugin::PresetEntry> presets;
    const auto& ports = plugin::ControlPorts();
    const plugin::Instrument listing(48000);
    for (size_t b = 0; b < kBankNames.size(); ++b)
        for (int i = 0; i < listing.Banks()[b].Count(); ++i) {
            plugin::Instrument instrument(48000);
            instrument.LoadPreset(listing.Banks()[b].Choices[i]);
            const std::vector<int> values = ValuesOf(instrument);
            plugin::PresetEntry entry{kBankNames[b], listing.Banks()[b].Names[i], {}};
            for (size_t p = 0; p < ports.size(); ++p)
                if (plugin::PresetSets(ports[p], kBankKinds[b]))
                    entry.values.emplace_back(ports[p].symbol, values[p]);
            presets.push_back(std::move(entry));
        }
    return presets;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <bundle directory> <binary file name>\n", argv[0]);
        return 2;
    }
    const fs::path bundle = argv[1];
    // A preset renamed or gone leaves no file behind.
    fs::remove_all(bundle / "presets");
    fs::create_directories(bundle / "presets");
    const std::vector<plugin::PresetEntry> presets = Presets();
    std::set<std::string> files;
    for (const plugin::PresetEntry& preset : presets)
        if (!files.insert(plugin::PresetFile(preset)).second) {
            std::fprintf(stderr, "two presets share the file %s\n",
                         plugin::PresetFile(preset).c_str());
            return 1;
        }
    bool written =
        WriteFile(bundle / "vi801.ttl", plugin::PluginTurtle(ValuesOf(plugin::Instrument(48000))));
    written =
        written && WriteFile(bundle / "manifest.ttl", plugin::ManifestTurtle(argv[2], presets));
    for (const plugin::PresetEntry& preset : presets)
        written =
            written && WriteFile(bundle / plugin::PresetFile(preset), plugin::PresetTurtle(preset));
    return written ? 0 : 1;
}

#pragma once
// The bundle's description in Turtle, written from the port table: the
// plugin with its ports (vi801.ttl), the manifest, and one file per preset
// of the starter library. A small tool writes them at build time. No Qt.
#include "plugin/controlports.h"

#include <string>
#include <utility>
#include <vector>

namespace plugin {

struct PresetEntry {
    std::string bank; // "2op", "4op", "6op"
    std::string name;
    std::vector<std::pair<std::string, int>> values; // port symbol, value
};

// "6op-grand-piano": lower-case letters and digits, the rest one dash.
std::string PresetSlug(const PresetEntry& preset);
std::string PresetUri(const PresetEntry& preset);
// Relative to the bundle.
std::string PresetFile(const PresetEntry& preset);

// defaults: by control port, what a new instance holds.
std::string PluginTurtle(const std::vector<int>& defaults);
std::string ManifestTurtle(const std::string& binary, const std::vector<PresetEntry>& presets);
std::string PresetTurtle(const PresetEntry& preset);

} // namespace plugin

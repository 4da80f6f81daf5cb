#pragma once
// The starter library's banks 2op, 4op and 6op as the program lists them
// once installed: by name without regard to case, each preset the bytes of
// its file. Made from the library's source, so a plugin needs no files.
// No Qt.
#include "synth/presetbank.h"

#include <array>

namespace plugin {

// By index of kBankNames.
std::array<PresetBank, 3> StarterBanks();

} // namespace plugin

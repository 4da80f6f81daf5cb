#include "plugin/starterbanks.h"

#include "presets/library.h"
#include "presets/presetfile.h"
#include "presets/sbi.h"

#include <algorithm>

namespace plugin {

std::array<PresetBank, 3> StarterBanks() {
    const std::vector<starters::Starter> library = starters::Library();
    std::array<PresetBank, 3> banks;
    for (size_t b = 0; b < kBankNames.size(); ++b) {
        std::vector<const starters::Starter*> listed;
        for (const starters::Starter& s : library)
            if (s.bank == kBankNames[b]) listed.push_back(&s);
        std::sort(listed.begin(), listed.end(),
                  [](const auto* x, const auto* y) { return PresetNameBefore(x->name, y->name); });
        for (const starters::Starter* s : listed) {
            banks[b].Names.push_back(s->name);
            banks[b].Choices.push_back(
                PresetChoice::FromBytes(EncodePreset(s->kind, s->name, s->patch, s->settings)));
        }
    }
    return banks;
}

} // namespace plugin

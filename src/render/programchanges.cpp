#include "render/programchanges.h"

#include <algorithm>

int DropProgramChanges(std::vector<TimedMessage>& messages, const RenderOptions& options) {
    if (options.preset.empty() || options.programChanges) return 0;
    const auto programChange = static_cast<uint8_t>(0xC0 + options.channel - 1);
    return static_cast<int>(std::erase_if(messages, [programChange](const TimedMessage& m) {
        return m.Message.Status == programChange;
    }));
}

std::string IgnoredProgramChangesNote(int count, const std::string& preset) {
    return std::to_string(count) +
           (count == 1 ? " program change of the song was" : " program changes of the song were") +
           " ignored: --preset=" + preset + " plays throughout (--program-changes obeys them)";
}

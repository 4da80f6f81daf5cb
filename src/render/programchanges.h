#pragma once
// A render with a preset named plays that preset throughout: most songs
// start every track with a program change, which would choose another one.
#include "midi/midifile.h"
#include "render/rendersong.h"

#include <string>
#include <vector>

// Takes the program changes on the channel played out of `messages` when
// options name a preset and --program-changes does not let them choose
// presets as the live instrument does. Returns how many were taken out.
int DropProgramChanges(std::vector<TimedMessage>& messages, const RenderOptions& options);

// One line on what was taken out, e.g. "3 program changes of the song were
// ignored: --preset=Flute plays throughout (--program-changes obeys them)".
std::string IgnoredProgramChangesNote(int count, const std::string& preset);

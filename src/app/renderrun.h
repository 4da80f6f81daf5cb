#pragma once
// `vi801 --render=SONG.mid --out=SONG.wav`: the song played by the
// synthesizer core on the emulated card with no audio device, and written
// into a WAV file. No window, no display, no GUI library.
#include "app/commandline.h"
#include "render/rendersong.h"

#include <filesystem>
#include <iosfwd>
#include <string>

class CardSession;

// Returns the exit status: 0 when the file is written; 1 for a song that
// can't be read, an unknown preset or an output that can't be written
// (nothing is left under its name then); 2 for a port log or the like that
// can't be created. What went wrong goes to stderr, after "program: ".
int RunRender(const CommandLine& options, const std::string& program);

// The render itself: the core on `card` (a render's) with the banks of
// presetRoot plays the song into options.out; the bar goes to `progress`
// (null: none). Raises an Error for an unknown preset, an output that
// can't be written, or an end signal, and then writes nothing.
RenderReport RenderWithCore(const MidiFile& song, const CommandLine& options, CardSession& card,
                            const std::filesystem::path& presetRoot, std::ostream* progress);

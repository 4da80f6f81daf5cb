#pragma once
// `vi801 --render=SONG.mid --out=SONG.wav`: the song played by the main
// window, built off screen, on the emulated card with no audio device, and
// written into a WAV file. No window is shown and no display is needed.
#include "app/cardchoice.h"

#include <string>

// Returns the exit status: 0 when the file is written; 1 for a song that
// can't be read, an unknown preset or an output that can't be written
// (nothing is left under its name then); 2 for a port log or the like that
// can't be created. What went wrong goes to stderr, after "program: ".
int RunRender(const CommandLine& options, int& argc, char** argv, const std::string& program);

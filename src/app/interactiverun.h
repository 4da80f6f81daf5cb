#pragma once
// `vi801` played live: the detection dialog, then the main window and its
// message loop, on the card the command line chose.
#include "app/commandline.h"

#include <string>

// Returns the exit status: 0, also after an error shown in the error box;
// 1 when the card's ports were refused; 2 when the port log or the
// recording can't be created, or the recording is refused, which the
// terminal is told after "program: ".
int RunInteractive(const CommandLine& options, int& argc, char** argv, const std::string& program);

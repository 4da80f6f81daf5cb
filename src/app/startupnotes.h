#pragma once
// What the terminal is told when the card's ports are refused: the error box
// says only "Couldn't access giveio device".
#include <string>

// reason: the errno value of the refusal.
std::string PortAccessNote(int reason);

// Keeps Qt's note on a missing XDG_RUNTIME_DIR off the terminal (a render
// over ssh, a run as root): Qt picks a folder of its own and goes on, and
// the user can do nothing with the line. Every other message passes.
void QuietHarmlessQtNotes();

#pragma once
// What the terminal is told when the card's ports are refused: the error box
// says only "Couldn't access giveio device".
#include <string>

// reason: the errno value of the refusal.
std::string PortAccessNote(int reason);

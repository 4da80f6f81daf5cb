#pragma once
// What the emulated card's audio output reports about itself. Mirrors the
// emulated card's own declaration until both meet in one header.
#include <string>

struct AudioOutputInfo {
    bool open = false;
    std::string api, device, error; // when !open, error says why
    unsigned rate = 0, period = 0;  // Hz, frames
    double latencyMs = 0;
};

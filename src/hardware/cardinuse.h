#pragma once
// Which card a run plays and how it sounds: told to the user by the
// detection dialog.
#include "hardware/emulated/audiooutput.h" // AudioOutputInfo

#include <string>
#include <vector>

enum class CardKind { Hardware, Emulated, Alsa };

// The card played through ALSA: its OPL3 device and mixer.
struct AlsaCardInfo {
    std::string device;              // "hw:0,0 (ForteMedia FM801)"; empty: none found
    std::vector<std::string> others; // the other OPL3 devices found
    std::string volumeControl;       // the mixer control; empty: none
    bool volumeSwitch = false;       // the control mutes
};

struct CardInUse {
    CardKind kind = CardKind::Hardware;
    bool chosenByOption = false; // --card named it
    AudioOutputInfo output;      // the emulated card's sound output
    AlsaCardInfo alsa;           // the card played through ALSA
    std::string alsaRefused;     // why --card=auto passed over an OPL3 device of ALSA
};

#pragma once
// Which card a run plays and how it sounds: told to the user by the
// detection dialog.
#include "hardware/emulated/audiooutput.h" // AudioOutputInfo

enum class CardKind { Hardware, Emulated };

struct CardInUse {
    CardKind kind = CardKind::Hardware;
    bool chosenByOption = false; // --card named it
    AudioOutputInfo output;      // the emulated card's sound output
};

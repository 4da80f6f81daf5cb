#pragma once
// What the emulated card's audio output reports about itself: one
// declaration, the emulated card's.
#include "hardware/emulated/emulatedcard.h"

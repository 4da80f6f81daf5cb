#pragma once
// What a screen reader calls each control of the windows, and how it
// describes it. The visible captions are short and repeat: six frames hold
// an "A" and a "Waveform", both voices an "L" and a "Tuning (%)". These
// names say whose control it is, "Operator 3 attack rate". No Qt.
#include "synth/synthstate.h"

#include <cstddef>
#include <string>
#include <string_view>

struct AccessibleText {
    std::string name;
    std::string description;
};

// The control of row field of kOperatorFields in the frame of operator op
// (0..5), the frame's "CC" switch, and the frame itself.
AccessibleText OperatorFieldAccessible(int op, size_t field);
AccessibleText OperatorCcAccessible(int op);
AccessibleText OperatorFrameAccessible(int op);

// The voice-wide lists and output check boxes, and the three tunings.
AccessibleText VoiceAccessible(VoiceField field);
AccessibleText TuningAccessible(Tuning which);

// Every other control of the windows, by its object name; empty texts for
// a name the table does not hold.
AccessibleText ControlAccessible(std::string_view control);

// The mini keyboard: the key that plays note, and the letter of the
// computer's keyboard that plays it.
AccessibleText PianoKeyAccessible(int note);
AccessibleText LetterKeyAccessible(char letter, int note);

// The number of a row of the controller window; function is its key text.
AccessibleText ControllerValueAccessible(std::string_view function);

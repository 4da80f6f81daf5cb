#include "ui/accessiblenames.h"

#include "synth/controltips.h"
#include "synth/operatorfields.h"

#include <array>

namespace {

struct Wording {
    const char* control; // the object name
    const char* name;
    const char* description;
};

// '#' stands for the operator's number.
constexpr Wording kOperatorWording[] = {
    {"ComboBoxWS", "Operator # waveform", "The shape of operator #'s wave"},
    {"CheckBoxTremolo", "Operator # tremolo",
     "On, the level of operator # wavers by the tremolo depth"},
    {"CheckBoxVibrato", "Operator # vibrato",
     "On, the pitch of operator # wavers by the vibrato depth"},
    {"CheckBoxRateScaling", "Operator # key scaling of rate",
     "On, the attack, decay and release of operator # get shorter as notes rise"},
    {"ComboBoxLevelScaling", "Operator # key scaling of level",
     "How much quieter operator # gets per octave as notes rise"},
    {"ComboBoxFreqMultiplier", "Operator # frequency multiplier",
     "Which harmonic of the note operator # plays, as an interval in cents"},
    {"TrackBarAttack", "Operator # attack rate",
     "How fast operator # rises from silence to full level as a note starts: 0 never, 15 at "
     "once"},
    {"TrackBarDecay", "Operator # decay rate",
     "How fast operator # falls from full level to its sustain level: 0 never, 15 fastest"},
    {"TrackBarSustain", "Operator # sustain level",
     "Where the decay of operator # stops: 0 at full level, 15 quietest"},
    {"TrackBarRelease", "Operator # release rate",
     "How fast operator # fades to silence once the key is let go: 0 never, 15 fastest"},
    {"CheckBoxHold", "Operator # sustain hold",
     "On, operator # stays at its sustain level while the key is held; off, it goes on "
     "fading at the release rate"},
    {"TrackBarVolume", "Operator # volume",
     "The level of operator #, 63 is full: the loudness of an operator that is heard, the "
     "brightness of one that modulates another"},
    {"CheckBoxCC", "Operator # follows velocity and controllers",
     "On, a note's velocity scales the volume of operator #, and controllers bound to "
     "operator functions move it"},
    {"FrameOp", "Operator #",
     "The settings of operator #; its menu copies, pastes and clears them"},
};

// '#' stands for the voice's operators.
constexpr Wording kVoiceWording[] = {
    {"ComboBoxFB", "Operator 1 feedback",
     "How much operator 1 feeds back into itself: more turns its sine brighter, towards a "
     "sawtooth"},
    {"ComboBoxFB2", "Operator 5 feedback",
     "How much operator 5 feeds back into itself: more turns its sine brighter, towards a "
     "sawtooth"},
    {"ComboBoxCNT", "Connection scheme",
     "How the six operators are joined: which are heard and which modulate them"},
    {"ComboBoxTD", "Tremolo depth",
     "How far the level of every operator with tremolo on wavers: 1 dB or 4.8 dB"},
    {"ComboBoxVD", "Vibrato depth",
     "How far the pitch of every operator with vibrato on wavers: 7 or 14 cents"},
    {"CheckBoxA", "# left output", "On, # are heard on the left output"},
    {"CheckBoxB", "# right output", "On, # are heard on the right output"},
    {"CheckBoxA2", "# left output", "On, # are heard on the left output"},
    {"CheckBoxB2", "# right output", "On, # are heard on the right output"},
    {"ComboBoxTranspose", "Transpose",
     "Moves both voices by this many cents (100 make a semitone) from the next note on"},
    {"ComboBoxTR1", "# tuning",
     "Tunes # by this many cents (100 make a semitone) from the next note on"},
    {"ComboBoxTR2", "# tuning",
     "Tunes # by this many cents (100 make a semitone) from the next note on"},
};

constexpr Wording kControlWording[] = {
    // The main window's panels.
    {"ComboBoxMidiIn", "MIDI input device",
     "The MIDI input that plays the synthesizer; the list is read again each time it opens"},
    {"ComboBoxMidiChannel", "MIDI channel",
     "The MIDI channel of the input that is played; the mini keyboard always plays"},
    {"ButtonCc", "MIDI controllers",
     "Shows which MIDI controller moves which function, and lets you change it"},
    {"CheckBoxChorder", "Major chord",
     "On, every note also sounds a major third and a fifth above it"},
    {"ButtonKbd", "Mini keyboard", "Shows the mini keyboard, played with the mouse or letters"},
    {"ComboBoxPreset", "Preset",
     "Pick a preset of the bank, or type its name and press Enter; Save and Reset act on it"},
    {"ComboBoxBank", "Preset bank",
     "2op presets hold operators 5 and 6, 4op presets operators 1 to 4, 6op the whole sound"},
    {"ButtonSavePreset", "Save preset",
     "Saves the sound under the name in the preset box, in the chosen bank"},
    {"ButtonReset", "Reset preset",
     "Silences the chip and loads the preset named in the preset box again as it was saved"},
    {"TrackBarVolume", "Output volume", "The card's output volume in 1.5 dB steps; 31 is 0 dB"},
    {"CheckBoxMute", "Mute output", "On, the card's output is silent"},
    {"TrackBarPan", "Output pan", "The balance of the card's output between left and right"},
    {"ImageCnt", "Connection scheme picture",
     "How the operators are joined in the chosen connection scheme"},
    {"ButtonPlay", "Play menu",
     "The sustain and sostenuto pedals on or off, and the pitch bend's range"},
    {"ButtonEdit", "Edit menu", "Undo and redo the patch's changes, compare A and B, copy A to B"},
    {"ButtonCompare", "Compare A and B",
     "Switches between the two patches A and B; its caption says which one sounds"},
    {"ButtonBrowse", "Sound browser",
     "Opens the sound browser: the instruments of your bank files, to try and apply"},
    // The mini keyboard.
    {"SpeedButtonUp", "Previous preset",
     "Picks the preset above in the bank's list, as the up cursor key does"},
    {"SpeedButtonDown", "Next preset",
     "Picks the preset below in the bank's list, as the down cursor key does"},
    // The controller window.
    {"ValueListEditorCc", "MIDI controller bindings",
     "Each function and the number of the MIDI controller that moves it; -1 binds none"},
    // The sound browser.
    {"EditSearch", "Search instruments", "Lists only instruments or banks whose name holds this"},
    {"ComboBoxKind", "Instrument kind", "Lists only instruments of this kind, or all of them"},
    {"ButtonOpen", "Open bank files", "Adds bank files from anywhere to the list"},
    {"ButtonReload", "Reload library", "Reads the library folder's bank files again"},
    {"TableInstruments", "Instruments",
     "Every instrument of the bank files; choosing one applies it like a preset of its kind"},
    {"CheckBoxPreview", "Preview", "On, choosing an instrument plays a note of it"},
    {"ListRefused", "Files not read", "The files that could not be read, with the reason"},
    // The detection dialog.
    {"ButtonOk", "OK", "Plays on the card found"},
    {"ButtonCancel", "Cancel", "Ends VI 801 without playing"},
};

std::string Fill(const char* text, std::string_view what) {
    std::string filled;
    for (const char* c = text; *c; ++c) {
        if (*c == '#')
            filled += what;
        else
            filled += *c;
    }
    return filled;
}

template <size_t N> const Wording* Find(const Wording (&table)[N], std::string_view control) {
    for (const Wording& row : table)
        if (control == row.control) return &row;
    return nullptr;
}

template <size_t N>
AccessibleText Text(const Wording (&table)[N], std::string_view control, std::string_view what) {
    const Wording* row = Find(table, control);
    if (!row) return {};
    return {Fill(row->name, what), Fill(row->description, what)};
}

std::string Capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = char(text[0] - 'a' + 'A');
    return text;
}

// "C sharp 4": readers speak "#" as a sign, not as "sharp".
std::string SpokenNote(int note) {
    std::string name = NoteName(note);
    if (const size_t sharp = name.find('#'); sharp != std::string::npos)
        name.replace(sharp, 1, " sharp ");
    return name;
}

} // namespace

AccessibleText OperatorFieldAccessible(int op, size_t field) {
    if (field >= kOperatorFields.size()) return {};
    return Text(kOperatorWording, kOperatorFields[field].control, std::to_string(op + 1));
}

AccessibleText OperatorCcAccessible(int op) {
    return Text(kOperatorWording, "CheckBoxCC", std::to_string(op + 1));
}

AccessibleText OperatorFrameAccessible(int op) {
    return Text(kOperatorWording, "FrameOp", std::to_string(op + 1));
}

AccessibleText VoiceAccessible(VoiceField field) {
    static constexpr std::array<const char*, kVoiceFieldCount> kControls = {
        "ComboBoxFB", "ComboBoxFB2", "ComboBoxCNT", "ComboBoxTD", "ComboBoxVD",
        "CheckBoxA",  "CheckBoxB",   "CheckBoxA2",  "CheckBoxB2"};
    const auto index = static_cast<size_t>(field);
    if (index >= kControls.size()) return {};
    const bool second = field == VoiceField::OutputA2 || field == VoiceField::OutputB2;
    AccessibleText text =
        Text(kVoiceWording, kControls[index], second ? "operators 5 and 6" : "operators 1 to 4");
    text.name = Capitalized(text.name);
    return text;
}

AccessibleText TuningAccessible(Tuning which) {
    static constexpr std::array<const char*, kTuningCount> kControls = {
        "ComboBoxTranspose", "ComboBoxTR1", "ComboBoxTR2"};
    AccessibleText text = Text(kVoiceWording, kControls[static_cast<size_t>(which)],
                               which == Tuning::Voice2 ? "operators 5 and 6" : "operators 1 to 4");
    text.name = Capitalized(text.name);
    return text;
}

AccessibleText ControlAccessible(std::string_view control) {
    return Text(kControlWording, control, {});
}

AccessibleText PianoKeyAccessible(int note) {
    const std::string name = SpokenNote(note);
    return {"Key " + name, "Plays " + name + " while the mouse holds it"};
}

AccessibleText LetterKeyAccessible(char letter, int note) {
    const std::string key(1, letter), name = SpokenNote(note);
    return {"Letter " + key + " plays " + name,
            "Holding " + key + " on the computer's keyboard plays " + name +
                " while the mini keyboard is the active window"};
}

AccessibleText ControllerValueAccessible(std::string_view function) {
    const size_t end = function.find_last_not_of(' ');
    const std::string key(function.substr(0, end == std::string_view::npos ? 0 : end + 1));
    return {key + " controller",
            "The number of the MIDI controller that moves " + key + "; -1 binds none"};
}

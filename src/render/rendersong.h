#pragma once
// `vi801 --render`: a song read from a MIDI file, played through the
// emulated card offline and written into a WAV file. Whoever calls it plays
// the messages (the main window does, as it plays live input) through the
// function it hands over.
#include "midi/midifile.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class EmulatedCard;

// How a render is made: into which file, at which rate, the channel whose
// notes it counts, and whether a preset named keeps the song's program
// changes from choosing others.
struct RenderOptions {
    std::string out;
    unsigned rate = 48000;
    int channel = 1;             // 1-16
    std::string preset;          // empty: none named
    bool programChanges = false; // they choose presets even so
};

struct RenderReport {
    std::string out;
    double seconds = 0;            // of audio written
    int notes = 0;                 // note-ons of the song on the channel played
    double speed = 0;              // seconds of audio per second of rendering
    double peak = 0;               // the largest sample, 1 at full scale
    int programChangesIgnored = 0; // see DropProgramChanges
};

// Renders `song` into options.out at options.rate on `card` (its port
// functions installed, no audio output open), without the program changes
// that a named preset overrides; deliver plays one message,
// writing to the card. The bar goes to `progress` (null: none). `check`, when
// given, runs between blocks and messages and may raise an Error to stop. Raises an
// Error naming the output when it can't be written: nothing is left under
// its name then, nor beside it.
RenderReport RenderToWav(const MidiFile& song, const RenderOptions& options, EmulatedCard& card,
                         const std::function<void(ShortMessage)>& deliver, std::ostream* progress,
                         const std::function<void()>& check = {});

// The channels (1-16) whose note-ons the song holds, in order.
std::vector<int> ChannelsWithNotes(const MidiFile& song);

// One line: "song.wav: 3:12.4 of audio, 412 notes, 85.2 x real time".
std::string RenderSummary(const RenderReport& report);

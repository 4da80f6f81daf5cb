#pragma once
// Standard MIDI files of format 0 and 1: the channel messages of every
// track, running status resolved, merged in time order, each with its time
// in seconds from the file's tempo map. System exclusive and meta events
// other than tempo are skipped.
//
// Our own reader rather than the system's libsmf (1.3): that library ends
// the process through assertions on damaged tracks (one that stops without
// an end-of-track event, delta times that add up past 2^31 ticks, some
// stray system bytes), about one file in thirteen of single-byte mutations
// of a sound file. Only a walk through every event of every track could
// keep such files from it, and that walk is this reader.
#include "midi/shortmessage.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct TimedMessage {
    double Seconds = 0; // from the start of the song
    ShortMessage Message;
    bool operator==(const TimedMessage&) const = default;
};

struct MidiFile {
    int Format = 0;
    int Tracks = 0;
    // In time order; messages at the same time in file order (track, then
    // position in the track).
    std::vector<TimedMessage> Messages;
};

// Larger files are refused before they are read.
inline constexpr size_t kMaxMidiFileBytes = 16u << 20;

// Raises an Error whose text says what is wrong, e.g. "not a standard MIDI
// file", "truncated (track 2 ends inside an event)", "corrupt track 1: ...".
MidiFile ParseMidiFile(std::span<const uint8_t> bytes);
// The same for a file; the error text starts with the file's name.
MidiFile ReadMidiFile(const std::string& path);

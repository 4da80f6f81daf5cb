#pragma once
// The command line and the choice between a real FM801 (through its ports or
// through ALSA's OPL3 device) and the emulated card.
#include "hardware/cardinuse.h"
#include "render/rendersong.h"

#include <iosfwd>
#include <string>
#include <vector>

enum class CardOption { Auto, Hardware, Emulated, Alsa };

struct CommandLine {
    static constexpr unsigned kDefaultRate = 48000;
    static constexpr unsigned kLowestRate = 8000, kHighestRate = 192000;

    CardOption card = CardOption::Auto;
    std::string portLog; // empty: no port log
    std::string midiIn;  // empty: start with no MIDI input
    std::string record;  // empty: no recording
    // Rendering a MIDI file (render empty: none). bank and preset empty:
    // the main window's own.
    std::string render, out, bank, preset;
    int channel = 1;             // 1-16
    bool programChanges = false; // the song's choose presets even with a preset named
    // Bank files (empty: none): --import writes its instruments as presets,
    // each name after prefix; --list prints them.
    std::string import, prefix, list;
    unsigned rate = kDefaultRate;
    bool noSettings = false; // start as if nothing were remembered, and remember nothing
    bool help = false;
    bool version = false;
};

struct CommandLineResult {
    CommandLine options;
    std::string error; // one line; empty when the command line is good
    bool Ok() const { return error.empty(); }
};

// What a render takes of the command line.
RenderOptions RenderOptionsOf(const CommandLine& options);

CommandLineResult ParseCommandLine(const std::vector<std::string>& arguments);
CommandLineResult ParseCommandLine(int argc, const char* const* argv);

std::string UsageText(const std::string& program);
std::string VersionText();

// Prints what --help, --version, a bad command line (its one line and the
// way to --help) or a FileClash ask for and returns the exit status (0, or 2
// for a bad command line); -1 when the program goes on.
int HandleCommandLine(const CommandLineResult& result, const std::string& program,
                      std::ostream& out, std::ostream& err);

// Files named by the options that are one file however they are spelled (the
// song given as an output, or one file as two outputs): one line, or empty.
std::string FileClash(const CommandLine& options);
// What the machine offers for --card=auto.
struct CardsAtHand {
    bool portsWork = false;      // an FM801 is present and its ports are granted
    bool alsaDeviceOpen = false; // an OPL3 device of ALSA opened
};

// Auto takes the first of the card's ports, ALSA's device and the emulated
// card that works; the other options are obeyed as they are, so that a card
// chosen without one ends in the dialog's "not found".
CardKind ChooseCard(CardOption option, const CardsAtHand& found);

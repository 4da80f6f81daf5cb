#pragma once
// The command line and the choice between a real FM801 and the emulated card.
#include "hardware/cardinuse.h"
#include "render/rendersong.h"

#include <iosfwd>
#include <string>
#include <vector>

enum class CardOption { Auto, Hardware, Emulated };

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
    int channel = 1; // 1-16
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

// Prints what --help, --version or a bad command line ask for and returns the
// exit status (0, or 2 for a bad command line); -1 when the program goes on.
int HandleCommandLine(const CommandLineResult& result, const std::string& program,
                      std::ostream& out, std::ostream& err);

// Auto takes the hardware when an FM801 is present and the emulated card
// otherwise; the other options are obeyed as they are, so that the hardware
// chosen without a card ends in the dialog's "not found".
CardKind ChooseCard(CardOption option, bool fm801Present);

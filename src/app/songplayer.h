#pragma once
// The synthesizer playing a song offline, with no window: the core on the
// card whose port base it is given, started as the program starts it and
// set up as the command line says (bank, preset, channel) the way the user
// would set it up; each message of the song reaches it as MIDI input hands
// one over, so the live handling plays the song: channel filter,
// controllers, program changes and bends.
#include "app/commandline.h"
#include "midi/shortmessage.h"
#include "presets/sbi.h"
#include "synth/presetbank.h"

#include <cstdint>
#include <filesystem>
#include <memory>

class SynthCore;

class SongPlayer {
public:
    // wParam of the song's messages, as an input device's handle would be.
    static constexpr uint32_t kSongSource = 1;

    // Needs the card's port functions. The banks are folders of presetRoot.
    // Raises an Error naming the preset when the bank has none of that name
    // or its file can't be read, and one naming a bank that isn't one.
    SongPlayer(uint16_t portBase, const CommandLine& options,
               const std::filesystem::path& presetRoot);
    ~SongPlayer(); // the core resets the chip
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // Handled before it returns.
    void Play(ShortMessage message);
    SynthCore& Core() { return *core_; }

private:
    void ListBank(const std::string& bank);
    void ChoosePreset(const std::string& name, const std::filesystem::path& presetRoot);

    SBI store_;
    std::unique_ptr<SynthCore> core_;
    std::unique_ptr<PresetBank> bank_;
    std::string bankName_;
};

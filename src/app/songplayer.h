#pragma once
// The main window playing a song offline. It is built off screen and never
// shown, with no detection dialog, on the card whose port base it is
// given; it is set up as the command line says (bank, preset, channel) the
// way the user would set it up; and each message of the song reaches it as
// MIDI input hands one over, so the live handling plays the song: channel
// filter, chord switch, controllers, program changes and bends.
#include "app/cardchoice.h"
#include "midi/shortmessage.h"

#include <cstdint>
#include <filesystem>
#include <memory>

class TFormMain;

class SongPlayer {
public:
    // wParam of the song's messages, as an input device's handle would be.
    static constexpr uint32_t kSongSource = 1;

    // Needs the application and the card's port functions. The banks are
    // folders of presetRoot. Raises an Error naming the preset when the
    // bank has none of that name or its file can't be read.
    SongPlayer(uint16_t portBase, const CommandLine& options,
               const std::filesystem::path& presetRoot);
    ~SongPlayer(); // the window resets the chip
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // Handled before it returns.
    void Play(ShortMessage message);
    TFormMain& Window() { return *window_; }

private:
    std::unique_ptr<TFormMain> window_;
};

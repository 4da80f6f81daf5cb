#pragma once
// What the windows show of the synthesizer besides its controls: the notes
// that sound, which presets the two voices come from, and MIDI activity.
// Rules over the state, for any view. No Qt.
#include "synth/synthstate.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

// The notes the chip's slots play, a chord's notes among them.
std::bitset<128> SoundingNotes(const SynthState& state);

// The line beside the preset label: a hint to choose a preset while none
// was ever loaded, then the two presets that sound when they differ
// ("4op Organ + 2op Clarinet"), otherwise nothing. In the names' own bytes.
std::string PresetPartsText(const SynthState& state);
// The same at length, for its tooltip.
std::string PresetPartsTip(const SynthState& state);

// The MIDI light and the channel hint, from the counts of received
// messages per channel, read now and then.
class MidiActivity {
public:
    // How long the light stays on after a message.
    static constexpr int64_t kLitMs = 120;

    // The counts at a moment (milliseconds on any steady clock), and the
    // channel listened to (-1: none).
    void Poll(const std::array<uint32_t, kMidiChannelCount>& counts, int channel, int64_t nowMs);
    bool Lit() const { return lit_; }
    // The channel messages arrive on while none arrive on the one listened
    // to; -1 when there is nothing to hint at.
    int OtherChannel() const { return other_; }

private:
    std::array<uint32_t, kMidiChannelCount> last_{};
    bool heard_ = false; // a message arrived since the first poll
    int64_t lastMessageMs_ = 0;
    int channel_ = 0;
    int other_ = -1;
    bool lit_ = false;
};

// "Input on channel 3" for channel index 2.
std::string ChannelHintText(int channel);

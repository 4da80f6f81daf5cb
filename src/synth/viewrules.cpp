#include "synth/viewrules.h"

std::bitset<128> SoundingNotes(const SynthState& state) {
    std::bitset<128> notes;
    for (int32_t note : state.slotNotes)
        if (note >= 0 && note < 128) notes.set(static_cast<size_t>(note));
    return notes;
}

std::string PresetPartsText(const SynthState& state) {
    if (!state.presetChosen) return "choose a preset";
    const PresetName& four = state.parts[static_cast<size_t>(VoicePart::Ops1To4)];
    const PresetName& two = state.parts[static_cast<size_t>(VoicePart::Ops5To6)];
    if (four == two) return {};
    return "4op " + std::string(four.View()) + " + 2op " + std::string(two.View());
}

std::string PresetPartsTip(const SynthState& state) {
    if (!state.presetChosen)
        return "The Default patch is silent: choose a preset from the list below to hear "
               "something";
    const PresetName& four = state.parts[static_cast<size_t>(VoicePart::Ops1To4)];
    const PresetName& two = state.parts[static_cast<size_t>(VoicePart::Ops5To6)];
    if (four == two) return "Both voices play " + std::string(four.View());
    return "Operators 1-4 play " + std::string(four.View()) + ", operators 5-6 play " +
           std::string(two.View()) +
           ": a 4op preset replaces operators 1-4 only, a 2op preset operators 5-6 only";
}

// Counts start at 0 with the synthesizer, and wrap around.
void MidiActivity::Poll(const std::array<uint32_t, kMidiChannelCount>& counts, int channel,
                        int64_t nowMs) {
    if (channel != channel_) other_ = -1;
    channel_ = channel;
    uint32_t most = 0;
    int busiest = -1;
    bool any = false;
    for (int c = 0; c < kMidiChannelCount; ++c) {
        const uint32_t arrived = counts[static_cast<size_t>(c)] - last_[static_cast<size_t>(c)];
        if (arrived == 0) continue;
        any = true;
        if (c == channel) {
            busiest = -2; // the channel listened to has its own
        } else if (busiest != -2 && arrived > most) {
            most = arrived;
            busiest = c;
        }
    }
    last_ = counts;
    if (any) {
        heard_ = true;
        lastMessageMs_ = nowMs;
        other_ = busiest >= 0 ? busiest : -1;
    }
    lit_ = heard_ && nowMs - lastMessageMs_ < kLitMs;
}

std::string ChannelHintText(int channel) {
    return "Input on channel " + std::to_string(channel + 1);
}

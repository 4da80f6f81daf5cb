#pragma once
// The sustain and sostenuto pedals: which notes keep sounding after their
// keys go up, and which to let go when a pedal does. Note numbers are the
// chip's (a chord's fifth reaches 134), so each set holds 256. No Qt, no
// allocation.
#include <bitset>
#include <cstdint>
#include <span>

class Pedals {
public:
    bool Sustain() const { return sustain_; }
    bool Sostenuto() const { return sostenuto_; }

    // Whether a note whose key goes up keeps sounding.
    bool Keeps(uint8_t note) const { return sustain_ || (sostenuto_ && caught_[note]); }
    // Its key went up while a pedal keeps it.
    void Hold(uint8_t note) { held_.set(note); }
    // A note struck again: true when a pedal held it, which it no longer does
    // (the caller releases it before starting it again).
    bool Strike(uint8_t note) {
        const bool held = held_[note];
        held_.reset(note);
        return held;
    }

    // The sustain pedal; going up lets go of every held note that the
    // sostenuto pedal does not keep. release(note) is called for each.
    template <class Release> void SetSustain(bool down, Release&& release) {
        sustain_ = down;
        if (!down) LetGo(release);
    }
    // The sostenuto pedal going down catches the notes sounding with their
    // keys down (sounding holds the chip's slots: a note, or anything
    // outside 0..255 for a free slot); going up lets go of those held.
    template <class Release>
    void SetSostenuto(bool down, std::span<const int32_t> sounding, Release&& release) {
        if (down == sostenuto_) return;
        sostenuto_ = down;
        caught_.reset();
        if (down) {
            for (int32_t note : sounding)
                if (note >= 0 && note < kNotes && !held_[static_cast<size_t>(note)])
                    caught_.set(static_cast<size_t>(note));
        } else {
            LetGo(release);
        }
    }
    // Both pedals up, letting go of every held note.
    template <class Release> void Lift(Release&& release) {
        sustain_ = sostenuto_ = false;
        caught_.reset();
        LetGo(release);
    }
    // Every note was silenced otherwise: nothing is held any more.
    void Forget() {
        held_.reset();
        caught_.reset();
    }

private:
    static constexpr int kNotes = 256;

    template <class Release> void LetGo(Release& release) {
        for (int note = 0; note < kNotes; ++note) {
            const auto n = static_cast<uint8_t>(note);
            if (held_[n] && !Keeps(n)) {
                held_.reset(n);
                release(n);
            }
        }
    }

    std::bitset<kNotes> held_, caught_;
    bool sustain_ = false, sostenuto_ = false;
};

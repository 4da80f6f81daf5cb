#pragma once
// One instance of the plugin: the synthesizer core on an emulated card of
// its own, played at the host's rate. Each MIDI event is applied at its
// frame: the card renders up to it, then the core handles it. The control
// ports are compared with the values last applied at the start of each run;
// a port that moved is applied as the user's edit of that control.
//
// What the core changes itself (a preset a program change loads, a
// controller row moving a parameter) does not move the ports: a host's input
// ports are its own. The core keeps such a change until the port itself
// next moves, and the session saves the core's sound, not the ports'.
//
// Threads: the constructor, Activate, Restore and the tools' calls allocate
// and run off the audio thread; Run never locks, allocates, logs or waits;
// Save may run beside Run and reads what the last Run published.
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "plugin/controlports.h"
#include "plugin/session.h"
#include "synth/presetbank.h"
#include "synth/synthcore.h"
#include "synth/triplebuffer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace plugin {

class Instrument {
public:
    // wParam of the host's MIDI events, as an input device's handle would be.
    static constexpr uint32_t kHostSource = 1;

    // Started as the program starts: the card's output levels, the 6op
    // bank listed, the Default patch.
    explicit Instrument(unsigned rate);
    ~Instrument(); // the core resets the chip
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Control ports by index from kFirstControl; null: not connected.
    void ConnectControl(size_t control, const float* value) { controls_[control] = value; }
    void ConnectOutputs(float* left, float* right) { out_ = {left, right, 1}; }

    // A second activation silences every note and programs the patch again:
    // a note-off lost while the host had the plugin off leaves nothing hanging.
    void Activate();

    // One block: the ports' changes at its first frame, then each event at
    // its frame. `events(play)` calls play(frame, bytes, size) for each MIDI
    // event in frame order; one past the block is played at its end.
    template <typename Events> void Run(uint32_t frames, const Events& events) {
        const ScopedThreadPortBackend card(card_);
        Begin(frames);
        events(
            [this](int64_t frame, const uint8_t* midi, size_t size) { Play(frame, midi, size); });
        End();
    }

    // The session: the core's sound and settings as of the last Run.
    std::vector<uint8_t> Save();
    // False, and nothing changed, for bytes that are no session. The ports'
    // values at the next Run are taken as they are, without being applied:
    // the restored sound wins over them until they move.
    bool Restore(std::span<const uint8_t> bytes);

    // Off the audio thread (tools and tests).
    const SynthState& State() const { return core_->State(); }
    const PlayerSettings& Player() const { return player_; }
    const std::array<PresetBank, 3>& Banks() const { return banks_; }
    void LoadPreset(const PresetChoice& choice);

private:
    struct Published {
        SynthState state;
        PlayerSettings player;
    };

    void Begin(uint32_t frames);
    void Play(int64_t frame, const uint8_t* midi, size_t size);
    void End();
    void ApplyPortChanges();
    void ApplyPort(const ControlPort& port, int value);
    void SelectBank(int bank);
    TuningState TuningOfCents(int cents) const;
    void RenderUntil(uint32_t frame);
    void Publish();

    EmulatedCard card_;
    std::unique_ptr<SynthCore> core_;
    const std::array<PresetBank, 3> banks_;
    PlayerSettings player_;
    const std::vector<ControlPort>& ports_;
    std::vector<const float*> controls_;
    std::vector<int> applied_; // by control port: the value last applied
    bool resync_ = false;      // take the ports' values as applied
    bool activated_ = false;
    std::array<int32_t, 14> tuningItemCents_{};
    StereoOut out_{nullptr, nullptr, 1};
    uint32_t frames_ = 0, done_ = 0; // of the block under way
    TripleBuffer<Published> published_;
};

} // namespace plugin

#pragma once
// The synthesizer: the patch and settings as values, the note rules, the
// controller map and the preset list, playing the card through FM801 and
// OPL3 (and so only through the port primitives). No Qt, no thread of its
// own: whoever drives it calls it from one thread at a time, and nothing in
// it locks, allocates, logs or waits once it is built.
//
// Every change of a value follows the rule the window's controls have
// always followed, so the chip hears exactly what it heard from them: a
// user's edit programs its parameter; a value the synthesizer sets itself
// (a controller, a preset, the card's state at start) programs a check box
// or track bar parameter only when it changes, and a list parameter not at
// all, unless the rule for that change says it is sent.
#include "hardware/fm801.h"
#include "midi/shortmessage.h"
#include "synth/patchhistory.h"
#include "synth/pedals.h"
#include "synth/presetbank.h"
#include "synth/synthstate.h"

#include <cstdint>
#include <memory>

class SynthCore {
public:
    // Creates the card's FM801 at portBase, which resets the chip.
    explicit SynthCore(uint16_t portBase);
    // Releases the FM801, which resets the chip: no note keeps sounding.
    ~SynthCore();
    SynthCore(const SynthCore&) = delete;
    SynthCore& operator=(const SynthCore&) = delete;

    FM801& Card() { return *card_; }
    OPL3& Chip() { return *card_->Opl3; }
    const SynthState& State() const { return state_; }

    // The card's output levels and mute taken as the output settings; what
    // differs from the settings so far is written back to the card.
    void ShowCardOutputState();

    // A user's edits: each programs its parameter, changed or not.
    void SetOperatorField(int op, size_t field, int value);
    void SetVoiceField(VoiceField field, int value);
    // The card's output level 0..31 and pan -64..63 make its attenuations.
    void SetVolumeAndPan(int volume, int pan);
    void SetVolume(int volume) { SetVolumeAndPan(volume, state_.pan); }
    void SetPan(int pan) { SetVolumeAndPan(state_.volume, pan); }
    void SetMute(bool mute);
    // A list set without its handler (as the program sets one): the value
    // is kept and nothing is sent.
    void KeepOperatorField(int op, size_t field, int value);
    void KeepVoiceField(VoiceField field, int value);
    // Settings read at the next note: nothing is sent.
    void SetCcEnabled(int op, bool on);
    void SetTuning(Tuning which, const TuningState& edit);
    void SetChord(bool on);
    void SetMidiChannel(int channel); // 0..15, -1 for none
    void SetControllerNumber(int row, int number);

    // Operator copy and paste, and "Clear" (every field to its default).
    // Pasting or clearing sends the operator's lists too.
    OperatorPatch CopyOperator(int op) const;
    void PasteOperator(int op, const OperatorPatch& image);
    void ClearOperator(int op);

    // Whole-patch records from the values, and back: setting them follows
    // the change rule field by field; the caller programs the whole patch.
    SynthPatch GetSynthPatch() const;
    PatchSettings GetPatchSettings() const;
    void SetSynthPatch(const SynthPatch& patch);
    void SetPatchSettings(const PatchSettings& settings);
    // Every operator cleared, then the whole patch programmed.
    void LoadDefaultPatch();
    // A preset applied: what its kind carries replaced and the whole patch
    // programmed; the label numbers the selected preset. A file that does
    // not decode changes nothing but the label.
    void LoadPreset(const PresetChoice& choice);
    // The chip silenced and cleared, every slot freed; the values stay.
    void ResetChip();

    // The preset list program changes choose from (not owned; null: none).
    // Returns the bank it replaces.
    const PresetBank* SetBank(const PresetBank* bank);
    // The user's selection in the list (-1: none); loads nothing.
    void SelectPreset(int index);

    // MIDI short messages, from an input (source: its handle) or the mini
    // keyboard (KeyboardSource, always channel 1, program change a step).
    void HandleMidiData(uint32_t source, ShortMessage message);
    void HandleController(uint8_t number, uint8_t value);
    // Velocity scales the level of every operator that follows controllers.
    void ApplyVelocity(uint8_t velocity);

    // --- the pedals, the bend range and learn ---
    // Whether controllers 64 and 66 work the pedals when no row takes them;
    // turned off, the pedals go up and let go of what they hold.
    void SetPedalsEnabled(bool on);
    // The bend's range either way, 0..kMaxBendRange cents.
    void SetBendRange(int cents);
    // The next controller message on the channel binds its number to row,
    // taking it from any other row; -1 stops waiting.
    void Learn(int row);

    // --- undo, redo and compare ---
    // Every change of the patch is a step; undo and redo show a step's
    // values and program the whole patch, so the chip says what they say.
    void Undo();
    void Redo();
    // A user's edits between the two (a drag) are one step.
    void BeginGesture();
    void EndGesture();
    // Undo stops here from now on.
    void ForgetHistory();
    // A and B: the other memory sounds; the first switch starts B as A.
    void SwitchCompare();
    // B becomes a copy of A (and sounds as A when B is sounding).
    void CopyAToB();
    // Milliseconds of a monotonic clock: a controller turned or a tuning
    // typed is one step until it pauses. Read only for those.
    using Clock = int64_t (*)();
    void SetClock(Clock clock) { clock_ = clock; }

private:
    // One call from outside that may change the patch: the outermost
    // records the step when it returns.
    class EditStep {
    public:
        EditStep(SynthCore& core, StepKey key) : core_(core) {
            if (core_.stepDepth_++ == 0) core_.stepKey_ = key;
        }
        ~EditStep() {
            if (--core_.stepDepth_ == 0) core_.RecordStep();
        }
        EditStep(const EditStep&) = delete;
        EditStep& operator=(const EditStep&) = delete;

    private:
        SynthCore& core_;
    };

    void NoteOn(uint8_t note, uint8_t velocity);
    void NoteOff(uint8_t note);
    int32_t StartNote(int32_t cents4, int32_t cents2, uint8_t note);
    int32_t StopNote(uint8_t note);
    bool Sounds(uint8_t note) const;
    int32_t SoundingCount() const;
    void ReleaseAllNotes();
    void PitchBend(uint8_t data1, uint8_t data2);
    void HandleUnboundController(uint8_t number, uint8_t value);
    void PressSustain(bool down);
    void PressSostenuto(bool down);
    void LiftPedals();
    void BindLearned(uint8_t number);
    void ProgramChange(uint8_t program);
    void StepPreset(int8_t step);
    void ChoosePresetItem(int index);
    void ShowLabel(int label);
    int32_t VoiceCents(Tuning voice) const;

    void ApplyControllerRow(int row, uint8_t value);
    void ApplyOperatorRow(CcTarget target, uint8_t value);
    void SelectTuning(Tuning which, int index);
    void SelectVoiceList(VoiceField field, int index, int items);

    // The change rule for values the synthesizer sets itself.
    void MoveField(int op, size_t field, int value);
    void MoveOutput(VoiceField field, bool on);
    void MoveVolume(int volume);
    void MovePan(int pan);
    void MoveMute(bool mute);
    void SetTuningNumber(Tuning which, int16_t cents);

    void WriteField(int op, size_t field);
    void WriteVoiceField(VoiceField field);
    void WriteAttenuation();
    void WriteMute();

    // Steps of the patch.
    StepKey UserKey() const;
    HistoryEntry Capture() const;
    void RecordStep();
    void CountSteps();
    void ShowEntry(const HistoryEntry& entry);
    void ShowPatch(const PatchMemory& memory);
    int64_t Now() const;

    std::unique_ptr<FM801> card_;
    SynthState state_;
    const PresetBank* bank_ = nullptr;

    Pedals pedals_;
    // The registered parameter data entry sets (127, 127: none).
    std::array<uint8_t, 2> rpn_ = {127, 127};
    PatchHistory history_;
    CompareMemory compare_;
    Clock clock_ = nullptr; // null: the steady clock
    int stepDepth_ = 0;     // calls within one step of the patch
    StepKey stepKey_{};
    bool gestureOpen_ = false;
    int gestureId_ = 0;
};

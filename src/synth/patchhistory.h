#pragma once
// Undo, redo and the A/B compare: the patch after each step, kept in a ring
// of fixed size made once, so that recording a step never allocates. An
// entry holds the patch as the controls show it, packed small, and the
// compare memory that is not sounding. No Qt.
#include "synth/synthstate.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

// A tuning list as a step keeps it: the text it shows is rebuilt from these.
struct TuningMemory {
    int32_t cents = 0;
    int8_t index = -1;
    TuningState::Text text = TuningState::Text::Typed;
    bool matchesItem = false;
    bool operator==(const TuningMemory&) const = default;
};

// What a preset stores and the controls show of the patch: every value is
// small (a field of at most six bits, a list item, a level, a pan).
struct PatchMemory {
    std::array<std::array<int8_t, kOperatorFieldCount>, kOperatorCount> fields{};
    uint8_t ccMask = 0;
    std::array<int8_t, kVoiceFieldCount> voice{};
    std::array<TuningMemory, kTuningCount> tunings{};
    int8_t volume = 0, pan = 0;
    bool operator==(const PatchMemory&) const = default;
};

PatchMemory MemoryOf(const SynthState& state);
// The memory's values in the state, volume and pan aside (the card follows
// them). A tuning that changes gets a new serial; a typed text comes back as
// the item it matches or as its number, since only the window had the text.
void PutMemory(const PatchMemory& memory, SynthState& state);

// Two patch memories, A and B: one sounds (it is the patch), the other waits.
struct CompareMemory {
    PatchMemory waiting{};
    bool waitingKept = false; // false until the first switch or copy
    bool bSounding = false;
    bool operator==(const CompareMemory&) const = default;
};

struct HistoryEntry {
    PatchMemory sounding{};
    CompareMemory compare{};
    bool operator==(const HistoryEntry&) const = default;
};

// What an edit belongs to. Edits of one gesture are one step: a drag of a
// control (from press to release), a controller turned or a tuning typed
// without a pause longer than kStepPauseMs.
struct StepKey {
    enum class Kind : uint8_t { Single, Gesture, Controller, Tuning };
    Kind kind = Kind::Single;
    int id = 0;     // the gesture's number, the controller's row, the tuning list
    int64_t ms = 0; // when, for controllers and tunings
};
inline constexpr int64_t kStepPauseMs = 1000;
// Whether an edit keyed next continues the step last recorded under last.
bool ContinuesStep(const StepKey& last, const StepKey& next);

class PatchHistory {
public:
    // Entries, the current one included: 255 steps back at most.
    static constexpr size_t kCapacity = 256;
    static constexpr size_t kBytes = kCapacity * sizeof(HistoryEntry);

    PatchHistory(); // the ring is made here, once
    ~PatchHistory();
    PatchHistory(const PatchHistory&) = delete;
    PatchHistory& operator=(const PatchHistory&) = delete;

    // Everything forgotten: now is where undo stops.
    void Start(const HistoryEntry& now);
    // A step to now, unless nothing changed; it joins the last step when the
    // key continues it. A new step drops what could be redone, and the
    // oldest step once the ring is full.
    void Record(const HistoryEntry& now, const StepKey& key);
    // The entry to show; null when there is none.
    const HistoryEntry* Undo();
    const HistoryEntry* Redo();
    // The current entry as the state reads once shown.
    void Replace(const HistoryEntry& now) { At(current_) = now; }
    const HistoryEntry& Current() const { return At(current_); }

    int UndoSteps() const { return static_cast<int>(current_ - oldest_); }
    int RedoSteps() const { return static_cast<int>(newest_ - current_); }

private:
    HistoryEntry& At(uint64_t step) { return (*ring_)[step % kCapacity]; }
    const HistoryEntry& At(uint64_t step) const { return (*ring_)[step % kCapacity]; }

    std::unique_ptr<std::array<HistoryEntry, kCapacity>> ring_;
    uint64_t oldest_ = 0, current_ = 0, newest_ = 0; // step numbers
    StepKey lastKey_{};
    bool joinable_ = false; // the current step is the last recorded one
};

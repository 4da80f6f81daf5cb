// The synthesizer's undo, redo and A/B compare: every call from outside
// that changes the patch ends in one step of the history (synth/patchhistory.h).
#include "synth/synthcore.h"

#include <chrono>

namespace {

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

StepKey SynthCore::UserKey() const {
    if (gestureOpen_) return {StepKey::Kind::Gesture, gestureId_, 0};
    return {};
}

int64_t SynthCore::Now() const {
    return clock_ ? clock_() : SteadyMilliseconds();
}

HistoryEntry SynthCore::Capture() const {
    return {MemoryOf(state_), compare_};
}

void SynthCore::RecordStep() {
    history_.Record(Capture(), stepKey_);
    CountSteps();
}

void SynthCore::CountSteps() {
    state_.undoSteps = history_.UndoSteps();
    state_.redoSteps = history_.RedoSteps();
}

void SynthCore::Undo() {
    if (const HistoryEntry* entry = history_.Undo()) ShowEntry(*entry);
    CountSteps();
}

void SynthCore::Redo() {
    if (const HistoryEntry* entry = history_.Redo()) ShowEntry(*entry);
    CountSteps();
}

// The entry is copied: showing it rewrites its place in the ring.
void SynthCore::ShowEntry(const HistoryEntry& entry) {
    const HistoryEntry shown = entry;
    compare_ = shown.compare;
    state_.comparingB = compare_.bSounding;
    ShowPatch(shown.sounding);
    history_.Replace(Capture());
}

// The values, then the card's volume and pan, then every patch register.
void SynthCore::ShowPatch(const PatchMemory& memory) {
    if (memory == MemoryOf(state_)) return;
    PutMemory(memory, state_);
    MoveVolume(memory.volume);
    MovePan(memory.pan);
    Chip().SetPatch(GetSynthPatch(), GetPatchSettings());
}

void SynthCore::BeginGesture() {
    gestureOpen_ = true;
    ++gestureId_;
}

void SynthCore::EndGesture() {
    gestureOpen_ = false;
}

void SynthCore::ForgetHistory() {
    history_.Start(Capture());
    CountSteps();
}

void SynthCore::SwitchCompare() {
    EditStep step(*this, {});
    const PatchMemory sounding = MemoryOf(state_);
    const PatchMemory next = compare_.waitingKept ? compare_.waiting : sounding;
    compare_.waiting = sounding;
    compare_.waitingKept = true;
    compare_.bSounding = !compare_.bSounding;
    state_.comparingB = compare_.bSounding;
    ShowPatch(next);
}

void SynthCore::CopyAToB() {
    EditStep step(*this, {});
    if (compare_.bSounding) {
        ShowPatch(compare_.waiting);
        return;
    }
    compare_.waiting = MemoryOf(state_);
    compare_.waitingKept = true;
}

#include "synth/patchhistory.h"

namespace {

int8_t Small(int value) {
    return static_cast<int8_t>(value);
}

} // namespace

PatchMemory MemoryOf(const SynthState& state) {
    PatchMemory memory;
    for (int op = 0; op < kOperatorCount; ++op) {
        const OperatorState& o = state.ops[op];
        for (size_t f = 0; f < kOperatorFieldCount; ++f)
            memory.fields[op][f] = Small(o.fields[f]);
        if (o.cc) memory.ccMask |= static_cast<uint8_t>(1 << op);
    }
    for (int v = 0; v < kVoiceFieldCount; ++v)
        memory.voice[v] = Small(state.voice[v]);
    for (int t = 0; t < kTuningCount; ++t) {
        const TuningState& tuning = state.tunings[t];
        memory.tunings[t] = {tuning.cents, Small(tuning.index), tuning.text, tuning.matchesItem};
    }
    memory.volume = Small(state.volume);
    memory.pan = Small(state.pan);
    return memory;
}

void PutMemory(const PatchMemory& memory, SynthState& state) {
    for (int op = 0; op < kOperatorCount; ++op) {
        OperatorState& o = state.ops[op];
        for (size_t f = 0; f < kOperatorFieldCount; ++f)
            o.fields[f] = memory.fields[op][f];
        o.cc = memory.ccMask & (1 << op);
    }
    for (int v = 0; v < kVoiceFieldCount; ++v)
        state.voice[v] = memory.voice[v];
    for (int t = 0; t < kTuningCount; ++t) {
        const TuningMemory& m = memory.tunings[t];
        TuningState& tuning = state.tunings[t];
        if (tuning.cents == m.cents && tuning.index == m.index && tuning.text == m.text &&
            tuning.matchesItem == m.matchesItem)
            continue;
        tuning.cents = m.cents;
        tuning.index = m.index;
        tuning.text = m.text != TuningState::Text::Typed ? m.text
                      : m.matchesItem                    ? TuningState::Text::Item
                                                         : TuningState::Text::Number;
        tuning.matchesItem = m.matchesItem;
        ++tuning.serial;
    }
}

bool ContinuesStep(const StepKey& last, const StepKey& next) {
    if (next.kind == StepKey::Kind::Single || next.kind != last.kind || next.id != last.id)
        return false;
    if (next.kind == StepKey::Kind::Gesture) return true;
    const int64_t pause = next.ms - last.ms;
    return pause >= 0 && pause <= kStepPauseMs;
}

PatchHistory::PatchHistory() : ring_(std::make_unique<std::array<HistoryEntry, kCapacity>>()) {}

PatchHistory::~PatchHistory() = default;

void PatchHistory::Start(const HistoryEntry& now) {
    oldest_ = current_ = newest_ = 0;
    At(0) = now;
    joinable_ = false;
}

void PatchHistory::Record(const HistoryEntry& now, const StepKey& key) {
    if (now == Current()) return;
    if (joinable_ && ContinuesStep(lastKey_, key)) {
        At(current_) = now;
        lastKey_ = key;
        return;
    }
    newest_ = ++current_;
    if (newest_ - oldest_ >= kCapacity) ++oldest_;
    At(current_) = now;
    lastKey_ = key;
    joinable_ = true;
}

const HistoryEntry* PatchHistory::Undo() {
    if (current_ == oldest_) return nullptr;
    joinable_ = false;
    return &At(--current_);
}

const HistoryEntry* PatchHistory::Redo() {
    if (current_ == newest_) return nullptr;
    joinable_ = false;
    return &At(++current_);
}

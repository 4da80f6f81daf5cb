#include "synth/corelink.h"

#include "hardware/giveio.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr auto kPoll = std::chrono::microseconds(100);

} // namespace

// --- the frame clock: a sequence lock whose writer never waits ---

void FrameClock::Publish(uint32_t frame, unsigned rate, bool jack) {
    const uint32_t sequence = sequence_.load(std::memory_order_relaxed);
    sequence_.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    frame_.store(frame, std::memory_order_relaxed);
    nanoseconds_.store(NowNanoseconds(), std::memory_order_relaxed);
    rate_.store(rate, std::memory_order_relaxed);
    jack_.store(jack, std::memory_order_relaxed);
    sequence_.store(sequence + 2, std::memory_order_release);
}

bool FrameClock::Now(uint32_t& frame) const {
    uint32_t start = 0, at = 0;
    int64_t ns = 0;
    unsigned rate = 0;
    do {
        start = sequence_.load(std::memory_order_acquire);
        at = frame_.load(std::memory_order_relaxed);
        ns = nanoseconds_.load(std::memory_order_relaxed);
        rate = rate_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
    } while ((start & 1) || start != sequence_.load(std::memory_order_relaxed));
    if (rate == 0) return false;
    const int64_t elapsed = std::max<int64_t>(0, NowNanoseconds() - ns);
    frame = at + static_cast<uint32_t>(elapsed * rate / 1'000'000'000);
    return true;
}

// --- input threads ---

bool MidiInlet::Push(uint32_t source, ShortMessage message) {
    uint32_t frame = 0;
    StampedMessage m{frame, clock_.Now(frame), source, message};
    m.frame = frame;
    if (queue_.TryPush(m)) return true;
    lost_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool MidiInlet::PushAt(uint32_t frame, uint32_t source, ShortMessage message) {
    if (queue_.TryPush({frame, true, source, message})) return true;
    lost_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

void CoreLink::Receive(Thread thread, uint32_t handle, ShortMessage message, uint32_t frame) {
    MidiInlet& inlet = *inlets_[static_cast<size_t>(thread)];
    // JACK's frames are the card's own only when the card plays on JACK.
    if (thread == Thread::Jack && clock_.OnJack())
        inlet.PushAt(frame, handle, message);
    else
        inlet.Push(handle, message);
}

// --- the snapshots: a triple buffer, the audio thread writing ---

// --- the window's thread ---

CoreLink::CoreLink(SynthCore& core)
    : core_(core), commands_(std::make_unique<SpscQueue<TimedCommand, kCommandCapacity>>()),
      snapshots_(std::make_unique<TripleBuffer<Snapshot>>()) {
    for (auto& inlet : inlets_)
        inlet = std::make_unique<MidiInlet>(clock_);
}

CoreLink::~CoreLink() {
    PlayHere();
}

void CoreLink::ApplyHere(const CoreCommand& command) {
    if (const PresetBank* replaced = Apply(core_, command)) returned_.TryPush(replaced);
}

void CoreLink::Send(const CoreCommand& command) {
    if (card_ && !card_->OutputRunning()) PlayHere(); // a dead stream plays nothing
    if (!PlaysElsewhere()) {
        ApplyHere(command);
        return;
    }
    const TimedCommand timed{{}, command};
    while (!commands_->TryPush(timed)) {
        if (card_ && !card_->OutputRunning()) {
            PlayHere();
            ApplyHere(command);
            return;
        }
        std::this_thread::sleep_for(kPoll);
    }
    ++sent_;
}

void CoreLink::SendMidi(uint32_t source, ShortMessage message) {
    if (card_ && !card_->OutputRunning()) PlayHere();
    if (!PlaysElsewhere()) {
        ApplyHere(command::Midi{source, message});
        return;
    }
    TimedCommand timed{{0, false, source, message}, command::Midi{source, message}};
    timed.stamp.stamped = card_ && clock_.Now(timed.stamp.frame);
    while (!commands_->TryPush(timed)) {
        if (card_ && !card_->OutputRunning()) {
            PlayHere();
            ApplyHere(timed.command);
            return;
        }
        std::this_thread::sleep_for(kPoll);
    }
    ++sent_;
}

const SynthState& CoreLink::State() const {
    return PlaysElsewhere() ? snapshots_->Front().state : core_.State();
}

bool CoreLink::Refresh() {
    return PlaysElsewhere() && snapshots_->Take();
}

bool CoreLink::CaughtUp() const {
    return !PlaysElsewhere() || snapshots_->Front().applied == sent_;
}

void CoreLink::Sync() {
    while (PlaysElsewhere()) {
        Refresh();
        if (CaughtUp()) return;
        if (card_ && !card_->OutputRunning()) {
            PlayHere();
            return;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

const PresetBank* CoreLink::TakeReturnedBank() {
    const PresetBank* const* bank = returned_.Peek();
    if (!bank) return nullptr;
    const PresetBank* taken = *bank;
    returned_.Pop();
    return taken;
}

// Counting starts again from the state as it is, published as the first snapshot.
void CoreLink::StartCounting() {
    sent_ = applied_ = 0;
    Snapshot& first = snapshots_->Back();
    first.state = core_.State();
    first.applied = 0;
    snapshots_->Publish();
    snapshots_->Take();
}

bool CoreLink::PlayOn(EmulatedCard& card) {
    if (card_) return card_ == &card;
    if (thread_.joinable()) return false;
    if (!card.OutputRunning() || &CurrentPortBackend() != &card) return false;
    latency_ = card.OutputInfo().period;
    rate_ = card.OutputInfo().rate;
    jack_ = card.OutputOnJack();
    StartCounting();
    card_ = &card;
    card.SetPeriodClient(this); // from the next period on the core plays there
    return true;
}

void CoreLink::PlayOnThread() {
    if (PlaysElsewhere()) return;
    StartCounting();
    stop_.store(false, std::memory_order_relaxed);
    thread_ = std::thread([this] { ThreadLoop(); });
}

// Not an audio thread: it may sleep while nothing arrives.
void CoreLink::ThreadLoop() {
    auto idle = std::chrono::microseconds(0);
    while (!stop_.load(std::memory_order_acquire)) {
        bool any = false;
        while (ApplyArrived())
            any = true;
        if (any) Publish();
        idle = any ? std::chrono::microseconds(0) : std::min(idle + kPoll, 10 * kPoll);
        if (!any) std::this_thread::sleep_for(idle);
    }
}

// The oldest of what waits in each queue, the window's first.
bool CoreLink::ApplyArrived() {
    if (const TimedCommand* c = commands_->Peek()) {
        const CoreCommand& command = c->command;
        if (const PresetBank* replaced = Apply(core_, command)) returned_.TryPush(replaced);
        if (std::holds_alternative<command::Midi>(command)) Played();
        commands_->Pop();
        ++applied_;
        return true;
    }
    for (auto& inlet : inlets_)
        if (const StampedMessage* m = inlet->Queue().Peek()) {
            core_.HandleMidiData(m->source, m->message);
            inlet->Queue().Pop();
            Played();
            return true;
        }
    return false;
}

// What the audio thread had not played yet is played here, in order.
void CoreLink::PlayHere() {
    if (thread_.joinable()) {
        stop_.store(true, std::memory_order_release);
        thread_.join();
    }
    if (card_) card_->SetPeriodClient(nullptr);
    card_ = nullptr;
    while (const TimedCommand* timed = commands_->Peek()) {
        ApplyHere(timed->command);
        commands_->Pop();
    }
    DrainInlets();
}

void CoreLink::DrainInlets() {
    for (auto& inlet : inlets_)
        while (const StampedMessage* m = inlet->Queue().Peek()) {
            core_.HandleMidiData(m->source, m->message);
            inlet->Queue().Pop();
        }
}

// --- the audio thread ---

void CoreLink::Period(Run& run, uint32_t frameTime, size_t frames) {
    clock_.Publish(frameTime, rate_, jack_);
    const ScopedThreadPortBackend ports(*card_);
    bool applied = false;
    while (ApplyNext(run, frameTime, frames))
        applied = true;
    if (applied) Publish();
}

// The message or command due first, at its frame; false when none is due
// in this period.
bool CoreLink::ApplyNext(Run& run, uint32_t frameTime, size_t frames) {
    const auto due = [&](const StampedMessage& stamp) -> size_t {
        if (!stamp.stamped) return 0;
        const auto offset = static_cast<int32_t>(stamp.frame + latency_ - frameTime);
        return offset < 0 ? 0 : static_cast<size_t>(offset);
    };
    size_t first = frames;
    int from = -1; // the window's commands, or an inlet
    if (const TimedCommand* c = commands_->Peek(); c && due(c->stamp) < first) {
        first = due(c->stamp);
        from = kInletCount;
    }
    for (size_t i = 0; i < kInletCount; ++i)
        if (const StampedMessage* m = inlets_[i]->Queue().Peek(); m && due(*m) < first) {
            first = due(*m);
            from = static_cast<int>(i);
        }
    if (from < 0) return false;
    run.RenderUntil(first);
    if (from == static_cast<int>(kInletCount)) {
        const CoreCommand& command = commands_->Peek()->command;
        if (const PresetBank* replaced = Apply(core_, command)) returned_.TryPush(replaced);
        if (std::holds_alternative<command::Midi>(command)) Played();
        commands_->Pop();
        ++applied_;
    } else {
        const StampedMessage& m = *inlets_[from]->Queue().Peek();
        core_.HandleMidiData(m.source, m.message);
        inlets_[from]->Queue().Pop();
        Played();
    }
    return true;
}

void CoreLink::Played() {
    played_.store(played_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void CoreLink::Publish() {
    Snapshot& back = snapshots_->Back();
    back.state = core_.State();
    back.applied = applied_;
    snapshots_->Publish();
}

#include "plugin/instrument.h"

#include "plugin/starterbanks.h"
#include "presets/presetfile.h"

#include <algorithm>

namespace plugin {

namespace {
constexpr uint8_t kChannelMessages = 0x80, kSystemMessages = 0xF0;
} // namespace

Instrument::Instrument(unsigned rate)
    : banks_(StarterBanks()), ports_(ControlPorts()), controls_(ports_.size(), nullptr),
      applied_(ports_.size(), 0) {
    card_.OwnOutright();
    card_.SetOutputRate(rate);
    {
        const ScopedThreadPortBackend card(card_);
        core_ = std::make_unique<SynthCore>(card_.Base());
        core_->ShowCardOutputState();
        core_->SetBank(&banks_[player_.bank]);
        core_->LoadPreset({PresetChoice::Kind::Default});
        core_->SetMidiChannel(0);
    }
    for (size_t i = 0; i < ports_.size(); ++i)
        applied_[i] = PortValueOf(ports_[i], core_->State(), player_);
    for (size_t i = 0; i < kTuningItems.size(); ++i)
        tuningItemCents_[i] = ParseCents(kTuningItems[i]);
    Publish();
}

Instrument::~Instrument() {
    const ScopedThreadPortBackend card(card_);
    core_.reset();
}

void Instrument::Activate() {
    if (activated_) {
        const ScopedThreadPortBackend card(card_);
        core_->ResetChip();
        core_->Chip().SetPatch(core_->GetSynthPatch(), core_->GetPatchSettings());
    }
    activated_ = true;
}

// --- the audio thread ---

void Instrument::Begin(uint32_t frames) {
    frames_ = frames;
    done_ = 0;
    ApplyPortChanges();
}

void Instrument::Play(int64_t frame, const uint8_t* midi, size_t size) {
    RenderUntil(static_cast<uint32_t>(std::clamp<int64_t>(frame, 0, frames_)));
    std::optional<ShortMessage> input = ShortMessageFromInput({midi, size});
    if (!input) return;
    ShortMessage m = *input;
    // Omni: every channel plays as the core's own.
    const int channel = core_->State().channel;
    if (player_.omni && m.Status >= kChannelMessages && m.Status < kSystemMessages && channel >= 0)
        m.Status = static_cast<uint8_t>((m.Status & 0xF0) | channel);
    core_->HandleMidiData(kHostSource, m);
}

void Instrument::End() {
    RenderUntil(frames_);
    Publish();
}

void Instrument::RenderUntil(uint32_t frame) {
    if (frame <= done_) return;
    card_.RenderOwned({out_.left + done_, out_.right + done_, 1}, frame - done_);
    done_ = frame;
}

void Instrument::ApplyPortChanges() {
    for (size_t i = 0; i < ports_.size(); ++i) {
        if (!controls_[i]) continue;
        const int value = PortValueFrom(ports_[i], *controls_[i]);
        if (value == applied_[i]) continue;
        applied_[i] = value;
        if (!resync_) ApplyPort(ports_[i], value);
    }
    resync_ = false;
}

void Instrument::ApplyPort(const ControlPort& port, int value) {
    SynthCore& core = *core_;
    switch (port.target) {
    case PortTarget::Field:
        core.SetOperatorField(port.op, static_cast<size_t>(port.index), value);
        break;
    case PortTarget::Follows:
        core.SetCcEnabled(port.op, value != 0);
        break;
    case PortTarget::Voice:
        core.SetVoiceField(static_cast<VoiceField>(port.index), value);
        break;
    case PortTarget::Volume:
        core.SetVolume(value);
        break;
    case PortTarget::Pan:
        core.SetPan(value);
        break;
    case PortTarget::Mute:
        core.SetMute(value != 0);
        break;
    case PortTarget::Chord:
        core.SetChord(value != 0);
        break;
    case PortTarget::Tuning:
        core.SetTuning(static_cast<Tuning>(port.index), TuningOfCents(value));
        break;
    case PortTarget::Channel:
        player_.omni = value == 0;
        core.SetMidiChannel(value == 0 ? 0 : value - 1);
        break;
    case PortTarget::Bank:
        SelectBank(value);
        break;
    }
}

// As the window's bank list: the preset list empties, the sound stays.
void Instrument::SelectBank(int bank) {
    player_.bank = bank;
    core_->SetBank(&banks_[static_cast<size_t>(bank)]);
    core_->SelectPreset(-1);
}

// A number on a port reads as the list's item of that number, as if chosen
// from the list, or as a number written into it.
TuningState Instrument::TuningOfCents(int cents) const {
    TuningState tuning;
    tuning.cents = cents;
    tuning.text = TuningState::Text::Number;
    const auto item = std::find(tuningItemCents_.begin(), tuningItemCents_.end(), cents);
    if (item != tuningItemCents_.end()) {
        tuning.index = static_cast<int>(item - tuningItemCents_.begin());
        tuning.text = TuningState::Text::Item;
        tuning.matchesItem = true;
    }
    return tuning;
}

void Instrument::Publish() {
    Published& back = published_.Back();
    back.state = core_->State();
    back.player = player_;
    published_.Publish();
}

// --- off the audio thread ---

std::vector<uint8_t> Instrument::Save() {
    published_.Take();
    const Published& now = published_.Front();
    const PresetBank& bank = banks_[static_cast<size_t>(now.player.bank)];
    const int index = now.state.presetIndex;
    std::string name = index >= 0 && index < bank.Count() ? bank.Names[index] : "";
    return EncodeSession(SessionOf(now.state, now.player, std::move(name)));
}

bool Instrument::Restore(std::span<const uint8_t> bytes) {
    const std::optional<Session> session = DecodeSession(bytes);
    if (!session) return false;
    const ScopedThreadPortBackend card(card_);
    SynthCore& core = *core_;
    player_ = session->player;
    core.SetBank(&banks_[static_cast<size_t>(player_.bank)]);
    core.SelectPreset(session->presetIndex < banks_[player_.bank].Count() ? session->presetIndex
                                                                          : -1);
    core.SetSynthPatch(session->patch);
    core.SetPatchSettings(session->settings);
    core.Chip().SetPatch(session->patch, session->settings);
    core.SetMute(session->mute);
    core.SetChord(session->chord);
    core.SetMidiChannel(session->channel);
    for (int row = 0; row < kControllerRowCount; ++row)
        core.SetControllerNumber(row, session->controllers[row]);
    resync_ = true;
    Publish();
    return true;
}

void Instrument::LoadPreset(const PresetChoice& choice) {
    const ScopedThreadPortBackend card(card_);
    core_->LoadPreset(choice);
    Publish();
}

} // namespace plugin

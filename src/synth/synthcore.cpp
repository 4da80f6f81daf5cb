#include "synth/synthcore.h"

#include "hardware/opl3regs.h"
#include "synth/noterules.h"

#include <algorithm>

namespace {

// Status bytes without their channel.
constexpr uint8_t kNoteOff = 0x80, kNoteOn = 0x90, kControlChange = 0xB0, kProgramChange = 0xC0,
                  kPitchBend = 0xE0;
// Sent by every sequencer when it stops: nothing may keep sounding.
constexpr uint8_t kAllSoundOff = 120, kAllNotesOff = 123;
// Acted on only while no row of the controller map takes them.
constexpr uint8_t kDataEntry = 6, kDataEntryFine = 38, kSustainPedal = 64, kSostenutoPedal = 66,
                  kNrpnFine = 98, kNrpn = 99, kRpnFine = 100, kRpn = 101,
                  kResetAllControllers = 121;
constexpr std::array<uint8_t, 2> kNoRpn = {127, 127}, kBendRangeRpn = {0, 0};
// A pedal is down from the middle of the controller's range up.
constexpr uint8_t kPedalDown = 64;

constexpr int kLevelMax = kOutputLevelMax;
constexpr int kTuningItemCount = static_cast<int>(kTuningItems.size());

using VoiceSetter = void (OPL3::*)(uint8_t);
// By VoiceField.
constexpr VoiceSetter kVoiceSetters[kVoiceFieldCount] = {
    &OPL3::SetFeedback,     &OPL3::SetFeedback2,    &OPL3::SetConnection,
    &OPL3::SetTremoloDepth, &OPL3::SetVibratoDepth, &OPL3::SetOutputA,
    &OPL3::SetOutputB,      &OPL3::SetOutputA2,     &OPL3::SetOutputB2,
};

size_t Index(VoiceField field) {
    return static_cast<size_t>(field);
}
size_t Index(Tuning which) {
    return static_cast<size_t>(which);
}

uint8_t Outputs(bool a, bool b) {
    return opl3::kOutputB.PutFlag(opl3::kOutputA.PutFlag(0, a), b);
}

bool MatchesItem(int index, const std::string& text) {
    return index >= 0 && index < kTuningItemCount && text == kTuningItems[index];
}

} // namespace

std::string TuningState::Shown() const {
    switch (text) {
    case Text::Item:
        return index >= 0 && index < kTuningItemCount ? kTuningItems[index] : "";
    case Text::Number:
        return FormatCents(cents);
    default:
        return {};
    }
}

TuningState TuningFromText(int index, const std::string& text) {
    TuningState edit;
    edit.index = index;
    edit.cents = ParseCents(text);
    edit.text = TuningState::Text::Typed;
    edit.matchesItem = MatchesItem(index, text);
    return edit;
}

SynthCore::SynthCore(uint16_t portBase) : card_(std::make_unique<FM801>(portBase)) {
    history_.Start(Capture());
}

SynthCore::~SynthCore() = default;

// The louder side gives the volume; the pan says how much quieter the other is.
void SynthCore::ShowCardOutputState() {
    EditStep step(*this, {});
    bool muted = false;
    uint8_t left = 0, right = 0;
    card_->GetAttenuation(muted, left, right);
    const int levelL = kLevelMax - left;
    const int levelR = kLevelMax - right;
    int volume = levelL;
    int pan = 0;
    if (levelL > levelR)
        pan = -static_cast<int>(-kPanMin - static_cast<double>(levelR) / levelL * -kPanMin);
    else if (levelR > levelL) {
        volume = levelR;
        pan = static_cast<int>(-kPanMin - static_cast<double>(levelL) / levelR * -kPanMin);
    }
    MoveVolume(volume);
    MovePan(pan);
    MoveMute(muted);
}

// --- a user's edits ---

void SynthCore::SetOperatorField(int op, size_t field, int value) {
    EditStep step(*this, UserKey());
    state_.ops[op].fields[field] = ControlTakes(kOperatorFields[field], value);
    WriteField(op, field);
}

void SynthCore::SetVoiceField(VoiceField field, int value) {
    EditStep step(*this, UserKey());
    state_.voice[Index(field)] = value;
    WriteVoiceField(field);
}

void SynthCore::SetVolumeAndPan(int volume, int pan) {
    EditStep step(*this, UserKey());
    state_.volume = std::clamp(volume, 0, kLevelMax);
    state_.pan = std::clamp(pan, kPanMin, kPanMax);
    WriteAttenuation();
}

void SynthCore::SetMute(bool mute) {
    state_.mute = mute;
    WriteMute();
}

void SynthCore::KeepOperatorField(int op, size_t field, int value) {
    EditStep step(*this, UserKey());
    state_.ops[op].fields[field] = value;
}

void SynthCore::KeepVoiceField(VoiceField field, int value) {
    EditStep step(*this, UserKey());
    state_.voice[Index(field)] = value;
}

void SynthCore::SetCcEnabled(int op, bool on) {
    EditStep step(*this, UserKey());
    state_.ops[op].cc = on;
}

// The serial stays: the text is the user's, already shown.
void SynthCore::SetTuning(Tuning which, const TuningState& edit) {
    EditStep step(*this, {StepKey::Kind::Tuning, static_cast<int>(which), Now()});
    TuningState& tuning = state_.tunings[Index(which)];
    const uint32_t serial = tuning.serial;
    tuning = edit;
    tuning.serial = serial;
}

void SynthCore::SetChord(bool on) {
    state_.chord = on;
}

// The pedals belong to the channel left: what they hold is let go.
void SynthCore::SetMidiChannel(int channel) {
    if (channel == state_.channel) return;
    state_.channel = channel;
    LiftPedals();
    rpn_ = kNoRpn;
}

void SynthCore::SetControllerNumber(int row, int number) {
    if (row >= 0 && row < kControllerRowCount) state_.controllers[row] = number;
}

// --- operators ---

OperatorPatch SynthCore::CopyOperator(int op) const {
    return OperatorImage(state_.ops[op].fields);
}

// The check boxes and bars that change program the chip as they are set;
// the lists are sent afterwards.
void SynthCore::PasteOperator(int op, const OperatorPatch& image) {
    EditStep step(*this, {});
    for (size_t f = 0; f < kOperatorFieldCount; ++f) {
        const OperatorField& field = kOperatorFields[f];
        MoveField(op, f, static_cast<int>(field.bits.Get(image.*field.image)));
    }
    for (size_t f : kListSendOrder)
        WriteField(op, f);
}

void SynthCore::ClearOperator(int op) {
    EditStep step(*this, {});
    for (size_t f : kClearOrder)
        MoveField(op, f, kDefaultFieldValues[f]);
    for (size_t f : kListSendOrder)
        WriteField(op, f);
}

// --- whole patch ---

SynthPatch SynthCore::GetSynthPatch() const {
    return SynthPatchOf(state_);
}

PatchSettings SynthCore::GetPatchSettings() const {
    return PatchSettingsOf(state_);
}

SynthPatch SynthPatchOf(const SynthState& state) {
    SynthPatch patch;
    for (int op = 0; op < kOperatorCount; ++op)
        patch.Ops[op] = OperatorImage(state.ops[op].fields);
    const auto& v = state.voice;
    patch.RegC0Ops12 = patch.RegC0Ops34 =
        Outputs(v[Index(VoiceField::OutputA)], v[Index(VoiceField::OutputB)]);
    patch.RegC0Ops56 = Outputs(v[Index(VoiceField::OutputA2)], v[Index(VoiceField::OutputB2)]);
    // No selection leaves the feedback, or all three connection bits, at 0.
    const auto selected = [](int index, int count) { return index >= 0 && index < count; };
    if (const int fb = v[Index(VoiceField::Feedback)]; selected(fb, kFeedbackCount))
        patch.RegC0Ops12 = opl3::kFeedback.Put(patch.RegC0Ops12, static_cast<unsigned>(fb));
    if (const int fb = v[Index(VoiceField::Feedback2)]; selected(fb, kFeedbackCount))
        patch.RegC0Ops56 = opl3::kFeedback.Put(patch.RegC0Ops56, static_cast<unsigned>(fb));
    if (const int cnt = v[Index(VoiceField::Connection)]; selected(cnt, kConnectionCount))
        SetConnectionBits(patch, cnt);
    return patch;
}

PatchSettings PatchSettingsOf(const SynthState& state) {
    PatchSettings settings;
    settings.Transpose = CentsToField(state.tunings[Index(Tuning::Transpose)].cents);
    settings.Tuning1 = CentsToField(state.tunings[Index(Tuning::Voice1)].cents);
    settings.Tuning2 = CentsToField(state.tunings[Index(Tuning::Voice2)].cents);
    const auto& v = state.voice;
    settings.Outputs = static_cast<uint8_t>((v[Index(VoiceField::OutputA)] ? outputs::kA : 0) |
                                            (v[Index(VoiceField::OutputB)] ? outputs::kB : 0) |
                                            (v[Index(VoiceField::OutputA2)] ? outputs::kA2 : 0) |
                                            (v[Index(VoiceField::OutputB2)] ? outputs::kB2 : 0));
    const int td = std::max(v[Index(VoiceField::TremoloDepth)], 0);
    const int vd = std::max(v[Index(VoiceField::VibratoDepth)], 0);
    settings.LfoDepth = static_cast<uint8_t>(td + 2 * vd);
    settings.Volume = static_cast<uint8_t>(state.volume);
    settings.Pan = static_cast<int8_t>(state.pan);
    for (int op = 0; op < kOperatorCount; ++op)
        if (state.ops[op].cc) settings.CcMask |= static_cast<uint8_t>(1 << op);
    return settings;
}

// The lists take their items without being sent: SetPatch programs them.
void SynthCore::SetSynthPatch(const SynthPatch& patch) {
    EditStep step(*this, {});
    for (int op = 0; op < kOperatorCount; ++op)
        for (size_t f = 0; f < kOperatorFieldCount; ++f) {
            const OperatorField& field = kOperatorFields[f];
            MoveField(op, f, static_cast<int>(field.bits.Get(patch.Ops[op].*field.image)));
        }
    auto& v = state_.voice;
    v[Index(VoiceField::Connection)] = ConnectionIndex(patch);
    v[Index(VoiceField::Feedback)] = static_cast<int>(opl3::kFeedback.Get(patch.RegC0Ops12));
    v[Index(VoiceField::Feedback2)] = static_cast<int>(opl3::kFeedback.Get(patch.RegC0Ops56));
}

// The output bits and the card's volume and pan follow at once when they
// change; the depths wait for SetPatch.
void SynthCore::SetPatchSettings(const PatchSettings& settings) {
    EditStep step(*this, {});
    SetTuningNumber(Tuning::Transpose, settings.Transpose);
    SetTuningNumber(Tuning::Voice1, settings.Tuning1);
    SetTuningNumber(Tuning::Voice2, settings.Tuning2);
    MoveOutput(VoiceField::OutputA, settings.Outputs & outputs::kA);
    MoveOutput(VoiceField::OutputB, settings.Outputs & outputs::kB);
    MoveOutput(VoiceField::OutputA2, settings.Outputs & outputs::kA2);
    MoveOutput(VoiceField::OutputB2, settings.Outputs & outputs::kB2);
    state_.voice[Index(VoiceField::TremoloDepth)] = settings.LfoDepth & lfo::kTremoloDeep ? 1 : 0;
    state_.voice[Index(VoiceField::VibratoDepth)] = settings.LfoDepth & lfo::kVibratoDeep ? 1 : 0;
    MoveVolume(settings.Volume);
    MovePan(settings.Pan);
    for (int op = 0; op < kOperatorCount; ++op)
        state_.ops[op].cc = settings.CcMask & (1 << op);
}

// Every operator becomes 01 3F FF FF 00: silent until a volume is raised.
// Reading the records and setting them again normalises the tuning texts.
void SynthCore::LoadDefaultPatch() {
    EditStep step(*this, {});
    for (int op = 0; op < kOperatorCount; ++op)
        for (size_t f : kClearOrder)
            MoveField(op, f, kDefaultFieldValues[f]);
    const SynthPatch patch = GetSynthPatch();
    const PatchSettings settings = GetPatchSettings();
    SetSynthPatch(patch);
    SetPatchSettings(settings);
    Chip().SetPatch(patch, settings);
}

void SynthCore::LoadPreset(const PresetChoice& choice) {
    EditStep step(*this, {});
    ShowLabel(SynthState::kPlainLabel);
    if (choice.kind == PresetChoice::Kind::Default) {
        LoadDefaultPatch();
        return;
    }
    if (choice.kind == PresetChoice::Kind::None || !choice.readable) return;
    SynthPatch patch = GetSynthPatch();
    PatchSettings settings = GetPatchSettings();
    if (!DecodePreset(choice.Bytes(), patch, settings)) return;
    ShowLabel(state_.presetIndex + 1);
    SetSynthPatch(patch);
    SetPatchSettings(settings);
    Chip().SetPatch(patch, settings);
}

void SynthCore::ResetChip() {
    Chip().Reset();
}

// --- the preset list ---

const PresetBank* SynthCore::SetBank(const PresetBank* bank) {
    const PresetBank* previous = bank_;
    bank_ = bank;
    return previous;
}

void SynthCore::SelectPreset(int index) {
    state_.presetIndex = index;
}

void SynthCore::ChoosePresetItem(int index) {
    state_.presetIndex = index;
    ++state_.presetSerial;
}

void SynthCore::ShowLabel(int label) {
    state_.presetLabel = label;
    ++state_.presetLabelSerial;
}

// Program numbers are positions in the current bank's list.
void SynthCore::ProgramChange(uint8_t program) {
    if (!bank_ || program >= bank_->Count()) return;
    ChoosePresetItem(program);
    LoadPreset(bank_->Choices[program]);
}

void SynthCore::StepPreset(int8_t step) {
    const int index = PresetStep(state_.presetIndex, step, bank_ ? bank_->Count() : 0);
    if (index < 0) return;
    ChoosePresetItem(index);
    LoadPreset(bank_->Choices[static_cast<size_t>(index)]);
}

// --- MIDI ---

void SynthCore::HandleMidiData(uint32_t source, ShortMessage m) {
    EditStep step(*this, {});
    int channel = 0; // the mini keyboard plays on channel 1 whatever is chosen
    if (source == KeyboardSource) {
        if (m.Status == kProgramChange) {
            StepPreset(static_cast<int8_t>(m.Data2));
            return;
        }
    } else {
        channel = state_.channel;
    }
    // Other channels, key and channel pressure, and system messages are ignored.
    if (m.Status < kNoteOff || (m.Status & 0x0F) != channel) return;
    switch (m.Status & 0xF0) {
    case kNoteOff:
        NoteOff(m.Data1);
        break;
    case kNoteOn:
        if (m.Data2 == 0)
            NoteOff(m.Data1);
        else
            NoteOn(m.Data1, m.Data2);
        break;
    case kControlChange:
        // Channel mode messages are never learnt.
        if (state_.learnRow >= 0 && m.Data1 < kAllSoundOff)
            BindLearned(m.Data1);
        else
            HandleController(m.Data1, m.Data2);
        break;
    case kProgramChange:
        ProgramChange(m.Data1);
        break;
    case kPitchBend:
        PitchBend(m.Data1, m.Data2);
        break;
    default:
        break;
    }
}

int32_t SynthCore::VoiceCents(Tuning voice) const {
    return AddCents(state_.tunings[Index(voice)].cents,
                    state_.tunings[Index(Tuning::Transpose)].cents);
}

// The chord's notes start before the root; a sum above 127 goes to the chip
// as it is. The count includes every sounding slot.
void SynthCore::NoteOn(uint8_t note, uint8_t velocity) {
    ApplyVelocity(velocity);
    const int32_t cents4 = VoiceCents(Tuning::Voice1);
    const int32_t cents2 = VoiceCents(Tuning::Voice2);
    if (state_.chord)
        for (int interval : kChordIntervals)
            StartNote(cents4, cents2, static_cast<uint8_t>(note + interval));
    state_.poly = StartNote(cents4, cents2, note);
}

void SynthCore::NoteOff(uint8_t note) {
    if (state_.chord)
        for (int interval : kChordIntervals)
            StopNote(static_cast<uint8_t>(note + interval));
    state_.poly = StopNote(note);
}

// A note a pedal holds, struck again, is released and started again.
int32_t SynthCore::StartNote(int32_t cents4, int32_t cents2, uint8_t note) {
    if (pedals_.Strike(note)) Chip().NoteOff(note);
    return Chip().NoteOn(cents4, cents2, note);
}

// A pedal keeps a sounding note whose key goes up; it stays in the count.
int32_t SynthCore::StopNote(uint8_t note) {
    if (pedals_.Keeps(note) && Sounds(note)) {
        pedals_.Hold(note);
        return SoundingCount();
    }
    return Chip().NoteOff(note);
}

bool SynthCore::Sounds(uint8_t note) const {
    const auto& slots = card_->Opl3->Slots;
    return std::find(slots.begin(), slots.end(), int32_t{note}) != slots.end();
}

int32_t SynthCore::SoundingCount() const {
    const auto& slots = card_->Opl3->Slots;
    return static_cast<int32_t>(slots.size()) -
           static_cast<int32_t>(std::count(slots.begin(), slots.end(), OPL3::FreeSlot));
}

void SynthCore::ReleaseAllNotes() {
    OPL3& opl3 = Chip();
    int32_t count = 0;
    for (int32_t note : opl3.Slots)
        if (note != OPL3::FreeSlot) count = opl3.NoteOff(static_cast<uint8_t>(note));
    state_.poly = count;
    pedals_.Forget();
}

// The volumes are the levels at velocity 127 and stay as they are; the chip
// takes the scaled level.
void SynthCore::ApplyVelocity(uint8_t velocity) {
    for (int op = 0; op < kOperatorCount; ++op) {
        const OperatorState& o = state_.ops[op];
        if (o.cc)
            Chip().SetLevel(op,
                            VelocityLevel(static_cast<uint8_t>(o.fields[kFieldVolume]), velocity));
    }
}

// The bend is not remembered: a later note starts unbent.
void SynthCore::PitchBend(uint8_t data1, uint8_t data2) {
    const int32_t bend = BendCents(data1, data2, state_.bendRange);
    Chip().Retune(AddCents(VoiceCents(Tuning::Voice1), bend),
                  AddCents(VoiceCents(Tuning::Voice2), bend));
}

// A row bound to the number always takes it first.
void SynthCore::HandleController(uint8_t number, uint8_t value) {
    EditStep step(*this, {});
    const auto* bound = std::find(state_.controllers.begin(), state_.controllers.end(), number);
    if (bound != state_.controllers.end()) {
        const int row = static_cast<int>(bound - state_.controllers.begin());
        stepKey_ = {StepKey::Kind::Controller, row, Now()};
        ApplyControllerRow(row, value);
    } else {
        HandleUnboundController(number, value);
    }
    if (number == kAllSoundOff || number == kAllNotesOff) ReleaseAllNotes();
}

// The pedals and the bend range's registered parameter.
void SynthCore::HandleUnboundController(uint8_t number, uint8_t value) {
    switch (number) {
    case kSustainPedal:
        if (state_.pedalsEnabled) PressSustain(value >= kPedalDown);
        break;
    case kSostenutoPedal:
        if (state_.pedalsEnabled) PressSostenuto(value >= kPedalDown);
        break;
    case kRpn:
        rpn_[0] = value;
        break;
    case kRpnFine:
        rpn_[1] = value;
        break;
    case kNrpn:
    case kNrpnFine:
        rpn_ = kNoRpn; // data entry is for someone else's parameter now
        break;
    case kDataEntry:
        if (rpn_ == kBendRangeRpn) state_.bendRange = BendRangeFromSemitones(value);
        break;
    case kDataEntryFine:
        if (rpn_ == kBendRangeRpn) state_.bendRange = BendRangeWithCents(state_.bendRange, value);
        break;
    case kResetAllControllers:
        LiftPedals();
        rpn_ = kNoRpn;
        break;
    default:
        break;
    }
}

void SynthCore::PressSustain(bool down) {
    pedals_.SetSustain(down, [this](uint8_t note) { state_.poly = Chip().NoteOff(note); });
    state_.sustain = down;
}

void SynthCore::PressSostenuto(bool down) {
    pedals_.SetSostenuto(down, Chip().Slots,
                         [this](uint8_t note) { state_.poly = Chip().NoteOff(note); });
    state_.sostenuto = down;
}

void SynthCore::LiftPedals() {
    pedals_.Lift([this](uint8_t note) { state_.poly = Chip().NoteOff(note); });
    state_.sustain = state_.sostenuto = false;
}

void SynthCore::SetPedalsEnabled(bool on) {
    state_.pedalsEnabled = on;
    if (!on) LiftPedals();
}

void SynthCore::SetBendRange(int cents) {
    state_.bendRange = std::clamp(cents, 0, static_cast<int>(kMaxBendRange));
}

void SynthCore::Learn(int row) {
    state_.learnRow = row >= 0 && row < kControllerRowCount ? row : -1;
}

// Two rows never share a learnt number: the other row is left unbound.
void SynthCore::BindLearned(uint8_t number) {
    const int row = state_.learnRow;
    int lost = -1;
    for (int other = 0; other < kControllerRowCount; ++other)
        if (other != row && state_.controllers[other] == number) {
            state_.controllers[other] = kUnbound;
            if (lost < 0) lost = other;
        }
    state_.controllers[row] = number;
    state_.learned = {row, number, lost, state_.learned.serial + 1};
    state_.learnRow = -1;
}

// --- controllers ---

namespace {
// The item counts of the voice lists, by VoiceField.
constexpr int kVoiceItems[kVoiceFieldCount] = {
    kFeedbackCount, kFeedbackCount, kConnectionCount, 2, 2, 2, 2, 2, 2};

struct VoiceRow {
    CcTarget target;
    VoiceField field;
};
constexpr VoiceRow kVoiceRows[] = {
    {CcTarget::Feedback, VoiceField::Feedback},
    {CcTarget::Feedback2, VoiceField::Feedback2},
    {CcTarget::Connection, VoiceField::Connection},
    {CcTarget::TremoloDepth, VoiceField::TremoloDepth},
    {CcTarget::VibratoDepth, VoiceField::VibratoDepth},
    {CcTarget::OutputA, VoiceField::OutputA},
    {CcTarget::OutputB, VoiceField::OutputB},
    {CcTarget::OutputA2, VoiceField::OutputA2},
    {CcTarget::OutputB2, VoiceField::OutputB2},
};
} // namespace

// A value lands where the user would have set it and is programmed as the
// user's edit would be.
void SynthCore::ApplyControllerRow(int row, uint8_t value) {
    const CcTarget target = kControllerRows[row].target;
    if (IsOperatorTarget(target)) {
        ApplyOperatorRow(target, value);
        return;
    }
    switch (target) {
    case CcTarget::Transpose:
        SelectTuning(Tuning::Transpose, ScaleForTarget(target, value, kTuningItemCount));
        return;
    case CcTarget::Tuning1:
        SelectTuning(Tuning::Voice1, ScaleForTarget(target, value, kTuningItemCount));
        return;
    case CcTarget::Tuning2:
        SelectTuning(Tuning::Voice2, ScaleForTarget(target, value, kTuningItemCount));
        return;
    case CcTarget::Volume:
        MoveVolume(ScaleForTarget(target, value, 0));
        return;
    case CcTarget::Pan:
        MovePan(ScaleForTarget(target, value, 0));
        return;
    default:
        break;
    }
    for (const VoiceRow& row : kVoiceRows) {
        if (row.target != target) continue;
        const int items = kVoiceItems[Index(row.field)];
        if (row.field >= VoiceField::OutputA)
            MoveOutput(row.field, ScaleForTarget(target, value, items) != 0);
        else
            SelectVoiceList(row.field, ScaleForTarget(target, value, items), items);
    }
}

// Only the operators that follow controllers move; a list they change is
// sent as well, so a waveform or multiplier knob is heard at once.
void SynthCore::ApplyOperatorRow(CcTarget target, uint8_t value) {
    const OperatorCcChange change = OperatorChangeFromCc(target, value);
    for (int op = 0; op < kOperatorCount; ++op) {
        if (!state_.ops[op].cc) continue;
        const auto before = state_.ops[op].fields;
        for (size_t i = 0; i < change.count; ++i)
            MoveField(op, change.sets[i].field, change.sets[i].value);
        for (size_t f = 0; f < kOperatorFieldCount; ++f)
            if (kOperatorFields[f].kind == ControlKind::List &&
                state_.ops[op].fields[f] != before[f])
                WriteField(op, f);
    }
}

// A tuning list read at the next note: nothing is sent. Text typed over the
// same item is a change too.
void SynthCore::SelectTuning(Tuning which, int index) {
    TuningState& tuning = state_.tunings[Index(which)];
    if (index < 0 || (index == tuning.index && tuning.matchesItem)) return;
    tuning.index = index;
    tuning.cents = ParseCents(kTuningItems[static_cast<size_t>(index)]);
    tuning.text = TuningState::Text::Item;
    tuning.matchesItem = true;
    ++tuning.serial;
}

// An index past the items selects none, and none is sent as such.
void SynthCore::SelectVoiceList(VoiceField field, int index, int items) {
    int& held = state_.voice[Index(field)];
    if (index < 0 || index == held) return;
    held = index < items ? index : -1;
    WriteVoiceField(field);
}

// --- the change rule ---

void SynthCore::MoveField(int op, size_t f, int value) {
    const OperatorField& field = kOperatorFields[f];
    int& held = state_.ops[op].fields[f];
    const int taken = ControlTakes(field, value);
    if (taken == held) return;
    held = taken;
    if (field.kind != ControlKind::List) WriteField(op, f);
}

void SynthCore::MoveOutput(VoiceField field, bool on) {
    int& held = state_.voice[Index(field)];
    if (held == (on ? 1 : 0)) return;
    held = on ? 1 : 0;
    WriteVoiceField(field);
}

void SynthCore::MoveVolume(int volume) {
    volume = std::clamp(volume, 0, kLevelMax);
    if (volume == state_.volume) return;
    state_.volume = volume;
    WriteAttenuation();
}

void SynthCore::MovePan(int pan) {
    pan = std::clamp(pan, kPanMin, kPanMax);
    if (pan == state_.pan) return;
    state_.pan = pan;
    WriteAttenuation();
}

void SynthCore::MoveMute(bool mute) {
    if (mute == state_.mute) return;
    state_.mute = mute;
    WriteMute();
}

void SynthCore::SetTuningNumber(Tuning which, int16_t cents) {
    TuningState& tuning = state_.tunings[Index(which)];
    tuning.cents = cents;
    tuning.text = TuningState::Text::Number;
    tuning.matchesItem = MatchesItem(tuning.index, FormatCents(cents));
    ++tuning.serial;
}

void SynthCore::WriteField(int op, size_t f) {
    (Chip().*kOperatorFields[f].setter)(op, static_cast<uint8_t>(state_.ops[op].fields[f]));
}

void SynthCore::WriteVoiceField(VoiceField field) {
    (Chip().*kVoiceSetters[Index(field)])(static_cast<uint8_t>(state_.voice[Index(field)]));
}

// The pan lowers only the side away from the pan direction, by p/64 of the volume.
void SynthCore::WriteAttenuation() {
    const int v = state_.volume;
    const int p = state_.pan;
    const int a = static_cast<int>(v * p * 0.015625 + 0.25);
    const int left = p > 0 ? v - a : v;
    const int right = p < 0 ? v + a : v;
    card_->SetAttenuation(static_cast<uint8_t>(kLevelMax - left),
                          static_cast<uint8_t>(kLevelMax - right));
}

void SynthCore::WriteMute() {
    if (state_.mute)
        card_->Mute();
    else
        card_->Unmute();
}

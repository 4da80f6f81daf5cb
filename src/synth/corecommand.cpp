#include "synth/corecommand.h"

namespace {

template <class... Kinds> struct Overloaded : Kinds... { using Kinds::operator()...; };
template <class... Kinds> Overloaded(Kinds...) -> Overloaded<Kinds...>;

} // namespace

const PresetBank* Apply(SynthCore& core, const CoreCommand& c) {
    using namespace command;
    const PresetBank* replaced = nullptr;
    std::visit(Overloaded{
                   [&](const command::OperatorField& x) {
                       if (x.keep)
                           core.KeepOperatorField(x.op, x.field, x.value);
                       else
                           core.SetOperatorField(x.op, x.field, x.value);
                   },
                   [&](const Voice& x) {
                       if (x.keep)
                           core.KeepVoiceField(x.field, x.value);
                       else
                           core.SetVoiceField(x.field, x.value);
                   },
                   [&](const VolumePan& x) { core.SetVolumeAndPan(x.volume, x.pan); },
                   [&](const Mute& x) { core.SetMute(x.on); },
                   [&](const CcEnabled& x) { core.SetCcEnabled(x.op, x.on); },
                   [&](const TuningEdit& x) { core.SetTuning(x.which, x.edit); },
                   [&](const Chord& x) { core.SetChord(x.on); },
                   [&](const Channel& x) { core.SetMidiChannel(x.channel); },
                   [&](const ControllerNumber& x) { core.SetControllerNumber(x.row, x.number); },
                   [&](const Paste& x) { core.PasteOperator(x.op, x.image); },
                   [&](const Clear& x) { core.ClearOperator(x.op); },
                   [&](const command::Patch& x) { core.SetSynthPatch(x.patch); },
                   [&](const Settings& x) { core.SetPatchSettings(x.settings); },
                   [&](const Default&) { core.LoadDefaultPatch(); },
                   [&](const Preset& x) { core.LoadPreset(x.choice); },
                   [&](const Reset&) { core.ResetChip(); },
                   [&](const Bank& x) { replaced = core.SetBank(x.bank); },
                   [&](const Select& x) { core.SelectPreset(x.index); },
                   [&](const Midi& x) { core.HandleMidiData(x.source, x.message); },
                   [&](const Controller& x) { core.HandleController(x.number, x.value); },
                   [&](const Velocity& x) { core.ApplyVelocity(x.velocity); },
                   [&](const PedalsEnabled& x) { core.SetPedalsEnabled(x.on); },
                   [&](const BendRange& x) { core.SetBendRange(x.cents); },
                   [&](const Learn& x) { core.Learn(x.row); },
                   [&](const command::Undo&) { core.Undo(); },
                   [&](const command::Redo&) { core.Redo(); },
                   [&](const Gesture& x) {
                       if (x.open)
                           core.BeginGesture();
                       else
                           core.EndGesture();
                   },
                   [&](const command::ForgetHistory&) { core.ForgetHistory(); },
                   [&](const command::SwitchCompare&) { core.SwitchCompare(); },
                   [&](const command::CopyAToB&) { core.CopyAToB(); },
               },
               c);
    return replaced;
}

#include "app/songplayer.h"

#include "error.h"
#include "synth/synthcore.h"

#include <algorithm>

namespace {

std::string UnknownPresetText(const std::string& name, const std::string& bank,
                              const std::filesystem::path& folder,
                              const std::vector<std::string>& names) {
    std::string text =
        "no preset '" + name + "' in bank " + bank + " (" + folder.string() + "); its presets:";
    for (size_t i = 0; i < names.size(); ++i)
        text += (i ? ", " : " ") + names[i];
    return text;
}

} // namespace

// As the program starts: the card's output state, the last bank listed and
// the Default patch; then the bank and the preset picked as the user would.
SongPlayer::SongPlayer(uint16_t portBase, const CommandLine& options,
                       const std::filesystem::path& presetRoot)
    : store_(presetRoot), core_(std::make_unique<SynthCore>(portBase)) {
    core_->ShowCardOutputState();
    ListBank(kBankNames.back()); // the bank listed at start
    core_->LoadPreset({PresetChoice::Kind::Default});
    if (!options.bank.empty()) {
        if (!KindOfBank(options.bank)) throw Error("no bank '" + options.bank + "'");
        // A bank picked empties the preset box; the sound stays.
        core_->SelectPreset(-1);
        ListBank(options.bank);
    }
    if (!options.preset.empty()) ChoosePreset(options.preset, presetRoot);
    core_->SetMidiChannel(options.channel - 1);
}

SongPlayer::~SongPlayer() = default;

void SongPlayer::ListBank(const std::string& bank) {
    auto listed = std::make_unique<PresetBank>(ReadPresetBank(store_, bank));
    core_->SetBank(listed.get());
    bank_ = std::move(listed);
    bankName_ = bank;
}

// Picked in the list and applied as the window applies it, except that a
// preset that can't be loaded stops the render.
void SongPlayer::ChoosePreset(const std::string& name, const std::filesystem::path& presetRoot) {
    const std::filesystem::path folder = presetRoot / bankName_;
    const int index = FindPresetName(bank_->Names, name);
    if (index < 0 && name != kDefaultPresetName)
        throw Error(UnknownPresetText(name, bankName_, folder, bank_->Names));
    const std::string found = index < 0 ? kDefaultPresetName : bank_->Names[index];
    const PresetChoice choice = ::ChoosePreset(store_, found);
    if (found != kDefaultPresetName) {
        SynthPatch patch;
        PatchSettings settings;
        if (!choice.readable || !DecodePreset(choice.Bytes(), patch, settings))
            throw Error("the preset '" + found + "' can't be read (" +
                        (folder / (found + ".sbi")).string() + ")");
    }
    if (index >= 0) core_->SelectPreset(index);
    core_->LoadPreset(choice);
}

void SongPlayer::Play(ShortMessage message) {
    core_->HandleMidiData(kSongSource, message);
}

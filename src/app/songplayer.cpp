#include "app/songplayer.h"

#include "error.h"
#include "midi/postedmessage.h"
#include "presets/sbi.h"
#include "ui/mainform.h"
#include "ui/presetnames.h"
#include "ui/toolkit.h"

#include <QComboBox>
#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr const char* kDefaultPreset = "Default"; // built in, never a file

std::string BankShown(const TFormMain& window) {
    return window.BankNames[static_cast<size_t>(window.ComboBoxBank->currentIndex())];
}

// As the user picks a bank: the list is filled again and the sound stays.
void ChooseBank(TFormMain& window, const std::string& bank) {
    const auto found = std::find(window.BankNames.begin(), window.BankNames.end(), bank);
    if (found == window.BankNames.end()) throw Error("no bank '" + bank + "'");
    window.ComboBoxBank->setCurrentIndex(static_cast<int>(found - window.BankNames.begin()));
    RunComboBoxSelect(window.ComboBoxBank);
}

std::string UnknownPresetText(const TFormMain& window, const std::string& name,
                              const std::filesystem::path& folder) {
    std::string text = "no preset '" + name + "' in bank " + BankShown(window) + " (" +
                       folder.string() + "); its presets:";
    for (int i = 0; i < window.ComboBoxPreset->count(); ++i)
        text += (i ? ", " : " ") + window.ComboBoxPreset->itemText(i).toStdString();
    return text;
}

// The item the name picks, as typing it does: the same case first, then any.
int FindPreset(const QComboBox* list, const std::string& name) {
    const QString text = QString::fromStdString(name);
    const int exact = list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return exact >= 0 ? exact : list->findText(text, Qt::MatchFixedString);
}

// Picked in the list and applied as LoadPresetByName applies it. The window
// passes over a preset it can't load; a render must not.
void ChoosePreset(TFormMain& window, const std::string& name,
                  const std::filesystem::path& presetRoot) {
    const std::filesystem::path folder = presetRoot / BankShown(window);
    int index = FindPresetItem(window.ComboBoxPreset, name);
    if (index < 0) index = FindPreset(window.ComboBoxPreset, name);
    if (index < 0 && name != kDefaultPreset) throw Error(UnknownPresetText(window, name, folder));
    const std::string found =
        index < 0 ? kDefaultPreset : PresetItemName(window.ComboBoxPreset, index);
    if (found != kDefaultPreset) {
        SynthPatch patch;
        PatchSettings settings;
        if (!window.PresetStore->LoadPreset(found, patch, settings))
            throw Error("the preset '" + found + "' can't be read (" +
                        (folder / (found + ".sbi")).string() + ")");
    }
    if (index >= 0) window.ComboBoxPreset->setCurrentIndex(index);
    window.LoadPresetByName(found);
}

} // namespace

SongPlayer::SongPlayer(uint16_t portBase, const CommandLine& options,
                       const std::filesystem::path& presetRoot)
    : window_(std::make_unique<TFormMain>(
          nullptr, [portBase](QWidget*) { return portBase; }, presetRoot)) {
    if (!options.bank.empty()) ChooseBank(*window_, options.bank);
    if (!options.preset.empty()) ChoosePreset(*window_, options.preset, presetRoot);
    // Items "1" to "16"; a list set by the program runs no handler.
    window_->ComboBoxMidiChannel->setCurrentIndex(options.channel - 1);
}

SongPlayer::~SongPlayer() = default;

void SongPlayer::Play(ShortMessage message) {
    // What MIDI input does with each message it takes from its queue.
    PostedMessage posted(MM_MIM_DATA, kSongSource, PackShortMessage(message));
    QCoreApplication::sendEvent(window_.get(), &posted);
}

#include "ui/sessionstate.h"

#include "files/outputfile.h"
#include "presets/presetfile.h"
#include "synth/corelink.h"
#include "ui/mainform.h"

#include <QCheckBox>
#include <QSettings>

#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {
constexpr const char* kMuteKey = "session/mute";
constexpr const char* kChordKey = "session/chord";
// A file much longer than a preset is not read whole.
constexpr std::streamsize kReadLimit = 4096;

std::vector<uint8_t> SessionPatchBytes(const SynthState& state, const std::string& name) {
    return EncodePreset(PresetKind::SixOperator, name, SynthPatchOf(state), PatchSettingsOf(state));
}

int WriteWhole(const fs::path& path, const std::vector<uint8_t>& bytes) {
    OutputFile out;
    int error = out.Open(path.string(), OutputFile::Options{});
    if (!error) error = out.Write(bytes.data(), bytes.size());
    if (!error) error = out.Close();
    if (!error) error = out.Publish();
    if (error) out.Abandon();
    return error;
}

bool IsSixOperatorPreset(const std::vector<uint8_t>& bytes) {
    SynthPatch patch;
    PatchSettings settings;
    return bytes.size() == PresetFileSize(PresetKind::SixOperator) &&
           DecodePreset(bytes, patch, settings);
}

// As the user would tick it: the handler runs when it changes.
void Tick(QCheckBox* box, QSettings& file, const char* key) {
    const QVariant value = file.value(key);
    if (value.isValid()) box->setChecked(value.toString() == "true");
}
} // namespace

SessionState::SessionState(TFormMain& form, fs::path folder, SettingsKeeper::Note note)
    : form_(form), folder_(std::move(folder)), note_(std::move(note)) {}

SessionState::~SessionState() = default;

SessionSnapshot SessionState::Snapshot() const {
    SessionSnapshot s;
    const SynthState& state = form_.Link->State();
    s.patch = SessionPatchBytes(state, form_.LastPreset());
    if (keeper_) s.settings = keeper_->Current();
    s.settings.windows = {};
    s.mute = state.mute;
    s.chord = state.chord;
    return s;
}

void SessionState::Open() {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error || !fs::is_directory(folder_))
        throw SessionError(SessionError::Kind::Create,
                           "can't make the session folder '" + folder_.string() +
                               "': " + (error ? error.message() : "a file has its name"));
    keeper_ = std::make_unique<SettingsKeeper>(form_, (folder_ / kSettingsFile).string(), note_,
                                               SettingsKeeper::Writing::WhenAsked);
    keeper_->Apply();
    keeper_->ShowWindows();
    Tick(form_.CheckBoxMute, keeper_->File(), kMuteKey);
    Tick(form_.CheckBoxChorder, keeper_->File(), kChordKey);
    try {
        ApplyPatchFile();
    } catch (const SessionError&) {
        TakeAsSaved();
        throw;
    }
    TakeAsSaved();
}

// Once the synthesizer has applied everything sent to it.
void SessionState::TakeAsSaved() {
    form_.ForgetHistory();
    form_.Link->Sync();
    saved_ = Snapshot();
}

// The sound as saved, over the preset the settings named: that preset may
// have been edited, changed or deleted since.
void SessionState::ApplyPatchFile() {
    const fs::path path = folder_ / kPatchFile;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (fs::exists(path))
            throw SessionError(SessionError::Kind::BadFile,
                               "can't read '" + path.string() + "': " + std::strerror(errno));
        return; // a new session
    }
    std::vector<uint8_t> bytes(kReadLimit);
    file.read(reinterpret_cast<char*>(bytes.data()), kReadLimit);
    bytes.resize(static_cast<size_t>(file.gcount()));
    if (!IsSixOperatorPreset(bytes))
        throw SessionError(SessionError::Kind::BadFile,
                           "'" + path.string() +
                               "' is no six-operator preset; it is left as it is");
    form_.Link->Send(command::Preset{PresetChoice::FromBytes(bytes)});
    form_.ShowCore();
}

void SessionState::Save() {
    if (!keeper_) throw SessionError(SessionError::Kind::Save, "no session folder is open");
    std::error_code made;
    fs::create_directories(folder_, made);
    const fs::path path = folder_ / kPatchFile;
    const SynthPatch patch = form_.GetSynthPatch(); // waits for what was sent
    const std::vector<uint8_t> bytes =
        EncodePreset(PresetKind::SixOperator, form_.LastPreset(), patch, form_.GetPatchSettings());
    if (const int error = WriteWhole(path, bytes))
        throw SessionError(SessionError::Kind::Save,
                           "can't write '" + path.string() + "': " + std::strerror(error));
    const SynthState& state = form_.Link->State();
    const bool written = keeper_->Write([&state](QSettings& file) {
        file.setValue(kMuteKey, state.mute);
        file.setValue(kChordKey, state.chord);
    });
    if (!written)
        throw SessionError(SessionError::Kind::Save,
                           "can't write '" + (folder_ / kSettingsFile).string() + "'");
    form_.Link->Sync();
    saved_ = Snapshot();
}

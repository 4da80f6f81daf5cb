#pragma once
// A session's own sound and settings, kept in the folder a session manager
// gives instead of the user's folders, which stay as they are:
//   <folder>/patch.sbi   the sound, as a six-operator preset file
//   <folder>/vi801.conf  what the user's settings file holds, and what a
//                        preset has no room for: mute and chord
// They are read after the usual start, as remembered settings are, and
// written only when the session is saved; what changed since is the
// session's unsaved change.
#include "error.h"
#include "ui/remembered.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

class TFormMain;

class SessionError : public Error {
public:
    enum class Kind { Create, BadFile, Save };
    SessionError(Kind kind, const std::string& message) : Error(message), kind_(kind) {}
    Kind What() const { return kind_; }

private:
    Kind kind_;
};

// What a save keeps, less the names of nothing the ear or the player meets
// (where the windows stand).
struct SessionSnapshot {
    std::vector<uint8_t> patch; // the preset file's bytes
    Remembered settings;
    bool mute = false, chord = false;
    bool operator==(const SessionSnapshot&) const = default;
};

class SessionState {
public:
    static constexpr const char* kPatchFile = "patch.sbi";
    static constexpr const char* kSettingsFile = "vi801.conf";

    SessionState(TFormMain& form, std::filesystem::path folder, SettingsKeeper::Note note);
    ~SessionState();
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    // Makes the folder when it is missing and applies what it holds. A
    // patch file that is no six-operator preset is left as it is and
    // raised (BadFile) once everything else was applied; a folder that
    // can't be made raises Create.
    void Open();
    // Writes both files, each whole or not at all; raises Save.
    void Save();
    // The sound or the settings differ from what was last opened or saved.
    bool Changed() const { return Snapshot() != saved_; }
    SessionSnapshot Snapshot() const;

    const std::filesystem::path& Folder() const { return folder_; }

private:
    void ApplyPatchFile();
    void TakeAsSaved();

    TFormMain& form_;
    std::filesystem::path folder_;
    SettingsKeeper::Note note_;
    std::unique_ptr<SettingsKeeper> keeper_;
    SessionSnapshot saved_;
};

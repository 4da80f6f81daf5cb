#pragma once
// What VI 801 remembers between runs, in the user's config folder
// ($XDG_CONFIG_HOME/vi801/vi801.conf, ~/.config when unset): the MIDI input
// by its port's name, the channel, the controller bindings, the bank and the
// last preset, the pedals and the bend range, where the windows stood and
// whether the mini keyboard and the controller window were open.
//
// The start runs as it always has; what was remembered is applied afterwards,
// as the user would set it, so a first start (no file) is exactly the
// usual one. Every change is written at once, to a new file renamed
// over the old one, so a crash keeps what was last written.
#include "synth/controllermap.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QSettings;
class TFormMain;

struct WindowPlace {
    bool known = false;
    QPoint at;
    bool open = false; // the main window is always open
    bool operator==(const WindowPlace&) const = default;
};

// The main window, the mini keyboard, the controller window.
inline constexpr int kRememberedWindows = 3;

struct Remembered {
    QString midiIn; // the port's name; empty: "No midi input"
    int channel = 0;
    std::array<int, kControllerRowCount> controllers{};
    QString bank = "6op";
    std::string preset = "Default"; // the bytes of its file's name
    bool pedals = true;
    int bendRange = 100;
    std::array<WindowPlace, kRememberedWindows> windows{};
    bool operator==(const Remembered&) const = default;
};

// The window as it stands now.
Remembered RememberedOf(const TFormMain& form);
// Values outside their ranges, or of the wrong kind, keep what `start` has.
Remembered ReadRemembered(QSettings& settings, const Remembered& start);
void WriteRemembered(QSettings& settings, const Remembered& remembered);

// Whether an offered MIDI input is the one remembered: the same name, or
// the same but for the sequencer's client and port numbers at the end
// ("Keys:Keys MIDI 1 20:0" and "Keys:Keys MIDI 1 24:0"), which change as
// devices come and go.
bool SameMidiPort(const QString& remembered, const QString& offered);

// $XDG_CONFIG_HOME/vi801/vi801.conf, or ~/.config/vi801/vi801.conf.
std::string SettingsPath();

// Keeps the window's remembered settings: applies them once, then writes
// them whenever they change, until the main window closes.
class SettingsKeeper : public QObject {
public:
    using Note = std::function<void(const std::string&)>;
    SettingsKeeper(TFormMain& form, const std::string& path, Note note);
    ~SettingsKeeper() override;

    // Before the main window shows: everything but the other windows.
    void Apply();
    // After: the mini keyboard and the controller window where they stood.
    void ShowWindows();
    // Writes now what changed since the last write.
    void Save();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyBindings(const Remembered& r);
    void ApplyPresets(const Remembered& r);
    void ApplyMidiIn(const Remembered& r);

    TFormMain& form_;
    std::unique_ptr<QSettings> settings_;
    Note note_;
    bool found_ = false; // a file was there at start
    Remembered read_;    // what it held
    Remembered written_; // what the file holds now
    QString midiIn_;     // the user's input, kept while it is missing
    QTimer check_;
    bool closed_ = false; // the main window closed: its children are going
};

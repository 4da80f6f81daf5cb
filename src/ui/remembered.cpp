#include "ui/remembered.h"

#include "synth/corelink.h"
#include "ui/ccform.h"
#include "ui/kbdform.h"
#include "ui/mainform.h"
#include "ui/presetnames.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>

#include <algorithm>
#include <cstdlib>

namespace {

// How often the window is looked at for a change; a change is written within it.
constexpr int kCheckMs = 250;

const char* const kWindowKeys[kRememberedWindows] = {"windows/main", "windows/keyboard",
                                                     "windows/controllers"};

QString RowKey(int row) {
    return "controllers/" + QString(kControllerRows[row].key).trimmed();
}

// An integer in [low, high] or the fallback.
int IntIn(const QSettings& s, const QString& key, int low, int high, int fallback) {
    bool ok = false;
    const int value = s.value(key).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

bool BoolOr(const QSettings& s, const QString& key, bool fallback) {
    const QString text = s.value(key).toString();
    if (text == "true") return true;
    if (text == "false") return false;
    return fallback;
}

std::array<QWidget*, kRememberedWindows> Windows(const TFormMain& form) {
    return {const_cast<TFormMain*>(&form), form.KeyboardForm, form.ControllerForm};
}

// A place on no screen (one unplugged since) is not used.
bool OnAScreen(const QPoint& at) {
    return QGuiApplication::screenAt(at) != nullptr;
}

} // namespace

Remembered RememberedOf(const TFormMain& form) {
    Remembered r;
    r.midiIn = form.ComboBoxMidiIn->currentIndex() > 0 ? form.ComboBoxMidiIn->currentText() : "";
    const SynthState& state = form.Link->State();
    r.channel = state.channel;
    r.controllers = state.controllers;
    const auto bank = static_cast<size_t>(form.ComboBoxBank->currentIndex());
    r.bank = bank < form.BankNames.size() ? QString::fromStdString(form.BankNames[bank]) : "";
    r.preset = form.LastPreset();
    r.pedals = state.pedalsEnabled;
    r.bendRange = state.bendRange;
    const auto windows = Windows(form);
    for (int w = 0; w < kRememberedWindows; ++w)
        if (windows[w]) r.windows[w] = {true, windows[w]->pos(), windows[w]->isVisible()};
    return r;
}

Remembered ReadRemembered(QSettings& s, const Remembered& start) {
    Remembered r = start;
    r.midiIn = s.value("midi/input", start.midiIn).toString();
    r.channel = IntIn(s, "midi/channel", 1, 16, start.channel + 1) - 1;
    for (int row = 0; row < kControllerRowCount; ++row)
        r.controllers[row] = IntIn(s, RowKey(row), kUnbound, 127, start.controllers[row]);
    r.bank = s.value("presets/bank", start.bank).toString();
    const QVariant preset = s.value("presets/preset");
    if (preset.typeId() == QMetaType::QByteArray)
        r.preset = preset.toByteArray().toStdString();
    else if (preset.isValid())
        r.preset = preset.toString().toStdString();
    r.pedals = BoolOr(s, "playing/pedals", start.pedals);
    r.bendRange = IntIn(s, "playing/bendRangeCents", 0, kMaxBendRange, start.bendRange);
    for (int w = 0; w < kRememberedWindows; ++w) {
        const QString key = kWindowKeys[w];
        const QVariant at = s.value(key + "/at");
        if (at.typeId() == QMetaType::QPoint)
            r.windows[w] = {true, at.toPoint(), BoolOr(s, key + "/open", false)};
    }
    return r;
}

void WriteRemembered(QSettings& s, const Remembered& r) {
    s.setValue("midi/input", r.midiIn);
    s.setValue("midi/channel", r.channel + 1);
    for (int row = 0; row < kControllerRowCount; ++row)
        s.setValue(RowKey(row), r.controllers[row]);
    s.setValue("presets/bank", r.bank);
    // A name that is no UTF-8 is kept as its bytes.
    const QString text = QString::fromStdString(r.preset);
    if (text.toStdString() == r.preset)
        s.setValue("presets/preset", text);
    else
        s.setValue("presets/preset", QByteArray::fromStdString(r.preset));
    s.setValue("playing/pedals", r.pedals);
    s.setValue("playing/bendRangeCents", r.bendRange);
    for (int w = 0; w < kRememberedWindows; ++w) {
        if (!r.windows[w].known) continue;
        s.setValue(QString(kWindowKeys[w]) + "/at", r.windows[w].at);
        if (w > 0) s.setValue(QString(kWindowKeys[w]) + "/open", r.windows[w].open);
    }
}

bool SameMidiPort(const QString& remembered, const QString& offered) {
    if (remembered == offered) return true;
    static const QRegularExpression numbers(" \\d+:\\d+$");
    QString a = remembered, b = offered;
    a.remove(numbers);
    b.remove(numbers);
    return a != remembered && b != offered && a == b;
}

std::string SettingsPath() {
    std::string folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        folder = config;
    else if (const char* home = std::getenv("HOME"))
        folder = std::string(home) + "/.config";
    return folder + "/vi801/vi801.conf";
}

// --- the keeper ---

SettingsKeeper::SettingsKeeper(TFormMain& form, const std::string& path, Note note)
    : form_(form), note_(std::move(note)) {
    found_ = QFileInfo::exists(QString::fromStdString(path));
    settings_ = std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
    written_ = RememberedOf(form_);
    read_ = found_ ? ReadRemembered(*settings_, written_) : written_;
    if (settings_->status() != QSettings::NoError)
        note_("the settings in " + path + " could not be read; they are written anew");
    midiIn_ = read_.midiIn;
    for (QWidget* window : Windows(form_))
        if (window) window->installEventFilter(this);
    connect(form_.ComboBoxMidiIn, &QComboBox::activated, this,
            [this](int index) { midiIn_ = index > 0 ? form_.ComboBoxMidiIn->currentText() : ""; });
    connect(&check_, &QTimer::timeout, this, [this] { Save(); });
    check_.start(kCheckMs);
}

SettingsKeeper::~SettingsKeeper() {
    if (!closed_) Save();
    for (QWidget* window : Windows(form_))
        if (window) window->removeEventFilter(this);
}

// Each value as the user would set it, and only where it differs: what
// equals the start is never touched.
void SettingsKeeper::Apply() {
    if (!found_) return;
    const Remembered& r = read_;
    ApplyBindings(r);
    if (r.channel != form_.Link->State().channel)
        form_.ComboBoxMidiChannel->setCurrentIndex(r.channel);
    if (r.pedals != form_.Link->State().pedalsEnabled) {
        form_.MenuItemPedals->setChecked(r.pedals);
        form_.PedalsClick();
    }
    if (r.bendRange != form_.Link->State().bendRange) form_.BendRangeClick(r.bendRange);
    ApplyPresets(r);
    ApplyMidiIn(r);
    const WindowPlace& main = r.windows[0];
    if (main.known && OnAScreen(main.at)) form_.move(main.at);
    form_.ForgetHistory();
    written_ = RememberedOf(form_);
    written_.midiIn = midiIn_;
}

void SettingsKeeper::ShowWindows() {
    if (!found_) return;
    const auto windows = Windows(form_);
    for (int w = 1; w < kRememberedWindows; ++w) {
        const WindowPlace& place = read_.windows[w];
        if (!windows[w] || !place.known) continue;
        if (OnAScreen(place.at)) windows[w]->move(place.at);
        if (place.open) windows[w]->show();
    }
}

void SettingsKeeper::ApplyBindings(const Remembered& r) {
    ValueListEditor& rows = *form_.ControllerForm->ValueListEditorCc;
    for (int row = 0; row < kControllerRowCount; ++row)
        if (r.controllers[row] != form_.Link->State().controllers[row])
            rows.SetValue(kControllerRows[row].key, QString::number(r.controllers[row]));
}

// The bank chosen, then the preset named and Enter, as the user would.
void SettingsKeeper::ApplyPresets(const Remembered& r) {
    const int bank = form_.ComboBoxBank->findText(r.bank, Qt::MatchStartsWith);
    const bool otherBank = bank >= 0 && bank != form_.ComboBoxBank->currentIndex();
    if (otherBank) {
        form_.ComboBoxBank->setCurrentIndex(bank);
        form_.ComboBoxBankChange();
    }
    if (!otherBank && r.preset == form_.LastPreset()) return;
    if (r.preset == kDefaultPresetName) {
        form_.ComboBoxPreset->setEditText(kDefaultPresetName);
        form_.LoadPresetByName(kDefaultPresetName);
        return;
    }
    const std::vector<std::string> names = PresetItemNames(form_.ComboBoxPreset);
    const auto item = std::find(names.begin(), names.end(), r.preset);
    if (item != names.end()) {
        form_.ComboBoxPreset->setCurrentIndex(static_cast<int>(item - names.begin()));
        form_.ComboBoxPresetSelect();
    }
    if (form_.LastPreset() != r.preset)
        note_("the preset \"" + r.preset + "\" of the last run is not in the " +
              r.bank.toStdString() + " bank");
}

void SettingsKeeper::ApplyMidiIn(const Remembered& r) {
    if (r.midiIn.isEmpty()) return;
    QComboBox& inputs = *form_.ComboBoxMidiIn;
    int found = -1;
    for (int i = 1; i < inputs.count() && found < 0; ++i)
        if (inputs.itemText(i) == r.midiIn) found = i;
    for (int i = 1; i < inputs.count() && found < 0; ++i)
        if (SameMidiPort(r.midiIn, inputs.itemText(i))) found = i;
    if (found < 0) {
        note_("the MIDI input \"" + r.midiIn.toStdString() +
              "\" of the last run is missing; none is chosen");
        return;
    }
    inputs.setCurrentIndex(found);
    form_.ComboBoxMidiInChange();
    midiIn_ = inputs.itemText(found);
}

void SettingsKeeper::Save() {
    if (closed_) return;
    Remembered now = RememberedOf(form_);
    now.midiIn = midiIn_;
    if (now == written_) return;
    WriteRemembered(*settings_, now);
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        note_("the settings could not be written to " + settings_->fileName().toStdString());
        check_.stop(); // said once
        return;
    }
    written_ = now;
}

// Once the main window closes, the others close with it: what stands then
// is what the next run finds.
bool SettingsKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &form_ && event->type() == QEvent::Close && !closed_) {
        Save();
        closed_ = true;
        check_.stop();
    }
    return QObject::eventFilter(watched, event);
}

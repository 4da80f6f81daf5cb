#include "ui/kbdform.h"

#include "midi/postedmessage.h"
#include "midi/shortmessage.h"
#include "ui/accessible.h"
#include "ui/accessiblenames.h"
#include "ui/tag.h"
#include "ui/toolkit.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <string_view>

namespace {

struct KeymapButton {
    const char* name;
    const char* letter;
    int left, top;
};
// The home row plays the white keys, the row above it the black ones.
constexpr KeymapButton kKeymap[TFormKBD::kKeyCount] = {
    {"ss", "S", 8, 32},   {"sd", "D", 40, 32},  {"sf", "F", 72, 32},  {"sg", "G", 104, 32},
    {"sh", "H", 136, 32}, {"sj", "J", 168, 32}, {"sk", "K", 200, 32}, {"sl", "L", 232, 32},
    {"se", "E", 24, 8},   {"sr", "R", 56, 8},   {"sy", "Y", 120, 8},  {"su", "U", 152, 8},
    {"si", "I", 184, 8},
};

struct KeyPlace {
    const char* name; // not a note name: e3 plays D and d3 plays E
    bool black;
    int left;
    uint8_t note;
};
constexpr KeyPlace kKeys[TFormKBD::kKeyCount] = {
    {"c3", false, 8, 60},   {"c3_", true, 26, 61},  {"e3", false, 40, 62},  {"d3_", true, 58, 63},
    {"d3", false, 72, 64},  {"f3", false, 104, 65}, {"f3_", true, 122, 66}, {"g3", false, 136, 67},
    {"g3_", true, 154, 68}, {"a4", false, 168, 69}, {"a4_", true, 186, 70}, {"b4", false, 200, 71},
    {"c4", false, 232, 72},
};

struct ScaleLabel {
    const char* name;
    const char* text;
    int left;
};
constexpr ScaleLabel kScale[8] = {
    {"lc3", "C4", 16},  {"ld3", "D4", 48},  {"le3", "E4", 80},  {"lf3", "F4", 112},
    {"lg3", "G4", 144}, {"la4", "A4", 176}, {"lb4", "B4", 208}, {"lc4", "C5", 240},
};

constexpr uint8_t kVelocity = 127;
constexpr int kCursorUp = 38, kCursorDown = 40;
constexpr int kLowerCaseBit = 0x20;
// The step buttons' program changes: data2 is a signed step.
constexpr ShortMessage kStepUp{0xC0, 0, 0xFF}, kStepDown{0xC0, 0, 0x01};

// A sounding key glows amber, the black ones darker.
const QColor kLitWhite(0xFF, 0xB8, 0x4D), kLitBlack(0xC2, 0x6A, 0x00);

// The letters and note names are drawn disabled, yet must be read: the
// disabled text colour is the normal one lightened only as far as it keeps
// a contrast of 4.5:1 with the panel.
QPalette Readable(QPalette palette, QPalette::ColorRole text) {
    const QColor background = palette.color(QPalette::Window);
    const QColor normal = palette.color(QPalette::Active, text);
    QColor dimmed = normal;
    for (double share = 0.45; share > 0; share -= 0.05) {
        const QColor mixed = QColor::fromRgbF(
            static_cast<float>(normal.redF() + share * (background.redF() - normal.redF())),
            static_cast<float>(normal.greenF() + share * (background.greenF() - normal.greenF())),
            static_cast<float>(normal.blueF() + share * (background.blueF() - normal.blueF())));
        if (ContrastRatio(mixed, background) >= 4.5) {
            dimmed = mixed;
            break;
        }
    }
    palette.setColor(QPalette::Disabled, text, dimmed);
    return palette;
}

QToolButton* MakeStepButton(QWidget* parent, const char* name, Qt::ArrowType arrow, int top) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(272, top, 32, 32);
    SetAccessible(button, ControlAccessible(name));
    return button;
}

} // namespace

PianoKey::PianoKey(QWidget* parent, bool black, std::function<void(PianoKey*)> down,
                   std::function<void(PianoKey*)> up)
    : QFrame(parent), down_(std::move(down)), up_(std::move(up)), black_(black) {
    setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, black ? Qt::black : Qt::white);
    palette.setColor(QPalette::WindowText, Qt::gray);
    setPalette(palette);
    setLineWidth(2);
    ShowPressed(false);
}

void PianoKey::ShowPressed(bool pressed) {
    setFrameStyle(pressed ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
}

void PianoKey::ShowSounding(bool sounding) {
    if (sounding == sounding_) return;
    sounding_ = sounding;
    QPalette lit = palette();
    const QColor white = sounding ? kLitWhite : QColor(Qt::white);
    const QColor black = sounding ? kLitBlack : QColor(Qt::black);
    lit.setColor(QPalette::Window, black_ ? black : white);
    setPalette(lit);
}

// Any button plays the key.
void PianoKey::mousePressEvent(QMouseEvent*) {
    RunGuarded([this] { down_(this); });
}
void PianoKey::mouseReleaseEvent(QMouseEvent*) {
    RunGuarded([this] { up_(this); });
}

TFormKBD::TFormKBD(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint),
      Owner(owner) {
    setObjectName("FormKBD");
    setWindowTitle("Mini Keyboard - VI 801");
    setFixedSize(324, 207);
    move(352, 496);
    setFont(StandardFont());
    // The window itself takes the keys, whatever was clicked last.
    setFocusPolicy(Qt::StrongFocus);

    GroupBoxKbd = new QGroupBox("Keyboard", this);
    GroupBoxKbd->setObjectName("GroupBoxKbd");
    GroupBoxKbd->setGeometry(4, 4, 317, 197);
    PanelKeymap = MakePanel(GroupBoxKbd, "PanelKeymap", 2, 15, 313, 66, QFrame::NoFrame);
    PanelKeyboard = MakePanel(GroupBoxKbd, "PanelKeyboard", 2, 81, 313, 92, QFrame::NoFrame);
    PanelScale = MakePanel(GroupBoxKbd, "PanelScale", 2, 173, 313, 22, QFrame::NoFrame);
    BuildKeymap();
    BuildKeyboard();
    BuildScale();
}

void TFormKBD::BuildKeymap() {
    for (int i = 0; i < kKeyCount; ++i) {
        const KeymapButton& b = kKeymap[i];
        auto* button = new QPushButton(b.letter, PanelKeymap);
        button->setObjectName(b.name);
        button->setFlat(true);
        button->setEnabled(false);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(b.left, b.top, 23, 22);
        button->setPalette(Readable(button->palette(), QPalette::ButtonText));
        const size_t position = std::string_view(NoteKeys).find(b.letter[0]);
        SetAccessible(button, LetterKeyAccessible(b.letter[0], kFirstNote + int(position)));
        KeymapButtons[i] = button;
    }
}

void TFormKBD::BuildKeyboard() {
    for (int i = 0; i < kKeyCount; ++i) {
        const KeyPlace& k = kKeys[i];
        auto* key = new PianoKey(
            PanelKeyboard, k.black, [this](PianoKey* s) { c3MouseDown(s); },
            [this](PianoKey* s) { c3MouseUp(s); });
        key->setObjectName(k.name);
        SetTag(key, k.note);
        SetAccessible(key, PianoKeyAccessible(k.note));
        if (k.black)
            key->setGeometry(k.left, 1, 20, 45);
        else
            key->setGeometry(k.left, 1, 30, 80);
        Keys[i] = key;
    }
    // The black keys lie over the white ones and take the clicks there.
    for (int i = 0; i < kKeyCount; ++i)
        if (kKeys[i].black) Keys[i]->raise();

    SpeedButtonUp = MakeStepButton(PanelKeyboard, "SpeedButtonUp", Qt::UpArrow, 0);
    SpeedButtonDown = MakeStepButton(PanelKeyboard, "SpeedButtonDown", Qt::DownArrow, 48);
    OnClick(SpeedButtonUp, [this] { SpeedButtonUpClick(); });
    OnClick(SpeedButtonDown, [this] { SpeedButtonDownClick(); });
}

void TFormKBD::BuildScale() {
    for (size_t i = 0; i < ScaleLabels.size(); ++i) {
        QLabel* label = MakeLabel(PanelScale, kScale[i].name, kScale[i].text, kScale[i].left, 4);
        label->setEnabled(false); // greyed
        label->setPalette(Readable(label->palette(), QPalette::WindowText));
        ScaleLabels[i] = label;
    }
}

void TFormKBD::ShowSounding(const std::bitset<128>& notes) {
    for (PianoKey* key : Keys)
        key->ShowSounding(notes.test(static_cast<size_t>(TagOf(key))));
}

void TFormKBD::SendNoteOn(uint8_t note) {
    PostMessage(Owner, MM_MIM_DATA, KeyboardSource, PackShortMessage({0x90, note, kVelocity}));
}

void TFormKBD::SendNoteOff(uint8_t note) {
    PostMessage(Owner, MM_MIM_DATA, KeyboardSource, PackShortMessage({0x80, note, 0}));
}

void TFormKBD::c3MouseDown(PianoKey* sender) {
    SendNoteOn(static_cast<uint8_t>(TagOf(sender)));
    sender->ShowPressed(true);
}

void TFormKBD::c3MouseUp(PianoKey* sender) {
    SendNoteOff(static_cast<uint8_t>(TagOf(sender)));
    sender->ShowPressed(false);
}

void TFormKBD::SpeedButtonUpClick() {
    PostMessage(Owner, MM_MIM_DATA, KeyboardSource, PackShortMessage(kStepUp));
}

void TFormKBD::SpeedButtonDownClick() {
    PostMessage(Owner, MM_MIM_DATA, KeyboardSource, PackShortMessage(kStepDown));
}

void TFormKBD::FormKeyDown(int& key) {
    if (key == kCursorUp) {
        SpeedButtonUpClick();
        return;
    }
    if (key == kCursorDown) {
        SpeedButtonDownClick();
        return;
    }
    key &= ~kLowerCaseBit;
    for (int i = 0; i < kKeyCount; ++i)
        if (NoteKeys[i] == key) {
            SendNoteOn(static_cast<uint8_t>(kFirstNote + i));
            heldLetters_.set(i);
        }
}

void TFormKBD::FormKeyUp(int& key) {
    key &= ~kLowerCaseBit;
    for (int i = 0; i < kKeyCount; ++i)
        if (NoteKeys[i] == key) {
            SendNoteOff(static_cast<uint8_t>(kFirstNote + i));
            heldLetters_.reset(i);
        }
}

void TFormKBD::ReleaseHeldLetters() {
    for (int i = 0; i < kKeyCount; ++i)
        if (heldLetters_.test(i)) SendNoteOff(static_cast<uint8_t>(kFirstNote + i));
    heldLetters_.reset();
}

// A held key repeats as release-and-press pairs: every repeated press plays
// again, and only the real release lets go.
void TFormKBD::keyPressEvent(QKeyEvent* event) {
    int key = VirtualKeyCode(*event);
    RunGuarded([&] { FormKeyDown(key); });
}

void TFormKBD::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        int key = VirtualKeyCode(*event);
        RunGuarded([&] { FormKeyUp(key); });
    }
}

void TFormKBD::focusOutEvent(QFocusEvent* event) {
    ReleaseHeldLetters();
    QWidget::focusOutEvent(event);
}

void TFormKBD::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) ReleaseHeldLetters();
    QWidget::changeEvent(event);
}

void TFormKBD::hideEvent(QHideEvent* event) {
    ReleaseHeldLetters();
    QWidget::hideEvent(event);
}

#pragma once
// The mini keyboard: one octave, C4 to C5 (notes 60-72), played with the
// mouse or with thirteen letter keys, and two buttons (or the cursor keys)
// that step through the presets. It only posts MIDI short messages, marked
// KeyboardSource, to its owner, which plays them like those of an input.
// Shown by the main window's "Kbd" button; closing only hides it.
#include <QFrame>
#include <QWidget>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;

// A flat key that reports presses and releases of any mouse button.
class PianoKey : public QFrame {
public:
    PianoKey(QWidget* parent, bool black, std::function<void(PianoKey*)> down,
             std::function<void(PianoKey*)> up);
    // The pressed look: a border while the key is held.
    void ShowPressed(bool pressed);
    // The sounding look: lit while the synthesizer plays its note.
    void ShowSounding(bool sounding);
    bool Sounding() const { return sounding_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void(PianoKey*)> down_, up_;
    bool black_;
    bool sounding_ = false;
};

class TFormKBD : public QWidget {
public:
    static constexpr int kKeyCount = 13;
    static constexpr uint8_t kFirstNote = 60;
    // Position i plays note 60 + i; T, between F and G, plays nothing.
    static constexpr const char* NoteKeys = "SEDRFGYHUJIKL";

    explicit TFormKBD(QWidget* owner);

    void SendNoteOn(uint8_t note);
    void SendNoteOff(uint8_t note);
    void c3MouseDown(PianoKey* sender);
    void c3MouseUp(PianoKey* sender);
    void SpeedButtonUpClick();
    void SpeedButtonDownClick();
    // Virtual-key codes; bit 5 of key is cleared, as the window sees it.
    void FormKeyDown(int& key);
    void FormKeyUp(int& key);
    // Lights the keys whose notes sound, however they were played.
    void ShowSounding(const std::bitset<128>& notes);

    QWidget* const Owner; // receives the posted messages; not owned

    QGroupBox* GroupBoxKbd;
    QFrame* PanelKeymap;
    QFrame* PanelKeyboard;
    QFrame* PanelScale;
    // ss, sd, sf, sg, sh, sj, sk, sl, se, sr, sy, su, si: pictures of the letter keys.
    std::array<QPushButton*, kKeyCount> KeymapButtons{};
    // c3, c3_, e3, ... c4, from left to right; each one's Tag is its note.
    std::array<PianoKey*, kKeyCount> Keys{};
    std::array<QLabel*, 8> ScaleLabels{}; // lc3 ... lc4
    QToolButton* SpeedButtonUp;
    QToolButton* SpeedButtonDown;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildKeymap();
    void BuildKeyboard();
    void BuildScale();
    // A letter released where this window can't see it would hold its note
    // forever: the window lets go of every held letter when it loses the keys.
    void ReleaseHeldLetters();

    std::bitset<kKeyCount> heldLetters_;
};

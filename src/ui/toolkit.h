#pragma once
// The thin layer between the windows of VI 801 and Qt Widgets. Everything
// else uses Qt directly; this holds what Qt does differently from what the
// windows expect: errors shown in a box, posted messages with two 32-bit
// parameters, virtual-key codes, a JPEG picture that raises on a bad file,
// and a name/value list with fixed names.
#include "midi/postedmessage.h" // windows receive posted messages

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QTableWidget>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

class QAbstractButton;
class QCheckBox;
class QFrame;
class QKeyEvent;
class QPushButton;
class QSlider;
class EditableComboBox;

extern const char* const kApplicationTitle; // "VI 801"

// Tests and headless runs see boxes through a hook instead of a modal loop.
using MessageBoxHook =
    std::function<void(QMessageBox::Icon icon, const QString& text, const QString& caption)>;

// Catches an error escaping any event handler, shows it in the error box and
// lets the loop go on.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Asks the program to end before the main window is shown: the caller
    // checks Terminated() instead of entering the loop.
    void Terminate();
    bool Terminated() const { return terminated_; }

    // The boxes of this application go to the hook while one is set; returns
    // the previous hook, and an empty hook restores the real boxes.
    MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
    const MessageBoxHook& BoxHook() const { return boxHook_; }

private:
    bool terminated_ = false;
    MessageBoxHook boxHook_;
};

// Critical icon, OK, caption "VI 801", no owner.
void ShowErrorBox(const QString& text);
// Warning icon, OK, no owner.
void ShowMessageBox(const QString& text, const QString& caption);

// Runs a handler; an error it raises is shown in the error box instead of
// crossing Qt's frames.
void RunGuarded(const std::function<void()>& handler);

// Handlers run on a change of the value only, so the program may set a control
// without running its handler unless the value really changes. Combo boxes run
// theirs on the user's choice only, never when the program selects an item.
void OnClick(QAbstractButton* button, std::function<void()> handler);
void OnTrackBarChange(QSlider* bar, std::function<void()> handler);
void OnCheckBoxClick(QCheckBox* box, std::function<void()> handler);
void OnComboBoxChange(QComboBox* box, std::function<void()> handler); // pick or typing
void OnComboBoxSelect(QComboBox* box, std::function<void()> handler); // pick only

// Runs a list's handler as the user's pick of its current item does.
void RunComboBoxSelect(QComboBox* box);

// Check box, list or track bar taken alike: the value shown is 0 or 1, the
// item index (-1 for none) or the position; setting it follows the rules
// above; the handler is the one for the control's kind.
int ControlValue(const QWidget* control);
void SetControlValue(QWidget* control, int value);
void OnControlChange(QWidget* control, std::function<void()> handler);

// Vertical track bars keep their minimum at the top, and the up key moves
// the thumb up.
void SetMinimumAtTop(QSlider* bar);

// The desktop's sans-serif font at 11 px, the size the layouts assume.
QFont StandardFont();

// Builders for windows laid out at fixed positions. The object name is the
// control's name, so tests and tools find it.
QStringList ItemList(std::span<const char* const> texts);

template <class Label = QLabel>
Label* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* label = new Label(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void SetUpList(QComboBox* box, const char* name, const QStringList& items, int left, int top,
               int width, int rows);
template <class List = QComboBox>
List* MakeList(QWidget* parent, const char* name, const QStringList& items, int left, int top,
               int width, int rows = 8) {
    auto* box = new List(parent);
    SetUpList(box, name, items, left, top, width, rows);
    return box;
}
// Free text plus items, showing text; typing never adds an item.
EditableComboBox* MakeEditList(QWidget* parent, const char* name, const QStringList& items,
                               const char* text, int left, int top, int width, int rows);
QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* text, int left, int top,
                     int width, bool checked = false);
QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int left, int top,
                        int width);
QFrame* MakePanel(QWidget* parent, const QString& name, int left, int top, int width, int height,
                  int style = QFrame::Panel | QFrame::Raised);
// A horizontal track bar with its ticks on top, paging by one tick.
QSlider* MakeTrackBar(QWidget* parent, const char* name, int min, int max, int tick,
                      QRect geometry);

// Virtual-key code of a key event: letters and digits as their upper-case
// character, Enter 13, Escape 27, cursor keys 37-40, F1 112, and so on;
// 0 when the key has no code.
int VirtualKeyCode(const QKeyEvent& event);
int VirtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// A top-level window that receives posted messages (PostMessage) in Dispatch.
class MessageWindow : public QWidget {
public:
    explicit MessageWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

protected:
    bool event(QEvent* event) override;
    // Messages it does not route itself go back here: they are dropped.
    virtual void Dispatch(const PostedMessage& message);
};

// An editable combo box: free text plus items, no completion, typed text
// never added as an item, and key releases reported as virtual-key codes.
// Typing leaves no item selected; only the user's pick selects one.
class EditableComboBox : public QComboBox {
public:
    explicit EditableComboBox(QWidget* parent = nullptr);
    void OnKeyUp(std::function<void(int virtualKey)> handler);

protected:
    // The combo box holds the focus for its line edit, so its keys come here.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    std::function<void(int)> keyUp_;
};

// A drop-down list that runs a handler just before it opens, so that its
// items can be read afresh.
class FreshList : public QComboBox {
public:
    using QComboBox::QComboBox;
    void OnOpen(std::function<void()> handler) { open_ = std::move(handler); }
    void showPopup() override;

private:
    std::function<void()> open_;
};

// A two-column list of fixed names with values edited as text.
class ValueListEditor : public QTableWidget {
public:
    explicit ValueListEditor(QWidget* parent = nullptr);
    void SetTitles(const QString& keyTitle, const QString& valueTitle);
    void AddRow(const QString& key, const QString& value);
    int RowCount() const { return rowCount(); }
    QString Key(int row) const;
    // The value of the first row with this key; empty when there is none.
    QString Value(const QString& key) const;
    void SetValue(const QString& key, const QString& value);
    // A value's tooltip, made from its text when it is asked for.
    void SetValueTip(std::function<QString(const QString& value)> tip) {
        valueTip_ = std::move(tip);
    }
    QString ValueTip(int row) const;
    // What a screen reader reads for a row's value, and for its editor.
    void SetValueAccessible(int row, const QString& name, const QString& description);

protected:
    bool viewportEvent(QEvent* event) override;

private:
    std::function<QString(const QString&)> valueTip_;
};

// Where a window of frame size `size` goes beside its owner's frame on a
// screen's free area: right of it, left, below or above, the first side
// with room. With room on no side it goes where it covers least of
// keepClear, then of the owner.
QPoint PlaceBeside(const QRect& owner, const QRect& keepClear, const QSize& size,
                   const QRect& screen);

// The contrast ratio of two colours as the accessibility guidelines
// define it, from 1 (alike) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// Shows a JPEG picture at its own size from the top-left corner. On a screen
// of more pixels than points (a device pixel ratio above 1), the picture
// drawn for it beside the named one shows instead, as large in the window
// and sharp: <name>@2x.jpg or <name>@3x.jpg (the next smaller one that is
// there and readable, else the named one, enlarged).
class JpegImage : public QLabel {
public:
    explicit JpegImage(QWidget* parent = nullptr);
    // At the widget's own ratio. Raises Error when the named file is
    // needed and missing or not a readable JPEG.
    void Load(const std::string& path);
    void Load(const std::string& path, qreal ratio);
    // As decoded: at the scale chosen.
    const QImage& Picture() const { return picture_; }

private:
    QImage picture_;
};

// The scale of the picture a screen of this ratio shows: the ratio rounded
// up, from 1 to 3.
int PictureScale(qreal ratio);
// "img/cnt3.jpg" at scale 2 is "img/cnt3@2x.jpg"; at scale 1 the path itself.
std::string ScaledPicturePath(const std::string& path, int scale);

// Decodes JPEG bytes; raises Error naming `what` when they are not a JPEG.
QImage DecodeJpeg(const std::string& bytes, const std::string& what);

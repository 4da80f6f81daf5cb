#pragma once
// The controller dialog: which MIDI controller each of the twenty-two
// functions follows. Its table is the only state of the binding and is read
// afresh at every control change; an edited number counts from the next one.
// Shown modelessly by the main window's "CC" button; closing only hides it.
//
// MIDI learn: a row's context menu asks for the next controller message to
// bind; Esc stops waiting. The line above the table tells what happened.
#include <QWidget>

#include <functional>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QShortcut;
class ValueListEditor;
struct LearnedBinding;

class TFormCc : public QWidget {
public:
    explicit TFormCc(QWidget* owner = nullptr);

    // The row a controller number is bound to: the first whose value text
    // is exactly its decimal text. -1 when none is.
    int BoundRow(int number) const;

    // Called with the row that is to learn, or -1 to stop waiting.
    void OnLearn(std::function<void(int row)> learn) { learn_ = std::move(learn); }
    // What the synthesizer does: a row waiting (-1: none), a binding made.
    void ShowLearning(int row);
    void ShowLearned(const LearnedBinding& learned);
    // The function's text of a row, without the blank some keys end in.
    QString RowName(int row) const;

    QGroupBox* GroupBoxCc;
    ValueListEditor* ValueListEditorCc;
    QLabel* LabelLearn;
    QMenu* PopupMenuRows;
    QAction* MenuItemLearn;     // learns the table's current row
    QAction* MenuItemStopLearn; // also Esc

private:
    void BuildLearning();
    void Learn(int row);

    std::function<void(int)> learn_;
    QShortcut* escape_ = nullptr;
    int learning_ = -1;
};

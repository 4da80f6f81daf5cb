#pragma once
// The first window: shows where the FM801 was found and returns its I/O
// port base, or 0 when it was not found or the user cancelled.
#include "cardchoice.h"
#include "ui/audiooutputinfo.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;

// Which card runs and how it sounds, told to the user by the dialog.
struct CardInUse {
    CardKind kind = CardKind::Hardware;
    bool chosenByOption = false; // --card named it
    AudioOutputInfo output;      // the emulated card's sound output
};
void SetCardInUse(const CardInUse& card);
const CardInUse& GetCardInUse();

// The three informational lines for a detection result.
std::array<QString, 3> CardInformationTexts(const CardInUse& card, uint16_t portBase,
                                            const std::string& instance);
// "VI 801 Device found at 0xE800" or "VI 801 Device not found".
QString AddressText(uint16_t portBase);

class TFormPort : public QDialog {
public:
    // Runs the detection; an error of the detection propagates.
    explicit TFormPort(QWidget* owner);
    TFormPort(QWidget* owner, const CardInUse& card);

    // Shows the dialog modally; the base when it has closed.
    uint16_t Execute();

    void ButtonOkClick();
    void ButtonCancelClick();

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* LabelAddress;
    QPushButton* ButtonOk;
    QPushButton* ButtonCancel;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    uint16_t PortBase = 0;
};

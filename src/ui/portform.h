#pragma once
// The first window: shows where the FM801 was found and returns its I/O
// port base, or 0 when it was not found or the user cancelled.
#include "hardware/cardinuse.h"
#include "hardware/registry.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QGroupBox;
class QLabel;
class QPushButton;

// The three informational lines for a detection result.
std::array<QString, 3> CardInformationTexts(const CardInUse& card, uint16_t portBase,
                                            const std::string& instance);
// "VI 801 Device found at 0xE800" or "VI 801 Device not found".
QString AddressText(uint16_t portBase);

class TFormPort : public QDialog {
public:
    // Runs the detection over view (by default the sysfs view of the PCI
    // devices) and tells about card; an error of the detection propagates.
    explicit TFormPort(QWidget* owner, const CardInUse& card = CardInUse{},
                       std::unique_ptr<RegistryAccessor> view = nullptr);

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

    // Escape and the window's close box: as Cancel.
    void reject() override;

private:
    void BuildForm();
    void ShowDetection(const CardInUse& card, std::unique_ptr<RegistryAccessor> view);

    uint16_t PortBase = 0;
};

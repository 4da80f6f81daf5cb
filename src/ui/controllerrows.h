#pragma once
// The twenty-two functions a MIDI controller can be bound to, in the order
// in which a controller number is looked up: each row's text in the
// controller dialog, its number at start, and where its value goes.
#include <array>
#include <cstdint>

class QWidget;
class TFormMain;
class TFrameOp;

struct ControllerRow {
    const char* key;   // the function's text in the dialog
    int defaultNumber; // -1: bound to no controller

    // Rows of the main window: the control, and the controller value 0..127
    // scaled to its position, check state (0 or 1) or item (items: its count).
    QWidget* (*control)(const TFormMain& form);
    int (*scale)(uint8_t value, int items);

    // Rows of the operators: the setter each CC-enabled frame runs instead.
    void (TFrameOp::*setter)(uint8_t value);
};

inline constexpr int kControllerRowCount = 22;
extern const std::array<ControllerRow, kControllerRowCount> ControllerRows;

#pragma once
// The twenty-two functions a MIDI controller can be bound to, in the order
// in which a controller number is looked up: each row's text in the
// controller dialog, its number at start, and what its value moves. No Qt.
#include "synth/operatorfields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// What a row moves. Voice rows move one setting of the patch or the
// output; operator rows move fields of every operator that follows
// controllers.
enum class CcTarget : uint8_t {
    Transpose,
    Volume,
    Pan,
    Feedback,
    Tuning1,
    OutputA,
    OutputB,
    Connection,
    TremoloDepth,
    VibratoDepth,
    Feedback2,
    Tuning2,
    OutputA2,
    OutputB2,
    OperatorWaveform,
    OperatorKeyScaling,
    OperatorTuning,
    OperatorAttack,
    OperatorDecay,
    OperatorSustain,
    OperatorRelease,
    OperatorVolume,
};

struct ControllerRow {
    const char* key;   // the function's text in the dialog
    int defaultNumber; // -1: bound to no controller
    CcTarget target;
};

inline constexpr int kControllerRowCount = 22;
extern const std::array<ControllerRow, kControllerRowCount> kControllerRows;

// A row's number is its value text when that is the plain decimal text of
// a number ("7"; not "07", "+7" or " 7"); any other text binds nothing.
inline constexpr int kUnbound = -1;
int ControllerNumberFromText(std::string_view text);

// Voice rows: the controller value scaled to the target's position, check
// state (0 or 1) or list item; items is the list's item count.
int ScaleForTarget(CcTarget target, uint8_t value, int items);

// Operator rows: the fields one row sets on an operator, in the order it
// sets them, with the values it gives them (before a bar clamps them).
struct FieldValue {
    size_t field;
    int value;
};
struct OperatorCcChange {
    std::array<FieldValue, 3> sets{};
    size_t count = 0;
};
bool IsOperatorTarget(CcTarget target);
OperatorCcChange OperatorChangeFromCc(CcTarget target, uint8_t value);

#pragma once
// The program's icon, drawn in code: the windows show it, and the icon tool
// writes it out in the sizes of the desktop's icon theme.
#include <QIcon>
#include <QImage>

// A square picture of size × size pixels.
QImage DrawProgramIcon(int size);
// The icon, drawn at the size and device pixel ratio asked for; it offers
// the sizes below to a window system.
QIcon ProgramIcon();

inline constexpr int kProgramIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

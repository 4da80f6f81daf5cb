#pragma once
// The program's icon, drawn in code: the windows show it, and the icon tool
// writes it out in the sizes of the desktop's icon theme.
#include <QIcon>
#include <QImage>

// A square picture of size × size pixels.
QImage DrawProgramIcon(int size);
// The icon in the sizes a desktop asks for.
QIcon ProgramIcon();

inline constexpr int kProgramIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

#include "render/progress.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

std::string FormatDuration(double seconds) {
    const long tenths = static_cast<long>(std::max(0.0, seconds) * 10);
    const long s = tenths / 10, minutes = s / 60, hours = minutes / 60;
    char text[40];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld.%ld", hours, minutes % 60, s % 60,
                      tenths % 10);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld.%ld", minutes, s % 60, tenths % 10);
    return text;
}

void ProgressBar::Show(double fraction) {
    const int permille = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000);
    if (!out_ || permille == shown_) return;
    shown_ = permille;
    const int filled = permille * kWidth / 1000;
    char percent[16];
    std::snprintf(percent, sizeof percent, "] %5.1f%%", permille / 10.0);
    *out_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
          << std::string(static_cast<size_t>(kWidth - filled), '-') << percent << std::flush;
}

void ProgressBar::Clear() {
    if (!out_ || shown_ < 0) return;
    *out_ << '\r' << std::string(kWidth + 10, ' ') << '\r' << std::flush;
    shown_ = -1;
}

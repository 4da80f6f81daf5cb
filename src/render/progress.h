#pragma once
// What the program prints about work that takes a while: a progress bar
// for a terminal, and durations as people read them.
#include <iosfwd>
#include <string>

// "0:02.5", "3:12.4", "1:02:03.0": tenths of a second, cut.
std::string FormatDuration(double seconds);

// A bar redrawn in place; written only when what it shows changes.
class ProgressBar {
public:
    static constexpr int kWidth = 40;

    explicit ProgressBar(std::ostream* out) : out_(out) {} // null: shows nothing
    void Show(double fraction);                            // clamped to 0..1
    void Clear();                                          // leaves the line empty

private:
    std::ostream* out_;
    int shown_ = -1; // per mille
};

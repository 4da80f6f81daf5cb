#pragma once
// `vi801 --list=FILE` and `vi801 --import=FILE [--prefix=TEXT]`: bank files
// of other programs, read with no window, no card and no display.
#include "app/commandline.h"

#include <filesystem>
#include <iosfwd>
#include <string>

// One line per instrument on out: its place in the file, its kind and its
// name as the file holds it (its number where the file gives none).
// Returns the exit status: 0, or 1 with the reason on err for a file that
// can't be read.
int RunList(const CommandLine& options, std::ostream& out, std::ostream& err,
            const std::string& program);

// Writes every instrument of options.import as a preset into the banks of
// root (2op/ and 4op/) and says what it did on out, and which presets it
// skipped because one of that name was there. Returns 0, or 1 with the
// reason on err when the file can't be read or a preset can't be written.
int RunImport(const CommandLine& options, const std::filesystem::path& root, std::ostream& out,
              std::ostream& err, const std::string& program);

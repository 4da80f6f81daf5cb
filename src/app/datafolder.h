#pragma once
// The folder the program runs in: the one holding the connection pictures
// (img/) and the preset banks (2op/, 4op/, 6op/), whose paths are relative.
//
// Started in a folder that has img/ (like data/), the program stays there.
// Otherwise, once installed, it runs in the user's own folder, made on the
// first run from the installed share folder and brought up to date by later
// ones: pictures follow the installed ones, starter presets the user has
// never had are added, and no preset file of the user's is ever replaced or
// brought back after the user deleted it.
#include <filesystem>
#include <string>

struct DataPlaces {
    std::filesystem::path start;  // the working directory at start
    std::filesystem::path shared; // the installed pictures and starter banks
    std::filesystem::path user;   // the user's own folder
};

struct DataFolder {
    std::filesystem::path path; // where to run
    std::string note;           // one line for the terminal; empty when all is well
};

// The places on this machine: shared beside the executable
// (<prefix>/bin/vi801 -> <prefix>/share/vi801; the build lays out
// <build>/share/vi801 beside <build>/src/vi801), user under $XDG_DATA_HOME;
// user is empty when neither HOME nor XDG_DATA_HOME names a folder.
DataPlaces DefaultDataPlaces();
std::filesystem::path UserDataHome(const char* xdgDataHome, const char* home);

// Decides, and makes or updates the user's folder where that is the choice.
// Without a user folder the shared one is used as it is: nothing is made.
DataFolder ChooseDataFolder(const DataPlaces& places);

// Copies what the user's folder lacks from shared (rules above), each file
// whole or not at all, and returns a note on what could not be done then.
// Raises std::filesystem::filesystem_error when the folder or its pictures
// can't be made.
std::string UpdateUserFolder(const std::filesystem::path& shared,
                             const std::filesystem::path& user);

// Chooses and changes into the folder; returns the note.
std::string EnterDataFolder();

#include "app/datafolder.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* const kBanks[] = {"2op", "4op", "6op"};
// The starter presets once offered to the user, one relative path a line:
// a starter the user deleted is not offered again.
const char* const kOfferedList = ".starters";

bool IsDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

std::set<std::string> ReadLines(const fs::path& path) {
    std::set<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        if (!line.empty()) lines.insert(line);
    return lines;
}

bool SameContent(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::file_size(a, error) != fs::file_size(b, error) || error) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    using Bytes = std::istreambuf_iterator<char>;
    return std::equal(Bytes(fa), Bytes(), Bytes(fb));
}

// The pictures are the program's own drawings: the installed ones win.
void UpdatePictures(const fs::path& shared, const fs::path& user) {
    fs::create_directories(user / "img");
    for (const fs::directory_entry& entry : fs::directory_iterator(shared / "img")) {
        const fs::path target = user / "img" / entry.path().filename();
        if (entry.is_regular_file() && !SameContent(entry.path(), target))
            fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
    }
}

void AddNewStarters(const fs::path& shared, const fs::path& user) {
    std::set<std::string> offered = ReadLines(user / kOfferedList);
    const size_t before = offered.size();
    for (const char* bank : kBanks) {
        fs::create_directories(user / bank);
        if (!IsDirectory(shared / bank)) continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(shared / bank)) {
            if (!entry.is_regular_file()) continue;
            const std::string name = std::string(bank) + "/" + entry.path().filename().string();
            if (!offered.insert(name).second) continue;
            fs::copy_file(entry.path(), user / name, fs::copy_options::skip_existing);
        }
    }
    if (offered.size() == before) return;
    std::ofstream list(user / kOfferedList, std::ios::trunc);
    for (const std::string& name : offered)
        list << name << "\n";
}
} // namespace

fs::path UserDataHome(const char* xdgDataHome, const char* home) {
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules say.
    if (xdgDataHome && fs::path(xdgDataHome).is_absolute()) return xdgDataHome;
    return fs::path(home ? home : "/") / ".local" / "share";
}

DataPlaces DefaultDataPlaces() {
    std::error_code error;
    DataPlaces places;
    places.start = fs::current_path(error);
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) places.shared = executable.parent_path().parent_path() / "share" / "vi801";
    places.user = UserDataHome(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")) / "vi801";
    return places;
}

void UpdateUserFolder(const fs::path& shared, const fs::path& user) {
    fs::create_directories(user);
    UpdatePictures(shared, user);
    AddNewStarters(shared, user);
}

DataFolder ChooseDataFolder(const DataPlaces& places) {
    if (IsDirectory(places.start / "img")) return {places.start, {}};
    if (!places.shared.empty() && IsDirectory(places.shared / "img")) {
        try {
            UpdateUserFolder(places.shared, places.user);
            return {places.user, {}};
        } catch (const fs::filesystem_error& error) {
            return {places.shared, "can't set up " + places.user.string() + " (" +
                                       error.code().message() + "): running in " +
                                       places.shared.string() + ", where presets can't be saved"};
        }
    }
    std::string where = places.start.string();
    if (!places.shared.empty()) where += " and in " + places.shared.string();
    return {places.start,
            "no img/ here: the pictures and preset banks were looked for in " + where +
                "; start VI 801 in data/ or with README's run command (bash scripts/run.sh)"};
}

std::string EnterDataFolder() {
    const DataFolder folder = ChooseDataFolder(DefaultDataPlaces());
    std::error_code error;
    if (!folder.path.empty()) fs::current_path(folder.path, error);
    if (error) return "can't enter " + folder.path.string() + ": " + error.message();
    return folder.note;
}

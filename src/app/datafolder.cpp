#include "app/datafolder.h"

#include "files/outputfile.h"
#include "presets/presetfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
const auto& kBanks = kBankNames;
// The starter presets once offered to the user, one relative path a line:
// a starter the user deleted is not offered again.
const char* const kOfferedList = ".starters";
// Named as a save names its temporaries, so that what a kill leaves of a
// copy goes as theirs does.
const char* const kPresetTemporary = ".preset-";

bool IsDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

std::string Why(int error) {
    return std::strerror(error);
}

// 0 or errno (ENOENT: no such file).
int ReadBytes(const fs::path& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    bytes.clear();
    char block[8192];
    int error = 0;
    for (ssize_t n; (n = ::read(fd, block, sizeof block)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        bytes.append(block, static_cast<size_t>(n));
    }
    ::close(fd);
    return error;
}

// Whole or not at all: what was under the name stays until the new file is complete.
int WriteReplacing(const fs::path& target, const std::string& bytes, const std::string& prefix) {
    OutputFile out;
    OutputFile::Options options;
    options.temporaryPrefix = prefix;
    options.temporarySuffix = prefix.empty() ? ".part" : "";
    int error = out.Open(target.string(), options);
    if (!error) error = out.Write(bytes.data(), bytes.size());
    if (!error) error = out.Close();
    if (!error) error = out.Publish();
    return error;
}

int CopyReplacing(const fs::path& source, const fs::path& target, const std::string& prefix) {
    std::string bytes;
    const int error = ReadBytes(source, bytes);
    return error ? error : WriteReplacing(target, bytes, prefix);
}

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.insert(line);
    return lines;
}

bool SameContent(const fs::path& a, const fs::path& b) {
    std::string bytesA, bytesB;
    return ReadBytes(a, bytesA) == 0 && ReadBytes(b, bytesB) == 0 && bytesA == bytesB;
}

// What a copy that the disk cut short left under a starter's name: the
// starter's first bytes, fewer than all.
bool IsCutShortCopy(const fs::path& copy, const fs::path& starter) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(copy, error))) return false;
    std::string copied, whole;
    return ReadBytes(copy, copied) == 0 && ReadBytes(starter, whole) == 0 &&
           copied.size() < whole.size() && whole.compare(0, copied.size(), copied) == 0;
}

// The pictures are the program's own drawings: the installed ones win.
void UpdatePictures(const fs::path& shared, const fs::path& user) {
    fs::create_directories(user / "img");
    for (const fs::directory_entry& entry : fs::directory_iterator(shared / "img")) {
        const fs::path target = user / "img" / entry.path().filename();
        if (!entry.is_regular_file() || SameContent(entry.path(), target)) continue;
        if (const int error = CopyReplacing(entry.path(), target, {}))
            throw fs::filesystem_error("can't copy", entry.path(), target,
                                       std::error_code(error, std::generic_category()));
    }
}

struct Offer {
    std::set<std::string> offered; // as the list holds them, with the new ones
    std::vector<fs::path> added;   // copied now
    bool changed = false;
    std::string note;
};

// A starter the list does not hold is copied, unless the user has a preset
// of that name (then it counts as offered). A copy that failed is offered
// again on a later run, and one a full disk cut short then repaired.
void OfferStarter(const fs::path& starter, const std::string& name, const fs::path& user,
                  Offer& offer) {
    if (offer.offered.count(name)) return;
    const fs::path target = user / name;
    std::error_code error;
    if (fs::exists(fs::symlink_status(target, error)) && !IsCutShortCopy(target, starter)) {
        offer.offered.insert(name);
        offer.changed = true;
        return;
    }
    if (const int failed = CopyReplacing(starter, target, kPresetTemporary)) {
        if (offer.note.empty())
            offer.note = "can't copy the starter preset " + name + " into " + user.string() + " (" +
                         Why(failed) + "); it comes on a later run";
        return;
    }
    offer.offered.insert(name);
    offer.added.push_back(target);
    offer.changed = true;
}

// Returns a note for the terminal, empty when all went well.
std::string AddNewStarters(const fs::path& shared, const fs::path& user) {
    const fs::path list = user / kOfferedList;
    std::string text;
    if (const int error = ReadBytes(list, text); error != 0 && error != ENOENT)
        return "can't read " + list.string() + " (" + Why(error) + "): no starter presets added";
    Offer offer;
    offer.offered = Lines(text);
    for (const char* bank : kBanks) {
        fs::create_directories(user / bank);
        if (!IsDirectory(shared / bank)) continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(shared / bank))
            if (entry.is_regular_file())
                OfferStarter(entry.path(),
                             std::string(bank) + "/" + entry.path().filename().string(), user,
                             offer);
    }
    if (!offer.changed) return offer.note;
    text.clear();
    for (const std::string& name : offer.offered)
        text += name + "\n";
    if (const int error = WriteReplacing(list, text, {})) {
        // Unlisted, a starter the user deletes would come back: the new ones go again.
        std::error_code ignored;
        for (const fs::path& added : offer.added)
            fs::remove(added, ignored);
        return "can't write " + list.string() + " (" + Why(error) +
               "): the new starter presets are left out until it can be written";
    }
    return offer.note;
}
} // namespace

fs::path UserDataHome(const char* xdgDataHome, const char* home) {
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules say.
    if (xdgDataHome && fs::path(xdgDataHome).is_absolute()) return xdgDataHome;
    if (home && fs::path(home).is_absolute()) return fs::path(home) / ".local" / "share";
    return {};
}

DataPlaces DefaultDataPlaces() {
    std::error_code error;
    DataPlaces places;
    places.start = fs::current_path(error);
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) places.shared = executable.parent_path().parent_path() / "share" / "vi801";
    const fs::path home = UserDataHome(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (!home.empty()) places.user = home / "vi801";
    return places;
}

std::string UpdateUserFolder(const fs::path& shared, const fs::path& user) {
    fs::create_directories(user);
    UpdatePictures(shared, user);
    return AddNewStarters(shared, user);
}

DataFolder ChooseDataFolder(const DataPlaces& places) {
    if (IsDirectory(places.start / "img")) return {places.start, {}};
    if (!places.shared.empty() && IsDirectory(places.shared / "img")) {
        if (places.user.empty())
            return {places.shared, "HOME is not set, nor XDG_DATA_HOME: running in " +
                                       places.shared.string() + ", where presets can't be saved"};
        try {
            std::string note = UpdateUserFolder(places.shared, places.user);
            return {places.user, std::move(note)};
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

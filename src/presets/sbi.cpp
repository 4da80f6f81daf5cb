#include "presets/sbi.h"

#include "files/outputfile.h"
#include "presets/presetfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::string_view kExtension = ".sbi";
constexpr const char* kDefaultName = "Default";
constexpr std::string_view kRefusedCharacters = "/\\<>:\"|?*";
constexpr mode_t kPresetMode = 0644; // others may read a saved preset
// A save writes ".preset-" and six letters or digits beside the preset. One
// that a kill cut short is removed later, once surely no save of a
// running program: a minute old.
constexpr std::string_view kTemporaryPrefix = ".preset-";
constexpr size_t kTemporaryLetters = 6;
constexpr auto kStrayAge = std::chrono::minutes(1);

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Without regard to case; names differing only in case keep a fixed order.
bool NameBefore(const std::string& a, const std::string& b) {
    const auto lower = [](char x, char y) { return LowerAscii(x) < LowerAscii(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lower)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lower)) return false;
    return a < b;
}

// The preset a directory entry holds, or an empty name when it holds none.
std::string PresetNameOf(const std::filesystem::directory_entry& entry) {
    const std::string file = entry.path().filename().string();
    if (file.size() <= kExtension.size() || !file.ends_with(kExtension)) return {};
    std::error_code error;
    if (!entry.is_regular_file(error)) return {}; // follows links, as opening does
    std::string name = file.substr(0, file.size() - kExtension.size());
    if (name == kDefaultName || !StaysInBank(name)) return {};
    return name;
}

bool IsSaveTemporary(std::string_view file) {
    if (file.size() != kTemporaryPrefix.size() + kTemporaryLetters ||
        !file.starts_with(kTemporaryPrefix))
        return false;
    return std::all_of(file.begin() + kTemporaryPrefix.size(), file.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

void RemoveIfStray(const std::filesystem::directory_entry& entry) {
    if (!IsSaveTemporary(entry.path().filename().string())) return;
    std::error_code error;
    if (entry.symlink_status(error).type() != std::filesystem::file_type::regular) return;
    const auto written = std::filesystem::last_write_time(entry.path(), error);
    if (!error && std::filesystem::file_time_type::clock::now() - written > kStrayAge)
        std::filesystem::remove(entry.path(), error);
}

void RemoveStrayTemporaries(const std::filesystem::path& bank) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(bank, error), end; !error && it != end;
         it.increment(error))
        RemoveIfStray(*it);
}

// Reads at most one byte more than the largest preset, so a larger file is
// known without reading it whole.
bool ReadSmallFile(int fd, std::vector<uint8_t>& bytes) {
    std::array<uint8_t, kMaxPresetFileSize + 1> buffer{};
    size_t total = 0;
    while (total < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + total, buffer.size() - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    if (total > kMaxPresetFileSize) return false;
    bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
    return true;
}

} // namespace

bool StaysInBank(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

bool IsBlankPresetName(std::string_view name) {
    return std::all_of(name.begin(), name.end(), [](char c) { return c == ' '; });
}

std::string PresetNameRefusal(std::string_view name) {
    if (IsBlankPresetName(name)) return "You must supply a name for the preset";
    if (name == "." || name == "..") return "A preset can't be named \"" + std::string(name) + "\"";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return "A preset name can't hold control characters";
        if (kRefusedCharacters.find(c) != std::string_view::npos)
            return std::string("The character '") + c + "' is not allowed in a preset name";
    }
    return {};
}

bool IsValidPresetName(std::string_view name) {
    return PresetNameRefusal(name).empty();
}

PresetFileCalls PresetFileCalls::System() {
    return {[](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
            [](int fd) { return ::close(fd); }};
}

SBI::SBI(std::filesystem::path root, PresetFileCalls calls)
    : Root(std::move(root)), Calls(std::move(calls)) {}

std::filesystem::path SBI::PresetPath(const std::string& name) const {
    return Root / Directory / (name + std::string(kExtension));
}

const std::vector<std::string>& SBI::GetPresetList(const std::string& bank) {
    Names.clear();
    Directory = bank;
    std::error_code error;
    for (std::filesystem::directory_iterator it(Root / bank, error), end; !error && it != end;
         it.increment(error)) {
        RemoveIfStray(*it);
        std::string name = PresetNameOf(*it);
        if (!name.empty()) Names.push_back(std::move(name));
    }
    if (Names.empty()) Names.push_back(kDefaultName);
    std::sort(Names.begin(), Names.end(), NameBefore);
    return Names;
}

bool SBI::ReadPreset(const std::string& name, std::vector<uint8_t>& bytes) const {
    if (!StaysInBank(name)) return false;
    // Non-blocking, so a pipe of that name can't hold the program up.
    const int fd = ::open(PresetPath(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    const bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ReadSmallFile(fd, bytes);
    ::close(fd);
    return read;
}

bool SBI::LoadPreset(const std::string& name, SynthPatch& patch, PatchSettings& settings) {
    std::vector<uint8_t> bytes;
    return ReadPreset(name, bytes) && DecodePreset(bytes, patch, settings);
}

// 0, or why the bytes did not all go.
int SBI::WriteAll(int fd, const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const ssize_t n = Calls.Write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return errno ? errno : ENOSPC; // nothing taken: the disk is full
        done += static_cast<size_t>(n);
    }
    return 0;
}

std::string SBI::SystemFailure(int error) const {
    const std::string folder = (Root / Directory).string();
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "The folder " + folder + " does not exist";
    case EACCES:
    case EPERM:
    case EROFS:
        return "The folder " + folder + " is not writable";
    case ENOSPC:
    case EDQUOT:
        return "The disk is full";
    case ENAMETOOLONG:
        return "The name is too long for the file system";
    default:
        return std::strerror(error);
    }
}

bool SBI::SavePreset(const std::string& name, const SynthPatch& patch,
                     const PatchSettings& settings) {
    const auto kind = KindOfBank(Directory);
    SaveFailure = kind ? PresetNameRefusal(name) : "There is no bank named " + Directory;
    if (!SaveFailure.empty()) return false;
    RemoveStrayTemporaries(Root / Directory);
    // The new file is written beside the old one and renamed over it once
    // complete, so an interrupted save leaves the old preset whole.
    OutputFile out;
    OutputFile::Options options;
    options.temporaryPrefix = kTemporaryPrefix;
    options.mode = kPresetMode;
    int error = out.Open(PresetPath(name).string(), options);
    if (!error) error = WriteAll(out.Fd(), EncodePreset(*kind, name, patch, settings));
    if (!error) error = out.Close(Calls.Close);
    if (!error) error = out.Publish();
    if (!error) return true;
    out.Abandon();
    SaveFailure = SystemFailure(error);
    return false;
}

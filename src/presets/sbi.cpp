#include "presets/sbi.h"

#include "presets/presetfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
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
constexpr char kTemporaryTemplate[] = ".preset-XXXXXX";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The preset a directory entry holds, or an empty name when it holds none.
std::string PresetNameOf(const std::filesystem::directory_entry& entry) {
    const std::string file = entry.path().filename().string();
    if (file.size() <= kExtension.size() || !file.ends_with(kExtension)) return {};
    std::error_code error;
    if (!entry.is_regular_file(error)) return {}; // follows links, as opening does
    std::string name = file.substr(0, file.size() - kExtension.size());
    if (name == kDefaultName || !IsValidPresetName(name)) return {};
    return name;
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

// Makes a finished rename last through a power cut; a failure here loses
// nothing that was there before, so it is not reported.
void SyncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

// Names differing only in case keep a fixed order.
bool PresetNameBefore(const std::string& a, const std::string& b) {
    const auto lower = [](char x, char y) { return LowerAscii(x) < LowerAscii(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lower)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lower)) return false;
    return a < b;
}

bool IsValidPresetName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || kRefusedCharacters.find(c) != std::string_view::npos;
    });
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
        std::string name = PresetNameOf(*it);
        if (!name.empty()) Names.push_back(std::move(name));
    }
    if (Names.empty()) Names.push_back(kDefaultName);
    std::sort(Names.begin(), Names.end(), PresetNameBefore);
    return Names;
}

bool SBI::ReadPreset(const std::string& name, std::vector<uint8_t>& bytes) const {
    if (!IsValidPresetName(name)) return false;
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

bool SBI::WriteAll(int fd, const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = Calls.Write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool SBI::SavePreset(const std::string& name, const SynthPatch& patch,
                     const PatchSettings& settings) {
    const auto kind = KindOfBank(Directory);
    if (!kind || !IsValidPresetName(name)) return false;
    const std::filesystem::path target = PresetPath(name);
    // The new file is written beside the old one and renamed over it once
    // complete, so an interrupted save leaves the old preset whole.
    std::string temporary = (target.parent_path() / kTemporaryTemplate).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::fchmod(fd, kPresetMode) == 0 &&
                         WriteAll(fd, EncodePreset(*kind, name, patch, settings)) &&
                         ::fsync(fd) == 0;
    const bool closed = Calls.Close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(target.parent_path());
    return true;
}

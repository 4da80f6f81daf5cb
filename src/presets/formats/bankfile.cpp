#include "presets/formats/bankfile.h"

#include "error.h"
#include "presets/formats/bnk.h"
#include "presets/formats/ibk.h"
#include "presets/formats/op2.h"
#include "presets/formats/sbibank.h"
#include "presets/formats/tmb.h"
#include "presets/formats/wopl.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::span<const uint8_t>;

struct Format {
    const char* name;
    bool (*recognise)(Bytes);
    std::vector<BankInstrument> (*read)(Bytes);
};

// Magics first; TMB, known by its size alone, last.
constexpr std::array<Format, 7> kFormats = {{
    {"WOPL", IsWopl, ReadWopl},
    {"OPLI", IsOpli, ReadOpli},
    {"OP2", IsOp2, ReadOp2},
    {"IBK", IsIbk, ReadIbk},
    {"BNK", IsBnk, ReadBnk},
    {"SBI", IsSbi, ReadSbi},
    {"TMB", IsTmb, ReadTmb},
}};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string SystemError() {
    return std::strerror(errno);
}

// Reads one byte past the limit at most, so a larger file is known unread.
std::vector<uint8_t> ReadAll(int fd) {
    std::vector<uint8_t> bytes;
    std::array<uint8_t, 65536> buffer{};
    while (bytes.size() <= kMaxBankFileSize) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Error("can't read it: " + SystemError());
        if (n == 0) return bytes;
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
    }
    throw Error("larger than " + std::to_string(kMaxBankFileSize >> 20) + " MiB: no bank is");
}

std::vector<uint8_t> ReadRegularFile(const std::filesystem::path& path) {
    // Non-blocking, so a pipe of that name can't hold the program up.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) throw Error("can't open it: " + SystemError());
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw Error("can't read it: " + SystemError());
    if (!S_ISREG(info.st_mode)) throw Error("not a regular file");
    return ReadAll(fd.get());
}

} // namespace

std::string BankFormatNames() {
    std::string names;
    for (const Format& f : kFormats)
        names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

BankFile ParseBankFile(std::span<const uint8_t> bytes, const std::string& file) {
    for (const Format& f : kFormats) {
        if (!f.recognise(bytes)) continue;
        BankFile bank{f.name, f.read(bytes)};
        for (BankInstrument& i : bank.Instruments)
            i.File = file;
        return bank;
    }
    if (bytes.empty()) throw Error("empty");
    throw Error("not a bank of a format this program reads (" + BankFormatNames() + ")");
}

BankFile ReadBankFile(const std::filesystem::path& path) {
    try {
        return ParseBankFile(ReadRegularFile(path), path.string());
    } catch (const Error& error) {
        throw Error(path.string() + ": " + error.what());
    }
}

BankLibrary ReadBankFolder(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file(error)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    BankLibrary library;
    for (const std::filesystem::path& file : files) {
        try {
            library.Banks.push_back(ReadBankFile(file));
        } catch (const Error& e) {
            library.Refused.push_back(e.what());
        }
    }
    return library;
}

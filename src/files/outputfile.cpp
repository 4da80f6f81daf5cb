#include "files/outputfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int kMostLinks = 40;
constexpr int kMostTries = 100;

// What mkstemp would use, so that a temporary's name is recognisable.
std::string RandomWord() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string word(6, ' ');
    for (char& c : word)
        c = kLetters[random() % (sizeof kLetters - 1)];
    return word;
}

// The folder part with its slash ("" for a bare name), and the name.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Makes a finished rename last through a power cut; a failure here loses
// nothing that was there before, so it is not reported.
void SyncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// An unnamed file that vanishes with its last descriptor.
int OpenSpool() {
    const char* dir = std::getenv("TMPDIR");
    const std::string folder = dir && *dir ? dir : "/tmp";
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR)) return fd;
    std::string name = folder + "/vi801-spool-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(name.c_str());
    return named;
}

} // namespace

int FollowLinks(const std::string& path, std::string& resolved) {
    std::string at = path;
    for (int hops = 0; hops <= kMostLinks; ++hops) {
        struct stat info {};
        if (::lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            resolved = at;
            return 0;
        }
        char link[PATH_MAX];
        const ssize_t n = ::readlink(at.c_str(), link, sizeof link);
        if (n < 0) return errno;
        if (static_cast<size_t>(n) == sizeof link) return ENAMETOOLONG;
        const std::string target(link, static_cast<size_t>(n));
        at = target.front() == '/' ? target : SplitPath(at).first + target;
    }
    return ELOOP;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return FileIdentity{info.st_dev, info.st_ino, {}, S_ISCHR(info.st_mode)};
    std::string resolved;
    if (FollowLinks(path, resolved) != 0) return std::nullopt;
    const auto [folder, name] = SplitPath(resolved);
    if (::stat(folder.empty() ? "." : folder.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino, name, false};
}

OutputFile::~OutputFile() {
    Abandon();
}

int OutputFile::Open(const std::string& path, const Options& options) {
    Abandon();
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return EISDIR;
        if (!S_ISREG(info.st_mode)) return OpenDirect(path, false, options);
        if (options.inPlace) return OpenDirect(path, true, options);
        std::string resolved;
        if (const int error = FollowLinks(path, resolved)) return error;
        struct stat there {};
        // A link that names no path (/proc/self/fd/1 of a deleted file) is
        // only followed by opening it.
        if (::lstat(resolved.c_str(), &there) != 0 || there.st_dev != info.st_dev ||
            there.st_ino != info.st_ino)
            return OpenDirect(path, true, options);
        return OpenBeside(resolved, &info, options);
    }
    if (errno != ENOENT) return errno;
    if (options.inPlace) return OpenDirect(path, true, options);
    std::string resolved;
    if (const int error = FollowLinks(path, resolved)) return error;
    return OpenBeside(resolved, nullptr, options);
}

int OutputFile::OpenDirect(const std::string& path, bool regular, const Options& options) {
    const int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | (regular ? O_CREAT | O_TRUNC : 0);
    fd_ = ::open(path.c_str(), flags, options.mode);
    if (fd_ < 0) return errno;
    target_ = path;
    if (!options.seekable || ::lseek(fd_, 0, SEEK_CUR) >= 0) return 0;
    sink_ = fd_;
    fd_ = OpenSpool();
    if (fd_ >= 0) return 0;
    const int error = errno;
    Abandon();
    return error;
}

int OutputFile::OpenBeside(const std::string& target, const struct stat* existing,
                           const Options& options) {
    const auto [folder, name] = SplitPath(target);
    const std::string prefix =
        folder + (options.temporaryPrefix.empty() ? name + "." : options.temporaryPrefix);
    for (int tries = 0; fd_ < 0; ++tries) {
        temporary_ = prefix + RandomWord() + options.temporarySuffix;
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, options.mode);
        if (fd_ < 0 && (errno != EEXIST || tries == kMostTries)) {
            const int error = errno;
            temporary_.clear();
            return error;
        }
    }
    target_ = target;
    if (existing) {
        // The owner first: changing it clears set-id bits that the mode then restores.
        if (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid())
            static_cast<void>(::fchown(fd_, existing->st_uid, existing->st_gid));
        if (::fchmod(fd_, existing->st_mode & 07777) != 0) {
            const int error = errno;
            Abandon();
            return error;
        }
    }
    return 0;
}

int OutputFile::CopySpool() {
    char block[65536];
    if (::lseek(fd_, 0, SEEK_SET) != 0) return errno;
    for (;;) {
        const ssize_t n = ::read(fd_, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        if (const int error = WriteAll(sink_, block, static_cast<size_t>(n))) return error;
    }
}

int OutputFile::Write(const void* data, size_t size) {
    return fd_ < 0 ? EBADF : WriteAll(fd_, static_cast<const char*>(data), size);
}

int OutputFile::Close(const std::function<int(int)>& close) {
    if (fd_ < 0) return EBADF;
    int error = 0;
    if (sink_ >= 0) {
        error = CopySpool();
        if (::close(sink_) != 0 && !error) error = errno;
        sink_ = -1;
    } else if (!temporary_.empty() && ::fsync(fd_) != 0) {
        error = errno;
    }
    const int fd = fd_;
    fd_ = -1;
    if ((close ? close(fd) : ::close(fd)) != 0 && !error) error = errno;
    return error;
}

int OutputFile::Publish() {
    if (temporary_.empty()) return 0;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return errno;
    temporary_.clear();
    SyncFolder(SplitPath(target_).first);
    return 0;
}

void OutputFile::Abandon() {
    if (fd_ >= 0) ::close(fd_);
    if (sink_ >= 0) ::close(sink_);
    fd_ = sink_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

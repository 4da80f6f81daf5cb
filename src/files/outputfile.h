#pragma once
// How every file the program writes reaches its name. A name that is free or
// holds a regular file gets a new file beside it, renamed over it once
// complete: a failure leaves what was there whole. A symbolic link is
// followed, so the file it points at is replaced and the link stays; a
// replaced file keeps its permission bits and, where allowed, its owner. An
// existing device, FIFO or socket is never replaced: it is opened and
// written as it is, so /dev/null stays a device.
//
// Errors are errno values (0 for none); callers word them.
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

class OutputFile {
public:
    struct Options {
        // The new file is named prefix + six letters or digits + suffix; an
        // empty prefix is the target's own name and a dot.
        std::string temporaryPrefix;
        std::string temporarySuffix;
        mode_t mode = 0666; // of a file that did not exist, less the umask
        // Written where it stands (truncated), not beside it: for a log that
        // must be whole however the program ends.
        bool inPlace = false;
        // The writer seeks back (a WAV header): a target that can't seek, a
        // pipe or a terminal, is given a spool file instead, copied at Close.
        bool seekable = false;
    };

    OutputFile() = default;
    ~OutputFile(); // abandons what was not published
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int Open(const std::string& path, const Options& options);
    int Fd() const { return fd_; }
    // Writes all of it, or says why not (a write that takes nothing: ENOSPC).
    int Write(const void* data, size_t size);
    // Empty when the target is written directly.
    const std::string& TemporaryPath() const { return temporary_; }

    // Makes the bytes durable and closes the file; close stands in for
    // ::close (tests make it fail). The temporary stays until Publish or
    // Abandon.
    int Close(const std::function<int(int)>& close = {});
    // The temporary takes the target's name.
    int Publish();
    // Closes and removes the temporary: the target is as it was.
    void Abandon();
    // Leaves the temporary where it is, for the caller to name.
    void Keep() { temporary_.clear(); }

private:
    int OpenDirect(const std::string& path, bool regular, const Options& options);
    int OpenBeside(const std::string& target, const struct stat* existing, const Options& options);
    int CopySpool();

    int fd_ = -1;
    int sink_ = -1; // the target itself, when fd_ is a spool standing in for it
    std::string target_, temporary_;
};

// What names one file however it is spelled: its device and inode, or for a
// name still free the folder's and the name in it. Links are followed.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name; // empty for a file that exists
    bool characterDevice = false;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && name == other.name;
    }
};

// Nothing when even the folder is missing: no file can be made there.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Where a name's symbolic links lead, followed as the kernel would, as far as
// names go: errno (ELOOP) for a ring of links.
int FollowLinks(const std::string& path, std::string& resolved);

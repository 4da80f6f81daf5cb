#include "render/wavwriter.h"

#include "error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string RandomWord() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::string word(6, ' ');
    for (char& c : word)
        c = kLetters[random() % (sizeof kLetters - 1)];
    return word;
}
} // namespace

WavWriter::WavWriter(const std::string& path, unsigned rate) : path_(path), rate_(rate) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw Error(path + ": " + std::strerror(EISDIR));
    // Beside the target, so that the last step is a rename within one file system.
    for (int tries = 0; fd_ < 0; ++tries) {
        partial_ = path + "." + RandomWord() + ".part";
        fd_ = open(partial_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || tries == 100)) {
            const int error = errno;
            partial_.clear();
            throw Error(path + ": " + std::strerror(error));
        }
    }
    SF_INFO format{};
    format.samplerate = static_cast<int>(rate);
    format.channels = 2;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    file_ = sf_open_fd(fd_, SFM_WRITE, &format, SF_FALSE);
    if (!file_) {
        const std::string why = sf_strerror(nullptr);
        Discard();
        throw Error(path + ": " + why);
    }
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

WavWriter::~WavWriter() {
    Discard();
}

void WavWriter::Write(const float* interleavedStereo, size_t frames) {
    if (frames > kMaxFrames - frames_)
        throw Error(path_ + ": longer than a WAV file holds (4 GiB)");
    errno = 0;
    const sf_count_t n = static_cast<sf_count_t>(frames);
    if (sf_writef_float(file_, interleavedStereo, n) != n) Fail(sf_strerror(file_));
    frames_ += frames;
}

void WavWriter::UpdateHeader() {
    sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
}

void WavWriter::Finish() {
    errno = 0;
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) Fail(sf_error_number(closed));
    if (fsync(fd_) != 0 || close(fd_) != 0) {
        fd_ = -1;
        Fail(std::strerror(errno));
    }
    fd_ = -1;
    if (std::rename(partial_.c_str(), path_.c_str()) != 0) {
        // The audio is complete: it stays where it is, and the error says where.
        const int error = errno;
        const std::string kept = partial_;
        partial_.clear();
        throw Error(path_ + ": " + std::strerror(error) + "; the audio is in " + kept);
    }
    partial_.clear();
}

void WavWriter::Fail(const std::string& why) {
    // libsndfile says "System error." when the system refused; errno says what.
    const std::string text =
        errno != 0 && why.find("ystem error") != std::string::npos ? std::strerror(errno) : why;
    if (!file_) Discard(); // failed at the end: nothing to keep
    throw Error(path_ + ": " + text);
}

void WavWriter::Discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!partial_.empty()) unlink(partial_.c_str());
    partial_.clear();
}

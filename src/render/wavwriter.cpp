#include "render/wavwriter.h"

#include "error.h"

#include <cerrno>
#include <cstring>
#include <sndfile.h>

WavWriter::WavWriter(const std::string& path, unsigned rate) : path_(path), rate_(rate) {
    OutputFile::Options options;
    options.temporarySuffix = ".part";
    options.seekable = true; // the header is written again at the end
    if (const int error = out_.Open(path, options)) throw Error(path + ": " + std::strerror(error));
    partial_ = out_.TemporaryPath();
    SF_INFO format{};
    format.samplerate = static_cast<int>(rate);
    format.channels = 2;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    file_ = sf_open_fd(out_.Fd(), SFM_WRITE, &format, SF_FALSE);
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
    if (const int error = out_.Close()) {
        errno = error;
        Fail(std::strerror(error));
    }
    if (const int error = out_.Publish()) {
        // The audio is complete: it stays where it is, and the error says where.
        const std::string kept = partial_;
        out_.Keep();
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
    out_.Abandon();
    partial_.clear();
}

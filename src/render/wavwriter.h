#pragma once
// A WAV file of stereo 24-bit PCM that appears under its name only when it is
// complete: the frames go into a new file beside it, which takes the name
// in one rename at Finish. A writer that is destroyed unfinished removes
// its file, so a failure never leaves half a file under the name, nor
// touches a file that was there before. A device or a pipe named is written
// as it is (a pipe gets the whole file at Finish, header and all).
#include "files/outputfile.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct sf_private_tag;

class WavWriter {
public:
    // Frames a WAV file holds at most: its sizes are 32 bits.
    static constexpr uint64_t kMaxFrames = (0xFFFFFFFFull - 1024) / 6;

    // Raises an Error naming the file when it can't be created.
    WavWriter(const std::string& path, unsigned rate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Samples beyond +-1 are clipped. Raises an Error when the disk refuses
    // them or the file would pass what a WAV file holds; what was written
    // before stays, and Finish still keeps it.
    void Write(const float* interleavedStereo, size_t frames);
    // Brings the header up to date, so that the file so far stays readable
    // should the program die before Finish.
    void UpdateHeader();
    // Closes the file and gives it its name. Raises an Error when that
    // fails: the partial file is gone then, unless only the rename failed.
    void Finish();

    uint64_t Frames() const { return frames_; }
    unsigned Rate() const { return rate_; }
    const std::string& Path() const { return path_; }
    // Empty when the output is a device or a pipe, written as it is.
    const std::string& PartialPath() const { return partial_; }

private:
    [[noreturn]] void Fail(const std::string& why);
    void Discard();

    std::string path_, partial_;
    unsigned rate_;
    OutputFile out_;
    sf_private_tag* file_ = nullptr;
    uint64_t frames_ = 0;
};

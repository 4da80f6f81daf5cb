#pragma once
// Writes standard MIDI files for tests: tracks of events given as delta
// time and the bytes that follow it, exactly as they go into the file (so
// running status is written by leaving the status byte out).
#include <cstdint>
#include <initializer_list>
#include <vector>

class SmfBuilder {
public:
    explicit SmfBuilder(uint16_t format = 1, uint16_t division = 480)
        : format_(format), division_(division) {}

    SmfBuilder& Track() {
        tracks_.emplace_back();
        return *this;
    }
    SmfBuilder& Event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        VariableLength(delta);
        tracks_.back().insert(tracks_.back().end(), bytes);
        return *this;
    }
    SmfBuilder& Tempo(uint32_t delta, uint32_t microsPerQuarter) {
        return Event(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(microsPerQuarter >> 16),
                             static_cast<uint8_t>(microsPerQuarter >> 8),
                             static_cast<uint8_t>(microsPerQuarter)});
    }
    SmfBuilder& EndOfTrack(uint32_t delta = 0) { return Event(delta, {0xFF, 0x2F, 0x00}); }

    std::vector<uint8_t> Bytes() const { return File(format_, division_, tracks_); }
    const std::vector<std::vector<uint8_t>>& Tracks() const { return tracks_; }

    // A file around track bodies as they are, each chunk's length set to its body's.
    static std::vector<uint8_t> File(uint16_t format, uint16_t division,
                                     const std::vector<std::vector<uint8_t>>& tracks) {
        std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
        Put16(file, format);
        Put16(file, static_cast<uint16_t>(tracks.size()));
        Put16(file, division);
        for (const auto& track : tracks) {
            file.insert(file.end(), {'M', 'T', 'r', 'k'});
            Put16(file, static_cast<uint16_t>(track.size() >> 16));
            Put16(file, static_cast<uint16_t>(track.size()));
            file.insert(file.end(), track.begin(), track.end());
        }
        return file;
    }

private:
    void VariableLength(uint32_t value) {
        uint8_t groups[4];
        int n = 0;
        do {
            groups[n++] = value & 0x7F;
            value >>= 7;
        } while (value && n < 4);
        for (int i = n - 1; i >= 0; --i)
            tracks_.back().push_back(static_cast<uint8_t>(groups[i] | (i ? 0x80 : 0)));
    }
    static void Put16(std::vector<uint8_t>& out, uint16_t v) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    }

    uint16_t format_, division_;
    std::vector<std::vector<uint8_t>> tracks_;
};

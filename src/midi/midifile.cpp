#include "midi/midifile.h"

#include "error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr uint32_t kDefaultTempo = 500000; // microseconds per quarter note: 120 beats a minute
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr uint8_t kTempo = 0x51;

struct TickedMessage {
    uint64_t Tick;
    ShortMessage Message;
};

struct TempoChange {
    uint64_t Tick;
    uint32_t MicrosPerQuarter;
};

uint32_t BigEndian(std::span<const uint8_t> bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[at + static_cast<size_t>(i)];
    return value;
}

std::string Hex(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// The events of one MTrk chunk.
class TrackReader {
public:
    TrackReader(std::span<const uint8_t> bytes, int number) : bytes_(bytes), number_(number) {}

    void Read(std::vector<TickedMessage>& messages, std::vector<TempoChange>& tempos) {
        uint64_t tick = 0; // 64 bits: delta times of up to 2^28 ticks add up past 32
        uint8_t running = 0;
        while (at_ < bytes_.size()) {
            tick += VariableLength();
            uint8_t status = Byte();
            if (status < 0x80) {
                if (running == 0) Corrupt("data byte " + Hex(status) + " without a status byte");
                status = running;
                --at_;
            }
            if (status < 0xF0) {
                messages.push_back({tick, ChannelMessage(status)});
                running = status;
                continue;
            }
            running = 0; // system exclusive and meta events end running status
            if (status == 0xF0 || status == 0xF7) {
                Take(VariableLength());
                continue;
            }
            if (status != 0xFF) Corrupt("unexpected status byte " + Hex(status));
            const uint8_t type = Byte();
            const std::span<const uint8_t> data = Take(VariableLength());
            if (type == kEndOfTrack) return; // whatever follows it is not played
            if (type == kTempo && data.size() >= 3) tempos.push_back({tick, BigEndian(data, 0, 3)});
        }
    }

private:
    ShortMessage ChannelMessage(uint8_t status) {
        ShortMessage m{status, 0, 0};
        const bool oneDataByte = (status & 0xE0) == 0xC0; // program change, channel pressure
        m.Data1 = DataByte();
        if (!oneDataByte) m.Data2 = DataByte();
        return m;
    }

    uint8_t DataByte() {
        const uint8_t b = Byte();
        if (b >= 0x80) Corrupt("status byte " + Hex(b) + " inside a message");
        return b;
    }

    uint8_t Byte() {
        if (at_ >= bytes_.size()) Truncated();
        return bytes_[at_++];
    }

    uint32_t VariableLength() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = Byte();
            value = value << 7 | (b & 0x7F);
            if ((b & 0x80) == 0) return value;
        }
        Corrupt("a number longer than four bytes");
    }

    std::span<const uint8_t> Take(uint32_t length) {
        if (length > bytes_.size() - at_) Truncated();
        const std::span<const uint8_t> data = bytes_.subspan(at_, length);
        at_ += length;
        return data;
    }

    [[noreturn]] void Truncated() const {
        throw Error("truncated (track " + std::to_string(number_) + " ends inside an event)");
    }
    [[noreturn]] void Corrupt(const std::string& what) const {
        throw Error("corrupt track " + std::to_string(number_) + ": " + what);
    }

    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    int number_;
};

// Ticks to seconds: the tempo map in ticks per quarter note, or a fixed
// time code rate.
struct Timing {
    uint32_t ticksPerQuarter = 0; // 0: time code
    double secondsPerTick = 0;    // time code only
};

Timing ReadDivision(uint16_t division) {
    Timing timing;
    if ((division & 0x8000) == 0) {
        timing.ticksPerQuarter = division;
        if (division == 0) throw Error("corrupt header: zero ticks per quarter note");
        return timing;
    }
    // Time code: minus the frames per second in the high byte, ticks per frame in the low.
    const int fps = -static_cast<int8_t>(division >> 8);
    const unsigned ticksPerFrame = division & 0xFF;
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || ticksPerFrame == 0)
        throw Error("corrupt header: unknown time division");
    const double frameRate = fps == 29 ? 30000.0 / 1001.0 : fps; // 29 stands for 29.97 drop-frame
    timing.secondsPerTick = 1.0 / (frameRate * ticksPerFrame);
    return timing;
}

std::vector<TimedMessage> ToSeconds(std::vector<TickedMessage>& messages,
                                    std::vector<TempoChange>& tempos, Timing timing) {
    const auto byTick = [](const auto& a, const auto& b) { return a.Tick < b.Tick; };
    // Stable: at equal ticks the earlier track, then the earlier event, comes first.
    std::stable_sort(messages.begin(), messages.end(), byTick);
    std::stable_sort(tempos.begin(), tempos.end(), byTick);
    std::vector<TimedMessage> timed;
    timed.reserve(messages.size());
    double seconds = 0; // at tick `from`
    uint64_t from = 0;
    double perTick = timing.ticksPerQuarter ? kDefaultTempo / (1e6 * timing.ticksPerQuarter)
                                            : timing.secondsPerTick;
    size_t next = 0;
    for (const TickedMessage& m : messages) {
        for (; timing.ticksPerQuarter && next < tempos.size() && tempos[next].Tick <= m.Tick;
             ++next) {
            seconds += static_cast<double>(tempos[next].Tick - from) * perTick;
            from = tempos[next].Tick;
            perTick = tempos[next].MicrosPerQuarter / (1e6 * timing.ticksPerQuarter);
        }
        timed.push_back({seconds + static_cast<double>(m.Tick - from) * perTick, m.Message});
    }
    return timed;
}

} // namespace

MidiFile ParseMidiFile(std::span<const uint8_t> bytes) {
    if (bytes.size() > kMaxMidiFileBytes) throw Error("too large for a MIDI file (over 16 MiB)");
    if (bytes.size() < 8 || std::memcmp(bytes.data(), "MThd", 4) != 0)
        throw Error("not a standard MIDI file");
    const uint32_t headerLength = BigEndian(bytes, 4, 4);
    if (headerLength < 6) throw Error("not a standard MIDI file");
    if (headerLength > bytes.size() - 8) throw Error("truncated (inside the header)");

    MidiFile file;
    file.Format = static_cast<int>(BigEndian(bytes, 8, 2));
    file.Tracks = static_cast<int>(BigEndian(bytes, 10, 2));
    if (file.Format == 2) throw Error("format 2 (independent sequences) is not supported");
    if (file.Format > 2)
        throw Error("not a standard MIDI file (format " + std::to_string(file.Format) + ")");
    if (file.Tracks == 0) throw Error("no tracks");
    const Timing timing = ReadDivision(static_cast<uint16_t>(BigEndian(bytes, 12, 2)));

    std::vector<TickedMessage> messages;
    std::vector<TempoChange> tempos;
    size_t at = 8 + size_t{headerLength};
    for (int found = 0; found < file.Tracks;) {
        if (bytes.size() - at < 8)
            throw Error("truncated (" + std::to_string(found) + " of " +
                        std::to_string(file.Tracks) + " tracks)");
        const uint32_t length = BigEndian(bytes, at + 4, 4);
        if (length > bytes.size() - at - 8)
            throw Error("truncated (track " + std::to_string(found + 1) +
                        " ends past the end of the file)");
        // Chunks of other kinds are skipped, as the format asks of readers.
        if (std::memcmp(&bytes[at], "MTrk", 4) == 0)
            TrackReader(bytes.subspan(at + 8, length), ++found).Read(messages, tempos);
        at += 8 + size_t{length};
    }
    file.Messages = ToSeconds(messages, tempos, timing);
    return file;
}

MidiFile ReadMidiFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    {
        errno = 0;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"),
                                                          &std::fclose);
        struct stat info {};
        if (!f || fstat(fileno(f.get()), &info) != 0)
            throw Error(path + ": " + std::strerror(errno));
        if (S_ISDIR(info.st_mode)) throw Error(path + ": " + std::strerror(EISDIR));
        if (static_cast<uint64_t>(info.st_size) > kMaxMidiFileBytes)
            throw Error(path + ": too large for a MIDI file (over 16 MiB)");
        bytes.resize(static_cast<size_t>(info.st_size));
        if (std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
            throw Error(path + ": " + std::strerror(errno ? errno : EIO));
    }
    try {
        return ParseMidiFile(bytes);
    } catch (const Error& e) {
        throw Error(path + ": " + e.what());
    }
}

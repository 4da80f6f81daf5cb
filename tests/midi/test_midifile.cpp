#include "midi/midifile.h"

#include "error.h"
#include "support/smfbuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

MidiFile Parse(const std::vector<uint8_t>& bytes) {
    return ParseMidiFile(bytes);
}

TEST(MidiFile, TracksMergeInTimeOrderWithRunningStatusAndTheTempoMap) {
    // 480 ticks a quarter; 120 bpm, then 240 bpm from tick 960 on.
    const auto bytes = SmfBuilder(1, 480)
                           .Track()
                           .Tempo(0, 500000)
                           .Event(0, {0xFF, 0x03, 0x04, 'S', 'o', 'n', 'g'})
                           .Tempo(960, 250000)
                           .EndOfTrack()
                           .Track()
                           .Event(0, {0xC0, 0x05})
                           .Event(0, {0x90, 60, 100})
                           .Event(480, {62, 90}) // running status
                           .Event(0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7})
                           .Event(480, {0xE0, 0x00, 0x50})
                           .Event(480, {0x80, 60, 0})
                           .Event(0, {62, 0})
                           .EndOfTrack()
                           .Track()
                           .Event(480, {0xB1, 7, 64}) // same tick as the note: after it
                           .EndOfTrack()
                           .Bytes();
    const MidiFile file = Parse(bytes);
    EXPECT_EQ(file.Format, 1);
    EXPECT_EQ(file.Tracks, 3);
    const std::vector<TimedMessage> expected = {
        {0.0, {0xC0, 0x05, 0}}, {0.0, {0x90, 60, 100}},    {0.5, {0x90, 62, 90}},
        {0.5, {0xB1, 7, 64}},   {1.0, {0xE0, 0x00, 0x50}}, {1.25, {0x80, 60, 0}},
        {1.25, {0x80, 62, 0}},
    };
    EXPECT_EQ(file.Messages, expected);
}

TEST(MidiFile, TimeCodeDivisionCountsTicksOfFrames) {
    // 25 frames a second, 40 ticks a frame: a millisecond a tick, whatever the tempo.
    const auto bytes = SmfBuilder(0, 0xE728)
                           .Track()
                           .Tempo(0, 1000000)
                           .Event(1500, {0x90, 60, 1})
                           .EndOfTrack()
                           .Bytes();
    const MidiFile file = Parse(bytes);
    ASSERT_EQ(file.Messages.size(), 1u);
    EXPECT_DOUBLE_EQ(file.Messages[0].Seconds, 1.5);
}

TEST(MidiFile, ToleratesWhatPlayersTolerate) {
    // No end of track, a chunk of an unknown kind, bytes after the end of
    // track, and delta times that add up far past 2^31 ticks.
    SmfBuilder song(1, 96);
    song.Track();
    for (int i = 0; i < 10; ++i)
        song.Event(0x0FFFFFFF, {0x90, 60, 100});
    std::vector<uint8_t> bytes = song.Bytes();
    const std::vector<uint8_t> alien = {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 1, 2};
    bytes.insert(bytes.begin() + 14, alien.begin(), alien.end());
    const MidiFile file = Parse(bytes);
    ASSERT_EQ(file.Messages.size(), 10u);
    EXPECT_DOUBLE_EQ(file.Messages[9].Seconds, 10.0 * 0x0FFFFFFF * 0.5 / 96);

    const auto trailing =
        SmfBuilder(0).Track().Event(0, {0x90, 60, 1}).EndOfTrack().Event(0, {0x90, 61, 1}).Bytes();
    EXPECT_EQ(Parse(trailing).Messages.size(), 1u);
}

struct Refusal {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* error;
};

std::vector<uint8_t> Header(uint16_t format, uint16_t tracks, uint16_t division) {
    return {'M',
            'T',
            'h',
            'd',
            0,
            0,
            0,
            6,
            0,
            static_cast<uint8_t>(format),
            static_cast<uint8_t>(tracks >> 8),
            static_cast<uint8_t>(tracks),
            static_cast<uint8_t>(division >> 8),
            static_cast<uint8_t>(division)};
}

std::vector<uint8_t> OneTrack(std::initializer_list<uint8_t> events) {
    std::vector<uint8_t> file = Header(0, 1, 96);
    file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<uint8_t>(events.size())});
    file.insert(file.end(), events);
    return file;
}

TEST(MidiFile, RefusesDamagedFilesWithAReason) {
    std::vector<uint8_t> shortHeader = Header(0, 1, 96);
    shortHeader[7] = 5;
    std::vector<uint8_t> pastTheEnd = OneTrack({0, 0x90, 60, 1});
    pastTheEnd[21] = 40;
    const Refusal refusals[] = {
        {"empty", {}, "not a standard MIDI file"},
        {"a wave file",
         {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'},
         "not a standard MIDI file"},
        {"header of five bytes", shortHeader, "not a standard MIDI file"},
        {"header cut", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}, "truncated (inside the header)"},
        {"format 2", Header(2, 1, 96), "format 2 (independent sequences) is not supported"},
        {"format 7", Header(7, 1, 96), "not a standard MIDI file (format 7)"},
        {"no tracks", Header(1, 0, 96), "no tracks"},
        {"zero division", Header(0, 1, 0), "corrupt header: zero ticks per quarter note"},
        {"frame rate 23", Header(0, 1, 0xE904), "corrupt header: unknown time division"},
        {"a track missing", Header(1, 1, 96), "truncated (0 of 1 tracks)"},
        {"track past the end", pastTheEnd, "truncated (track 1 ends past the end of the file)"},
        {"event cut", OneTrack({0, 0x90, 60}), "truncated (track 1 ends inside an event)"},
        {"delta cut", OneTrack({0x81}), "truncated (track 1 ends inside an event)"},
        {"meta cut", OneTrack({0, 0xFF, 0x01, 0x05, 'a'}),
         "truncated (track 1 ends inside an event)"},
        {"no status", OneTrack({0, 60, 1}),
         "corrupt track 1: data byte 0x3C without a status byte"},
        {"running status after a meta event",
         OneTrack({0, 0x90, 60, 1, 0, 0xFF, 0x01, 0, 0, 61, 1}),
         "corrupt track 1: data byte 0x3D without a status byte"},
        {"five-byte delta", OneTrack({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 1}),
         "corrupt track 1: a number longer than four bytes"},
        {"system common", OneTrack({0, 0xF2, 1, 2}),
         "corrupt track 1: unexpected status byte 0xF2"},
        {"status inside a message", OneTrack({0, 0x90, 60, 0x80}),
         "corrupt track 1: status byte 0x80 inside a message"},
    };
    for (const Refusal& r : refusals) {
        try {
            Parse(r.bytes);
            ADD_FAILURE() << r.what << ": accepted";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), r.error) << r.what;
        }
    }
}

TEST(MidiFile, ReadingNamesTheFileInEveryError) {
    const std::filesystem::path dir = testing::TempDir();
    const std::string missing = (dir / "vi801-no-such-song.mid").string();
    const std::string broken = (dir / "vi801-broken.mid").string();
    std::ofstream(broken, std::ios::binary) << "MThd";
    const std::pair<std::string, std::string> cases[] = {
        {missing, missing + ": No such file or directory"},
        {dir.string(), dir.string() + ": Is a directory"},
        {broken, broken + ": not a standard MIDI file"},
    };
    for (const auto& [path, error] : cases) {
        try {
            ReadMidiFile(path);
            ADD_FAILURE() << path << ": accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), error);
        }
    }
    std::remove(broken.c_str());
}

} // namespace

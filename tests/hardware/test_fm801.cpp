#include "hardware/fm801.h"
#include "hardware/giveio.h"
#include "hardware/opl3.h"
#include "support/portrecorder.h"

#include <functional>
#include <gtest/gtest.h>

namespace {
using Kind = PortRecorder::Kind;
constexpr uint16_t kBase = 0xE800;
constexpr uint16_t kVolume = kBase + 2;
} // namespace

TEST(Fm801, OwnsAnOpl3AtBasePlus0x68AndLeavesVolumeAlone) {
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    std::vector<PortRecorder::Access> construction;
    {
        FM801 card(kBase);
        ASSERT_NE(card.Opl3, nullptr);
        EXPECT_EQ(card.PortBase, kBase);
        EXPECT_EQ(card.Opl3->PortBase, kBase + 0x68);
        construction = rec.Accesses();
        ASSERT_EQ(construction.size(), 1056u);
        for (const auto& a : construction) {
            ASSERT_EQ(a.kind, Kind::OutByte);
            ASSERT_GE(a.port, kBase + 0x68);
            ASSERT_LE(a.port, kBase + 0x6B);
        }
        rec.Clear();
    }
    // Destruction resets the chip exactly as construction did, nothing more.
    EXPECT_EQ(rec.Accesses(), construction);
}

TEST(Fm801, VolumeOperationsReadModifyWriteTheRegister) {
    struct Case {
        const char* name;
        uint16_t before;
        std::function<void(FM801&)> op;
        uint16_t after;
    };
    const Case cases[] = {
        {"set while muted", 0x8000, [](FM801& c) { c.SetAttenuation(5, 10); }, 0x8A05},
        {"set clears unused bits", 0xFFFF, [](FM801& c) { c.SetAttenuation(31, 31); }, 0x9F1F},
        {"set keeps low five bits", 0x0000, [](FM801& c) { c.SetAttenuation(32, 33); }, 0x0100},
        {"set unmuted", 0x7FFF, [](FM801& c) { c.SetAttenuation(0, 0); }, 0x0000},
        {"mute", 0x6A65, [](FM801& c) { c.Mute(); }, 0xEA65},
        {"mute when muted", 0x8101, [](FM801& c) { c.Mute(); }, 0x8101},
        {"unmute", 0xEA65, [](FM801& c) { c.Unmute(); }, 0x6A65},
        {"mute then unmute", 0x1234,
         [](FM801& c) {
             c.Mute();
             c.Unmute();
         },
         0x1234},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PortRecorder rec;
        ScopedPortBackend scope(rec);
        FM801 card(kBase);
        rec.SetWord(kVolume, c.before);
        rec.Clear();
        c.op(card);
        EXPECT_EQ(InWord(kVolume), c.after);
        // Only the volume register is touched, each write preceded by a fresh read.
        const auto& acc = rec.Accesses();
        ASSERT_GE(acc.size(), 2u);
        for (size_t i = 0; i + 1 < acc.size(); i += 2) {
            EXPECT_EQ(acc[i].kind, Kind::InWord);
            EXPECT_EQ(acc[i].port, kVolume);
            EXPECT_EQ(acc[i + 1].kind, Kind::OutWord);
            EXPECT_EQ(acc[i + 1].port, kVolume);
        }
    }
}

TEST(Fm801, GetAttenuationDecodesTheRegister) {
    struct Case {
        uint16_t word;
        bool muted;
        uint8_t left, right;
    };
    const Case cases[] = {{0x8A05, true, 5, 10},
                          {0x0606, false, 6, 6},
                          {0xFFFF, true, 31, 31},
                          {0x7FE0, false, 0, 31}};
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    FM801 card(kBase);
    for (const auto& c : cases) {
        rec.SetWord(kVolume, c.word);
        rec.Clear();
        bool muted = !c.muted;
        uint8_t left = 99, right = 99;
        card.GetAttenuation(muted, left, right);
        EXPECT_EQ(muted, c.muted) << std::hex << c.word;
        EXPECT_EQ(left, c.left) << std::hex << c.word;
        EXPECT_EQ(right, c.right) << std::hex << c.word;
        const std::vector<PortRecorder::Access> one = {{Kind::InWord, kVolume, c.word}};
        EXPECT_EQ(rec.Accesses(), one);
    }
}

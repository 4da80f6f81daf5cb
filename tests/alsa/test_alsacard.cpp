// The card reached through ALSA, without a card: a stand-in for the kernel's
// OPL3 driver writes the chip as the driver does for each request, and after
// every sequence the program plays, the chip holds what the port path would
// have written.
#include "fakealsa.h"
#include "hardware/alsa/alsaopl3card.h"
#include "hardware/fm801.h"
#include "hardware/giveio.h"
#include "portprotocol.h"
#include "presets/presetfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <sys/ioctl.h>
// After sys/ioctl.h: the driver's header uses its request macros.
#include <sound/asound_fm.h>

namespace {
constexpr uint16_t kBase = 0xE800;
constexpr uint16_t kOplPort = kBase + 0x68;
using Image = std::array<uint8_t, 0x200>;

// Every access reaches the card and the recorder: the recorder's trace
// decodes into the registers the port path would leave on the chip.
class Tee : public PortBackend {
public:
    explicit Tee(PortBackend& card) : card_(card) {}
    void EnableAccess() override { card_.EnableAccess(); }
    void OutByte(uint16_t port, uint8_t value) override {
        recorder.OutByte(port, value);
        card_.OutByte(port, value);
    }
    void OutWord(uint16_t port, uint16_t value) override {
        recorder.OutWord(port, value);
        card_.OutWord(port, value);
    }
    uint16_t InWord(uint16_t port) override { return card_.InWord(port); }
    PortRecorder recorder;

private:
    PortBackend& card_;
};

Image PortImage(const PortRecorder& recorder) {
    std::vector<PortRecorder::Access> bytes; // the volume register's words left out
    for (const PortRecorder::Access& a : recorder.Accesses())
        if (a.kind == PortRecorder::Kind::OutByte) bytes.push_back(a);
    Image image{};
    for (const RegWrite& w : DecodeRegisterWrites(bytes, kOplPort, true))
        image[w.index] = static_cast<uint8_t>(w.value);
    return image;
}

// The registers that make the sound, with the bits a request can carry.
// Left out: 01 (the driver enables wave select, which OPL3 mode ignores),
// 02-04 (timers) and addresses that are no register.
std::vector<std::pair<uint16_t, uint8_t>> SoundRegisters() {
    std::vector<std::pair<uint16_t, uint8_t>> regs = {
        {0x08, 0x40}, {0xBD, 0xFF}, {0x104, 0x3F}, {0x105, 0x01}};
    const int operators[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x08, 0x09, 0x0A,
                             0x0B, 0x0C, 0x0D, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
    for (const int bank : {0x000, 0x100}) {
        for (const int op : operators) {
            for (const int base : {0x20, 0x40, 0x60, 0x80})
                regs.push_back({static_cast<uint16_t>(bank + base + op), 0xFF});
            regs.push_back({static_cast<uint16_t>(bank + 0xE0 + op), 0x07});
        }
        for (int channel = 0; channel < 9; ++channel) {
            regs.push_back({static_cast<uint16_t>(bank + 0xA0 + channel), 0xFF});
            regs.push_back({static_cast<uint16_t>(bank + 0xB0 + channel), 0x3F});
            regs.push_back({static_cast<uint16_t>(bank + 0xC0 + channel), 0x3F});
        }
    }
    return regs;
}

// "0x0C3: port 0x31, chip 0x11" for each register that differs; with
// carriedBitsOnly, only in the bits a request carries.
std::string Differences(const Image& port, const Image& chip, bool carriedBitsOnly = false) {
    std::ostringstream out;
    for (const auto& [reg, carried] : SoundRegisters()) {
        const uint8_t mask = carriedBitsOnly ? carried : 0xFF;
        if ((port[reg] & mask) != (chip[reg] & mask))
            out << std::hex << "0x" << reg << ": port 0x" << int{port[reg]} << ", chip 0x"
                << int{chip[reg]} << "\n";
    }
    return out.str();
}

template <typename T, typename... Args> std::unique_ptr<T> Own(T*& raw, Args... args) {
    auto owned = std::make_unique<T>(args...);
    raw = owned.get();
    return owned;
}

// The FM801 on the ALSA card, started as a run starts it.
struct Rig {
    explicit Rig(bool hasMixer = true, bool hasSwitch = true)
        : card(Own(driver),
               hasMixer ? Own(mixer, 0L, 31L, hasSwitch) : std::unique_ptr<FakeMixer>(), kBase) {
        EXPECT_EQ(card.Start(), 0);
        fm = std::make_unique<FM801>(kBase);
    }
    OPL3& Chip() { return *fm->Opl3; }
    std::string Differences(bool carriedBitsOnly = false) const {
        return ::Differences(PortImage(tee.recorder), driver->chip, carriedBitsOnly);
    }

    FakeFmDriver* driver = nullptr;
    FakeMixer* mixer = nullptr;
    AlsaOpl3Card card;
    Tee tee{card};
    ScopedPortBackend scope{tee};
    std::unique_ptr<FM801> fm;
};

// --- every sequence the program plays ---

SynthPatch RichPatch() {
    SynthPatch patch;
    for (int j = 0; j < kOperatorCount; ++j) {
        const uint8_t b = static_cast<uint8_t>(j * 37 + 11);
        patch.Ops[j] = {static_cast<uint8_t>(0xA0 | (b & 0x1F)), static_cast<uint8_t>(b ^ 0x5A),
                        static_cast<uint8_t>(b * 3), static_cast<uint8_t>(b * 5),
                        static_cast<uint8_t>(j & 7)};
    }
    // Outputs on, as a preset's channel bytes have them for Settings().
    patch.RegC0Ops12 = 0x3B;
    patch.RegC0Ops34 = 0x31;
    patch.RegC0Ops56 = 0x3C;
    return patch;
}

PatchSettings Settings(uint8_t outputs = 0x0F, uint8_t lfo = 0x03) {
    PatchSettings settings;
    settings.Outputs = outputs;
    settings.LfoDepth = lfo;
    return settings;
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Each starter preset of the three banks, as program changes apply them.
void PlayStarterPresets(FM801& fm) {
    SynthPatch patch;
    PatchSettings settings = Settings();
    int played = 0;
    for (const char* bank : {"2op", "4op", "6op"})
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(VI801_SOURCE_DIR) / "data" / bank))
            if (DecodePreset(FileBytes(entry.path()), patch, settings)) {
                fm.Opl3->SetPatch(patch, settings);
                ++played;
            }
    EXPECT_GT(played, 20);
}

struct Setter {
    const char* name;
    std::function<void(OPL3&, int op, uint8_t value)> set;
    uint8_t max;
};

const Setter kSetters[] = {
    {"tremolo", [](OPL3& c, int op, uint8_t v) { c.SetTremolo(op, v); }, 1},
    {"vibrato", [](OPL3& c, int op, uint8_t v) { c.SetVibrato(op, v); }, 1},
    {"hold", [](OPL3& c, int op, uint8_t v) { c.SetHold(op, v); }, 1},
    {"rate scaling", [](OPL3& c, int op, uint8_t v) { c.SetRateScaling(op, v); }, 1},
    {"multiplier", [](OPL3& c, int op, uint8_t v) { c.SetFreqMultiplier(op, v); }, 15},
    {"level scaling", [](OPL3& c, int op, uint8_t v) { c.SetLevelScaling(op, v); }, 3},
    {"level", [](OPL3& c, int op, uint8_t v) { c.SetLevel(op, v); }, 63},
    {"attack", [](OPL3& c, int op, uint8_t v) { c.SetAttack(op, v); }, 15},
    {"decay", [](OPL3& c, int op, uint8_t v) { c.SetDecay(op, v); }, 15},
    {"sustain", [](OPL3& c, int op, uint8_t v) { c.SetSustain(op, v); }, 15},
    {"release", [](OPL3& c, int op, uint8_t v) { c.SetRelease(op, v); }, 15},
    {"waveform", [](OPL3& c, int op, uint8_t v) { c.SetWaveform(op, v); }, 7},
    {"connection", [](OPL3& c, int, uint8_t v) { c.SetConnection(v); }, 7},
    {"feedback", [](OPL3& c, int, uint8_t v) { c.SetFeedback(v); }, 7},
    {"feedback 2", [](OPL3& c, int, uint8_t v) { c.SetFeedback2(v); }, 7},
    {"output A", [](OPL3& c, int, uint8_t v) { c.SetOutputA(v); }, 1},
    {"output B", [](OPL3& c, int, uint8_t v) { c.SetOutputB(v); }, 1},
    {"output A2", [](OPL3& c, int, uint8_t v) { c.SetOutputA2(v); }, 1},
    {"output B2", [](OPL3& c, int, uint8_t v) { c.SetOutputB2(v); }, 1},
    {"tremolo depth", [](OPL3& c, int, uint8_t v) { c.SetTremoloDepth(v); }, 1},
    {"vibrato depth", [](OPL3& c, int, uint8_t v) { c.SetVibratoDepth(v); }, 1},
};

void NoteOn(OPL3& chip, uint8_t note, int32_t cents4 = 0, int32_t cents2 = 0) {
    chip.NoteOn(cents4, cents2, note);
}

struct Sequence {
    std::string name;
    std::function<void(FM801&)> play;
};
void PrintTo(const Sequence& s, std::ostream* os) {
    *os << s.name;
}

std::vector<Sequence> Sequences() {
    std::vector<Sequence> all = {
        {"start-up",
         [](FM801& fm) {
             bool muted;
             uint8_t left, right;
             fm.GetAttenuation(muted, left, right);
             fm.Opl3->SetPatch(SynthPatch{}, Settings(0x0F, 0));
         }},
        {"starter presets", PlayStarterPresets},
        {"notes",
         [](FM801& fm) {
             for (const uint8_t note : {60, 64, 67, 72, 76, 79, 84}) // the seventh finds no slot
                 NoteOn(*fm.Opl3, note);
             fm.Opl3->NoteOff(64);
             NoteOn(*fm.Opl3, 62);
             for (const uint8_t note : {60, 62, 67, 72})
                 fm.Opl3->NoteOff(note);
         }},
        {"bends",
         [](FM801& fm) {
             NoteOn(*fm.Opl3, 60, -30, 25);
             NoteOn(*fm.Opl3, 0);
             NoteOn(*fm.Opl3, 127);
             for (const int32_t cents : {-200, 200, -1200, 1199, -4800, 4800, 0})
                 fm.Opl3->Retune(cents, cents / 2);
             NoteOn(*fm.Opl3, 119, 150, -150);
         }},
        {"velocity",
         [](FM801& fm) {
             fm.Opl3->SetPatch(RichPatch(), Settings());
             for (const int velocity : {127, 1, 64, 100}) {
                 for (int op = 0; op < kOperatorCount; ++op)
                     fm.Opl3->SetLevel(op, static_cast<uint8_t>(50 * velocity / 127));
                 NoteOn(*fm.Opl3, static_cast<uint8_t>(40 + velocity % 50));
             }
         }},
        {"a preset while notes sound",
         [](FM801& fm) {
             NoteOn(*fm.Opl3, 48);
             NoteOn(*fm.Opl3, 55);
             fm.Opl3->SetPatch(RichPatch(), Settings(0x05, 0x02));
             fm.Opl3->Retune(-100, 100);
         }},
        {"the Reset button",
         [](FM801& fm) {
             fm.Opl3->SetPatch(RichPatch(), Settings());
             NoteOn(*fm.Opl3, 50);
             fm.Opl3->Reset();
             fm.Opl3->SetPatch(RichPatch(), Settings(0x0A, 0x01));
         }},
        {"controllers",
         [](FM801& fm) {
             fm.Opl3->SetPatch(RichPatch(), Settings());
             NoteOn(*fm.Opl3, 57);
             for (uint8_t v = 0; v < 128; v += 9) { // a knob turned through its range
                 fm.SetAttenuation(31 - v / 4, v / 4);
                 fm.Opl3->SetFeedback(v / 16);
                 fm.Opl3->SetLevel(2, v / 2);
                 fm.Opl3->SetAttack(4, v / 8);
                 fm.Opl3->SetTremoloDepth(v & 1);
                 fm.Opl3->SetConnection(v / 16);
             }
             fm.Mute();
             fm.Unmute();
         }},
    };
    // Every edit of every operator, on a patch with every field in use.
    for (const Setter& setter : kSetters)
        all.push_back({std::string("edit: ") + setter.name, [&setter](FM801& fm) {
                           fm.Opl3->SetPatch(RichPatch(), Settings());
                           NoteOn(*fm.Opl3, 65);
                           for (int op = 0; op < kOperatorCount; ++op)
                               for (const uint8_t value :
                                    {setter.max, uint8_t{0}, uint8_t(setter.max / 2 + 1)})
                                   setter.set(*fm.Opl3, op, value);
                       }});
    return all;
}

class AlsaCardSequence : public testing::TestWithParam<Sequence> {};

TEST_P(AlsaCardSequence, LeavesTheChipAsThePortsWould) {
    Rig rig;
    ASSERT_EQ(rig.Differences(), "") << "after start-up";
    GetParam().play(*rig.fm);
    EXPECT_EQ(rig.Differences(), "") << "after " << GetParam().name;
    rig.fm.reset(); // shutdown
    EXPECT_EQ(rig.Differences(), "") << "after shutdown";
    EXPECT_EQ(rig.card.Requests().Refused(), 0u);
    for (int channel = 0; channel < 9; ++channel) // nothing keeps sounding
        for (const int bank : {0x000, 0x100})
            EXPECT_EQ(rig.driver->chip[bank + 0xB0 + channel] & 0x20, 0);
}

INSTANTIATE_TEST_SUITE_P(Played, AlsaCardSequence, testing::ValuesIn(Sequences()),
                         [](const testing::TestParamInfo<Sequence>& info) {
                             std::string name;
                             for (const char c : info.param.name)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(AlsaCard, AnyRegisterWriteReachesTheChipInTheBitsARequestCarries) {
    Rig rig;
    for (const uint8_t value : {0xFF, 0x00, 0x5A, 0xA5, 0x3C})
        for (const auto& [reg, carried] : SoundRegisters())
            if (reg != 0x105) rig.Chip().WriteRegister(reg, value);
    EXPECT_EQ(rig.Differences(true), "");
}

// --- the requests themselves ---

TEST(AlsaCard, StartSilencesTheChipAndChoosesOpl3Mode) {
    struct Case {
        const char* what;
        int refuseWith;
        bool staysOpl2;
        int result;
    };
    const Case cases[] = {{"an OPL3", 0, false, 0},
                          {"a device that stays in OPL2 mode", 0, true, -EINVAL},
                          {"a refusing device", EIO, false, -EIO}};
    for (const Case& c : cases) {
        auto owned = std::make_unique<FakeFmDriver>();
        FakeFmDriver& driver = *owned;
        driver.refuseWith = c.refuseWith;
        driver.staysOpl2 = c.staysOpl2;
        AlsaOpl3Card card(std::move(owned), nullptr);
        EXPECT_EQ(card.Start(), c.result) << c.what;
        if (c.result == 0) {
            EXPECT_EQ(driver.requests,
                      (std::vector<unsigned>{SNDRV_DM_FM_IOCTL_RESET, SNDRV_DM_FM_IOCTL_SET_MODE,
                                             SNDRV_DM_FM_IOCTL_INFO}));
        }
    }
}

TEST(AlsaCard, SendsOnlyWhatChangesTheChip) {
    Rig rig;
    OPL3& chip = rig.Chip();
    const auto sent = [&] { return rig.driver->requests.size(); };
    chip.SetPatch(RichPatch(), Settings());
    size_t before = sent();
    chip.SetPatch(RichPatch(), Settings());
    EXPECT_EQ(sent(), before) << "the same patch again";
    before = sent();
    const size_t voices = rig.driver->Count(SNDRV_DM_FM_IOCTL_SET_VOICE);
    chip.SetAttack(3, 2);
    EXPECT_EQ(sent() - before, 6u) << "one operator in six slots";
    EXPECT_EQ(rig.driver->Count(SNDRV_DM_FM_IOCTL_SET_VOICE) - voices, 6u);
    before = sent();
    NoteOn(chip, 61);
    EXPECT_EQ(sent() - before, 4u) << "A0, A6, B0, B6";
    before = sent();
    chip.Retune(0, 0);
    EXPECT_EQ(sent(), before) << "the pitch it has";
    before = sent();
    chip.SetTremoloDepth(0);
    EXPECT_EQ(sent() - before, 1u);
}

TEST(AlsaCard, ARefusedRequestIsSentAgainWithTheNextWrite) {
    Rig rig;
    rig.driver->refuseWith = EIO;
    rig.Chip().SetDecay(1, 9);
    EXPECT_EQ(rig.card.Requests().Refused(), 6u);
    EXPECT_EQ(rig.card.Requests().LastError(), EIO);
    EXPECT_NE(rig.Differences(), "");
    rig.driver->refuseWith = 0;
    rig.Chip().SetDecay(1, 9); // the same value: the chip does not hold it yet
    EXPECT_EQ(rig.Differences(), "");
}

// --- the card's volume on its mixer control ---

TEST(AlsaCardVolume, RegisterAndControlTranslate) {
    struct Case {
        long min, max;
        uint16_t reg;
        VolumeControl::Setting setting;
    };
    const Case cases[] = {
        {0, 31, 0x0000, {31, 31, true}},   {0, 31, 0x1F1F, {0, 0, true}},
        {0, 31, 0x8A05, {26, 21, false}},  {0, 31, 0x0A05, {26, 21, true}},
        {0, 100, 0x1000, {100, 48, true}}, {-50, 0, 0x001F, {-50, 0, true}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MixerSetting(c.reg, c.min, c.max), c.setting) << std::hex << c.reg;
        EXPECT_EQ(VolumeRegister(c.setting, c.min, c.max), c.reg) << std::hex << c.reg;
    }
    // The FM801's own control holds every register value but the unused bits.
    for (unsigned reg = 0; reg < 0x10000; reg += 0x0123) {
        const uint16_t kept = reg & 0x9F1F;
        EXPECT_EQ(VolumeRegister(MixerSetting(static_cast<uint16_t>(reg), 0, 31), 0, 31), kept);
    }
}

TEST(AlsaCardVolume, TheProgramReadsAndSetsTheMixerControl) {
    Rig rig;
    rig.fm->SetAttenuation(5, 10);
    EXPECT_EQ(rig.mixer->setting, (VolumeControl::Setting{26, 21, true}));
    rig.mixer->setting = {31, 0, false}; // moved by another program
    bool muted = false;
    uint8_t left = 0, right = 0;
    rig.fm->GetAttenuation(muted, left, right);
    EXPECT_TRUE(muted);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 31);
    rig.fm->Unmute();
    EXPECT_EQ(rig.mixer->setting, (VolumeControl::Setting{31, 0, true}));
}

TEST(AlsaCardVolume, WhatTheControlCantHoldIsKeptByTheCard) {
    {
        Rig rig(true, false); // no switch: mute is only kept
        rig.fm->Mute();
        EXPECT_TRUE(rig.mixer->setting.on);
        bool muted = false;
        uint8_t left, right;
        rig.fm->GetAttenuation(muted, left, right);
        EXPECT_TRUE(muted);
    }
    {
        Rig rig(false); // no control at all
        rig.fm->SetAttenuation(7, 9);
        rig.fm->Mute();
        EXPECT_EQ(InWord(kBase + 2), 0x8907);
    }
}
} // namespace

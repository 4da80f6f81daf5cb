// The loader against any bytes: random, truncated and mutated files, the
// shipped presets among the seeds. Each file lies in a buffer of exactly its
// size, so the sanitizer build sees any read past the data.
#include "hardware/opl3regs.h"
#include "presets/presetfile.h"
#include "presets/sbi.h"
#include "recordsamples.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> Seeds(std::mt19937_64& rng) {
    std::vector<Bytes> seeds;
    for (const char* bank : {"2op", "4op", "6op"}) {
        std::error_code error;
        for (const auto& e : fs::directory_iterator(fs::path(VI801_SHARE_DIR) / bank, error)) {
            std::ifstream in(e.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>{});
        }
    }
    std::uniform_int_distribution<int> byte(0, 255);
    for (PresetKind kind :
         {PresetKind::TwoOperator, PresetKind::FourOperator, PresetKind::SixOperator})
        for (int i = 0; i < 8; ++i) {
            SynthPatch patch;
            for (auto& op : patch.Ops)
                for (uint8_t* f : {&op.Reg20, &op.Reg40, &op.Reg60, &op.Reg80, &op.RegE0})
                    *f = static_cast<uint8_t>(byte(rng));
            patch.RegC0Ops12 = static_cast<uint8_t>(byte(rng));
            patch.RegC0Ops56 = static_cast<uint8_t>(byte(rng));
            Bytes file = EncodePreset(kind, "seed", patch, SampleSettings());
            if (kind == PresetKind::TwoOperator && i % 2) std::copy_n("SBI", 3, file.begin());
            seeds.push_back(file);
        }
    return seeds;
}

// One file: random bytes, or a seed truncated, extended or mutated.
Bytes NextFile(std::mt19937_64& rng, const std::vector<Bytes>& seeds) {
    auto pick = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    const auto randomByte = [&] { return static_cast<uint8_t>(pick(256)); };
    if (pick(8) == 0) {
        Bytes b(pick(100));
        for (auto& x : b)
            x = randomByte();
        return b;
    }
    Bytes b = seeds[pick(seeds.size())];
    switch (pick(4)) {
    case 0:
        b.resize(pick(b.size() + 1));
        break; // truncated
    case 1:
        b.resize(b.size() + 1 + pick(4), randomByte());
        break; // extended
    case 2:
        b[pick(4)] = "2468SBIOPx\x1A"[pick(11)];
        break; // magic confusion
    default:
        for (size_t n = 1 + pick(6); n > 0; --n)
            b[pick(b.size())] = randomByte();
    }
    return b;
}

bool SizeAndMagicAgree(const Bytes& b) {
    auto is = [&b](const char* m) { return b[0] == m[0] && b[1] == m[1] && b[2] == m[2]; };
    switch (b.size()) {
    case 52:
        return is("2OP") || is("SBI");
    case 60:
        return is("4OP");
    case 82:
        return is("6OP");
    default:
        return false;
    }
}

size_t Iterations() {
    const char* text = std::getenv("VI801_FUZZ_ITERATIONS");
    return text ? std::strtoull(text, nullptr, 10) : 1'000'000;
}

TEST(PresetFuzz, AnyBytesLoadOnlyAsTheirSizeAndMagicSayAndRefusalsTouchNothing) {
    std::mt19937_64 rng(801);
    const std::vector<Bytes> seeds = Seeds(rng);
    const SynthPatch patchBefore = NumberedPatch();
    const PatchSettings settingsBefore = SampleSettings();
    size_t loaded = 0;
    const size_t iterations = Iterations();
    for (size_t i = 0; i < iterations; ++i) {
        const Bytes file = NextFile(rng, seeds);
        SynthPatch patch = patchBefore;
        PatchSettings settings = settingsBefore;
        const bool ok = DecodePreset(file, patch, settings);
        ASSERT_EQ(ok, SizeAndMagicAgree(file)) << "file " << i << testing::PrintToString(file);
        if (!ok) {
            ASSERT_EQ(patch, patchBefore) << "file " << i;
            ASSERT_EQ(settings, settingsBefore) << "file " << i;
            continue;
        }
        ++loaded;
        // A two-operator file never reaches the four-operator voice, nor the reverse.
        const bool two = file.size() == 52, four = file.size() == 60;
        for (int op = 0; op < kOperatorCount; ++op) {
            if ((two && op < 4) || (four && op >= 4)) {
                ASSERT_EQ(patch.Ops[op], patchBefore.Ops[op]);
            } else {
                ASSERT_LE(patch.Ops[op].RegE0, opl3::kWaveform.Mask());
            }
        }
        if (file.size() != 82) {
            ASSERT_EQ(settings, settingsBefore);
        }
    }
    std::printf("preset fuzz: %zu files from %zu seeds, %zu loaded, %zu refused\n", iterations,
                seeds.size(), loaded, iterations - loaded);
    EXPECT_GT(loaded, iterations / 20);
}

// The store's own reading, through real files: a few thousand of the same.
TEST(PresetFuzz, TheStoreSurvivesAnyFileInItsBank) {
    const fs::path root = fs::temp_directory_path() / ("vi801-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(root / "6op");
    std::mt19937_64 rng(1801);
    const std::vector<Bytes> seeds = Seeds(rng);
    SBI store(root);
    store.GetPresetList("6op");
    for (int i = 0; i < 3000; ++i) {
        const Bytes file = NextFile(rng, seeds);
        std::ofstream(root / "6op" / "x.sbi", std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        SynthPatch patch = NumberedPatch();
        PatchSettings settings = SampleSettings();
        const bool ok = store.LoadPreset("x", patch, settings);
        ASSERT_EQ(ok, SizeAndMagicAgree(file)) << "file " << i;
        if (!ok) {
            ASSERT_EQ(patch, NumberedPatch());
        }
    }
    fs::remove_all(root);
}

} // namespace

// Every bank reader against files mutated from those the writers produce:
// each input either reads as instruments that keep the record's rules, or
// is refused with a one-line reason naming the format. Each input lies in a
// buffer of exactly its size, so the sanitizer build sees any read past it.
// VI801_BANK_FUZZ_INPUTS sets the inputs per reader (default 5000).
#include "bankwriters.h"
#include "error.h"
#include "presets/formats/bnk.h"
#include "presets/formats/ibk.h"
#include "presets/formats/op2.h"
#include "presets/formats/sbibank.h"
#include "presets/formats/tmb.h"
#include "presets/formats/wopl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

using Reader = std::vector<BankInstrument> (*)(std::span<const uint8_t>);

Instruments Mixed(int seed) {
    Instruments all;
    const VoiceLayout layouts[] = {VoiceLayout::OnePair, VoiceLayout::FourOperator,
                                   VoiceLayout::TwoPairs};
    for (size_t n = 0; n < 6; ++n) {
        BankInstrument i = SampleInstrument(seed + static_cast<int>(n), layouts[n % 3],
                                            "Instrument " + std::to_string(n));
        i.Index = n * 7;
        i.NoteOffset[0] = static_cast<int16_t>(n) - 3;
        if (n == 5) {
            i.Index = 130;
            i.Percussion = true;
            i.FixedNote = 40;
        }
        all.push_back(i);
    }
    return all;
}

Instruments TwoOperatorOnly(int seed) {
    Instruments all = Mixed(seed);
    for (BankInstrument& i : all) {
        i.Layout = VoiceLayout::OnePair;
        i.Pairs[1] = {};
    }
    return all;
}

struct FuzzCase {
    const char* name;
    Reader read;
    std::string refusal; // how each of its reasons starts
    std::vector<BankBytes> seeds;
};

void PrintTo(const FuzzCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<FuzzCase> FuzzCases() {
    const Instruments mixed = Mixed(10), two = TwoOperatorOnly(20);
    const Instruments firstTwo(two.begin(), two.begin() + 2);
    return {
        {"WOPL",
         ReadWopl,
         "WOPL bank",
         {WriteWopl(1, mixed), WriteWopl(2, mixed), WriteWopl(3, mixed)}},
        {"OPLI",
         ReadOpli,
         "OPLI instrument",
         {WriteOpli(mixed[0]), WriteOpli(mixed[1]), WriteOpli(mixed[5])}},
        {"OP2", ReadOp2, "OP2 bank", {WriteOp2(mixed)}},
        {"TMB", ReadTmb, "TMB bank", {WriteTmb(two)}},
        {"IBK", ReadIbk, "IBK bank", {WriteIbk(two)}},
        {"BNK", ReadBnk, "BNK bank", {WriteBnk(two), WriteBnk(firstTwo)}},
        {"SBI",
         ReadSbi,
         "SBI ",
         {WriteSbi(SbiRecord::Sbi, two), WriteSbi(SbiRecord::SbiUnpadded, {two[0]}),
          WriteSbi(SbiRecord::FourOp, mixed), WriteSbi(SbiRecord::TwoOpOpl3, mixed)}},
    };
}

// Numbers a header holds, at their extremes.
const uint8_t kExtremes[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};

BankBytes Mutate(std::mt19937_64& rng, const std::vector<BankBytes>& seeds) {
    auto pick = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    BankBytes b = seeds[pick(seeds.size())];
    const size_t header = std::min<size_t>(b.size(), 64);
    for (size_t n = 1 + pick(3); n > 0 && !b.empty(); --n) {
        switch (pick(6)) {
        case 0: // truncated
            b.resize(pick(b.size() + 1));
            break;
        case 1: // extended
            b.resize(b.size() + 1 + pick(70), static_cast<uint8_t>(pick(256)));
            break;
        case 2: // a header's count or offset at an extreme
            if (header) b[pick(header)] = kExtremes[pick(std::size(kExtremes))];
            break;
        case 3: { // a run of bytes cut out
            const size_t at = pick(b.size()), n2 = std::min(b.size() - at, 1 + pick(40));
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                    b.begin() + static_cast<std::ptrdiff_t>(at + n2));
            break;
        }
        case 4: { // a part of another seed spliced in
            const BankBytes& other = seeds[pick(seeds.size())];
            const size_t at = pick(b.size()), from = pick(other.size());
            const size_t n2 = std::min({b.size() - at, other.size() - from, 1 + pick(100)});
            std::copy_n(other.begin() + static_cast<std::ptrdiff_t>(from), n2,
                        b.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        }
        default:
            for (size_t k = 1 + pick(8); k > 0; --k)
                b[pick(b.size())] = static_cast<uint8_t>(pick(256));
        }
    }
    return b;
}

size_t Inputs() {
    const char* text = std::getenv("VI801_BANK_FUZZ_INPUTS");
    return text ? std::strtoull(text, nullptr, 10) : 5000;
}

// What every instrument read from any bytes keeps to.
void CheckInstruments(const std::vector<BankInstrument>& all, const BankBytes& bytes) {
    ASSERT_LE(all.size(), bytes.size() / 13 + 1) << "more instruments than the bytes can hold";
    for (size_t k = 0; k < all.size(); ++k) {
        const BankInstrument& i = all[k];
        if (k > 0) {
            ASSERT_GT(i.Index, all[k - 1].Index);
        }
        for (char c : i.Name)
            ASSERT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) << i.Name;
        if (!i.Name.empty()) {
            ASSERT_NE(i.Name.front(), ' ');
            ASSERT_NE(i.Name.back(), ' ');
        }
        for (const OperatorPair& p : i.Pairs)
            ASSERT_EQ(p.RegC0 & 0xF0, 0);
        if (i.Layout == VoiceLayout::OnePair) {
            ASSERT_EQ(i.Pairs[1], OperatorPair{});
        }
        if (i.FixedNote) {
            ASSERT_LT(*i.FixedNote, 0x100);
        }
    }
}

class BankFuzz : public testing::TestWithParam<FuzzCase> {};

TEST_P(BankFuzz, AnyBytesReadByTheRulesOrAreRefusedWithAReason) {
    const FuzzCase& c = GetParam();
    std::mt19937_64 rng(801);
    const size_t inputs = Inputs();
    size_t read = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t n = 0; n < inputs; ++n) {
        const BankBytes bytes = Mutate(rng, c.seeds);
        try {
            const std::vector<BankInstrument> all = c.read(bytes);
            CheckInstruments(all, bytes);
            if (HasFatalFailure()) FAIL() << "input " << n << ": " << testing::PrintToString(bytes);
            ++read;
        } catch (const Error& e) {
            const std::string why = e.what();
            ASSERT_EQ(why.rfind(c.refusal, 0), 0u) << why;
            ASSERT_EQ(why.find('\n'), std::string::npos) << why;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s fuzz: %zu inputs, %zu read, %zu refused, %.1f s\n", c.name, inputs, read,
                inputs - read, seconds);
    EXPECT_GT(read, inputs / 50) << "the mutations hardly ever leave a readable file";
    EXPECT_GT(inputs - read, inputs / 50) << "the mutations hardly ever break a file";
}

INSTANTIATE_TEST_SUITE_P(Readers, BankFuzz, testing::ValuesIn(FuzzCases()),
                         [](const testing::TestParamInfo<FuzzCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

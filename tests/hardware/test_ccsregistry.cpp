#include "error.h"
#include "hardware/ccsregistry.h"
#include "sysfs_tree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include <unistd.h>

namespace {
const std::string kBase = kPciEnumKey;
const std::string kFm801 = "VEN_1319&DEV_0801&SUBSYS_13191319&REV_B2";

using Bytes = std::vector<uint8_t>;

Bytes Ports(std::initializer_list<uint64_t> starts) {
    std::vector<ResourceRange> ranges;
    for (uint64_t start : starts)
        ranges.push_back({ResourceRange::Port, start, 0x80});
    return BuildResourceList(ranges);
}

// One instance: started (AllocConfig) or not, with a BootConfig or not.
struct Instance {
    std::string device;
    std::string name;
    bool started = true;
    std::optional<Bytes> bootConfig;
    RegistryDataType type = RegistryDataType::Binary;
    bool hasLogConf = true;
    bool hasControl = true;
};

std::unique_ptr<MemoryRegistry> MakeRegistry(const std::vector<Instance>& instances) {
    auto registry = std::make_unique<MemoryRegistry>();
    registry->AddKey(kBase);
    for (const Instance& in : instances) {
        const std::string path = kBase + "\\" + in.device + "\\" + in.name;
        registry->AddKey(path);
        if (in.hasControl) {
            registry->AddKey(path + "\\Control");
            if (in.started)
                registry->SetValue(path + "\\Control", "AllocConfig", RegistryDataType::Binary, {});
        }
        if (in.hasLogConf) {
            registry->AddKey(path + "\\LogConf");
            if (in.bootConfig)
                registry->SetValue(path + "\\LogConf", "BootConfig", in.type, *in.bootConfig);
        }
    }
    return registry;
}

struct SearchCase {
    const char* what;
    std::vector<Instance> instances;
    uint16_t expected;
    std::string instance;
};
void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.what;
}

class SearchTest : public testing::TestWithParam<SearchCase> {};

TEST_P(SearchTest, FindsTheLastPortOfTheLastStartedInstance) {
    const SearchCase& c = GetParam();
    auto registry = MakeRegistry(c.instances);
    MemoryRegistry* view = registry.get();
    // Keep the accessor alive past the search to inspect how it was used.
    struct Borrowed : RegistryAccessor {
        MemoryRegistry* inner;
        explicit Borrowed(MemoryRegistry* r) : inner(r) {}
        bool OpenKey(const std::string& p) override { return inner->OpenKey(p); }
        void CloseKey() override { inner->CloseKey(); }
        std::vector<std::string> GetKeyNames() override { return inner->GetKeyNames(); }
        bool ValueExists(const std::string& n) override { return inner->ValueExists(n); }
        size_t ReadBinaryData(const std::string& n, void* b, size_t s) override {
            return inner->ReadBinaryData(n, b, s);
        }
    };
    CCSRegistry search(std::make_unique<Borrowed>(view));
    EXPECT_EQ(search.GetPortBase(), c.expected) << c.what;
    EXPECT_EQ(search.GetInstance(), c.instance) << c.what;
    EXPECT_FALSE(view->OpenedWhileOpen()) << c.what;
    ASSERT_FALSE(view->OpenedPaths().empty());
    EXPECT_EQ(view->OpenedPaths().front(), kBase);
    for (const std::string& path : view->OpenedPaths())
        EXPECT_EQ(path.rfind(kBase, 0), 0u) << path;
}

Bytes WithInterface(Bytes data, uint32_t type) {
    data[4] = uint8_t(type);
    data[5] = uint8_t(type >> 8);
    return data;
}

Bytes Truncated(Bytes data, size_t size) {
    data.resize(size);
    return data;
}

Bytes Mixed() {
    return BuildResourceList({{ResourceRange::Interrupt, 11, 0},
                              {ResourceRange::Port, 0xD000, 0x80},
                              {ResourceRange::Memory, 0xFEB00000, 0x1000}});
}

Bytes CountTooLarge() {
    Bytes data = Ports({0xA000, 0xB000});
    data[16] = 0xFF;
    data[17] = 0xFF;
    data[18] = 0xFF;
    data[19] = 0xFF;
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchTest,
    testing::Values(
        SearchCase{"no device at all", {}, 0, ""},
        SearchCase{"one started FM801",
                   {{kFm801, "4&1&0&0008", true, Ports({0xE800})}},
                   0xE800,
                   "4&1&0&0008"},
        SearchCase{"other vendors are passed over",
                   {{"VEN_8086&DEV_1234&SUBSYS_00000000&REV_01", "i", true, Ports({0x1000})}},
                   0,
                   ""},
        SearchCase{"bare prefix matches",
                   {{"VEN_1319&DEV_0801", "i", true, Ports({0xC000})}},
                   0xC000,
                   "i"},
        SearchCase{"anything after the prefix matches",
                   {{"VEN_1319&DEV_0801xyz", "i", true, Ports({0xC000})}},
                   0xC000,
                   "i"},
        SearchCase{"prefix compared case-sensitively",
                   {{"ven_1319&dev_0801&SUBSYS_13191319&REV_B2", "i", true, Ports({0xC000})}},
                   0,
                   ""},
        SearchCase{"a shorter name does not match",
                   {{"VEN_1319&DEV_080", "i", true, Ports({0xC000})}},
                   0,
                   ""},
        SearchCase{"the last of two device keys wins",
                   {{kFm801, "a", true, Ports({0xA000})},
                    {"VEN_1319&DEV_0801&SUBSYS_00000000&REV_01", "b", true, Ports({0xB000})}},
                   0xB000,
                   "b"},
        SearchCase{"the last of two started instances wins",
                   {{kFm801, "a", true, Ports({0xA000})}, {kFm801, "b", true, Ports({0xB000})}},
                   0xB000,
                   "b"},
        SearchCase{"an instance not started is ignored even with a port",
                   {{kFm801, "a", true, Ports({0xA000})}, {kFm801, "b", false, Ports({0xB000})}},
                   0xA000,
                   "a"},
        SearchCase{"no Control key",
                   {{kFm801, "a", true, Ports({0xA000}), RegistryDataType::Binary, true, false}},
                   0,
                   ""},
        SearchCase{"no LogConf key",
                   {{kFm801, "a", true, Ports({0xA000}), RegistryDataType::Binary, false}},
                   0,
                   ""},
        SearchCase{"no BootConfig", {{kFm801, "a", true, std::nullopt}}, 0, ""},
        SearchCase{"the second of two port ranges wins",
                   {{kFm801, "a", true, Ports({0xA000, 0xB400})}},
                   0xB400,
                   "a"},
        SearchCase{"only the low 16 bits of the start",
                   {{kFm801, "a", true, Ports({0x1234E800})}},
                   0xE800,
                   "a"},
        SearchCase{
            "interrupts and memory are skipped", {{kFm801, "a", true, Mixed()}}, 0xD000, "a"},
        SearchCase{"interface type other than PCI",
                   {{kFm801, "a", true, WithInterface(Ports({0xA000}), 1)}},
                   0,
                   ""},
        SearchCase{"only the low byte of the interface type",
                   {{kFm801, "a", true, WithInterface(Ports({0xA000}), 0x105)}},
                   0xA000,
                   "a"},
        SearchCase{
            "count beyond the data read", {{kFm801, "a", true, CountTooLarge()}}, 0xB000, "a"},
        SearchCase{"a descriptor cut short is not read",
                   {{kFm801, "a", true, Truncated(Ports({0xA000, 0xB000}), 20 + 16 + 15)}},
                   0xA000,
                   "a"},
        SearchCase{"too short for the interface type",
                   {{kFm801, "a", true, Truncated(Ports({0xA000}), 4)}},
                   0,
                   ""},
        SearchCase{"untyped data is read like binary",
                   {{kFm801, "a", true, Ports({0xA000}), RegistryDataType::Unknown}},
                   0xA000,
                   "a"},
        SearchCase{
            "a later instance without a port keeps the earlier base",
            {{kFm801, "a", true, Ports({0xA000})},
             {kFm801, "b", true, BuildResourceList({{ResourceRange::Memory, 0xFEB00000, 0x1000}})}},
            0xA000,
            "a"},
        SearchCase{"a port at zero is a port",
                   {{kFm801, "a", true, Ports({0xA000})}, {kFm801, "b", true, Ports({0x10000})}},
                   0,
                   "b"}));

TEST(CCSRegistry, RaisesForBootConfigNotBinaryOrTooLong) {
    struct Bad {
        RegistryDataType type;
        size_t size;
    };
    for (const Bad bad :
         {Bad{RegistryDataType::String, 20}, Bad{RegistryDataType::Integer, 4},
          Bad{RegistryDataType::ExpandString, 20}, Bad{RegistryDataType::Binary, 1025}}) {
        Bytes data = Ports({0xA000});
        data.resize(bad.size);
        auto registry = MakeRegistry({{kFm801, "a", true, data, bad.type}});
        try {
            CCSRegistry search(std::move(registry));
            ADD_FAILURE() << "no error for size " << bad.size;
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "Invalid data type for 'BootConfig'");
        }
    }
    // Exactly the buffer's size is still read.
    Bytes full = Ports({0xA000});
    full.resize(kBootConfigBufferSize);
    EXPECT_EQ(CCSRegistry(MakeRegistry({{kFm801, "a", true, full}})).GetPortBase(), 0xA000);
}

TEST(CCSRegistry, EmulatedCardView) {
    EXPECT_EQ(CCSRegistry(std::make_unique<EmulatedCardRegistry>()).GetPortBase(), 0xE800);
    CCSRegistry other(std::make_unique<EmulatedCardRegistry>(0x0400));
    EXPECT_EQ(other.GetPortBase(), 0x0400);
    EXPECT_EQ(other.GetInstance(), EmulatedCardRegistry::kInstanceName);
}

TEST(SysfsRegistry, DeviceKeysFollowTheEnumerationNaming) {
    SysfsTree tree;
    tree.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xE800, 0xE87F, kIo}});
    SysfsRegistry registry(tree.Root());
    ASSERT_TRUE(registry.OpenKey(kBase));
    EXPECT_EQ(registry.GetKeyNames(), std::vector<std::string>{kFm801});
    ASSERT_TRUE(registry.OpenKey(kBase + "\\" + kFm801));
    EXPECT_EQ(registry.GetKeyNames(), std::vector<std::string>{"0000:05:00.0"});
}

struct SysfsCase {
    const char* what;
    std::function<void(SysfsTree&)> build;
    uint16_t expected;
    std::string instance;
};
void PrintTo(const SysfsCase& c, std::ostream* os) {
    *os << c.what;
}

class SysfsSearchTest : public testing::TestWithParam<SysfsCase> {};

TEST_P(SysfsSearchTest, Finds) {
    SysfsTree tree;
    GetParam().build(tree);
    CCSRegistry search(std::make_unique<SysfsRegistry>(tree.Root()));
    EXPECT_EQ(search.GetPortBase(), GetParam().expected) << GetParam().what;
    EXPECT_EQ(search.GetInstance(), GetParam().instance) << GetParam().what;
    EXPECT_EQ(Fm801Present(tree.Root()), GetParam().expected != 0) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, SysfsSearchTest,
    testing::Values(
        SysfsCase{"no FM801",
                  [](SysfsTree& t) {
                      t.AddDevice("0000:00:1f.0", 0x8086, 0x1234, true, {{0x1000, 0x101F, kIo}});
                  },
                  0, ""},
        SysfsCase{"one FM801 with interrupt and memory too",
                  [](SysfsTree& t) {
                      t.AddDevice("0000:00:1f.0", 0x8086, 0x1234, true, {{0x1000, 0x101F, kIo}});
                      t.AddDevice("0000:05:00.0", 0x1319, 0x0801, true,
                                  {{0xE800, 0xE87F, kIo}, {0xFEB00000, 0xFEB00FFF, kMem}}, 17);
                  },
                  0xE800, "0000:05:00.0"},
        SysfsCase{"FM801 not enabled",
                  [](SysfsTree& t) {
                      t.AddDevice("0000:05:00.0", 0x1319, 0x0801, false, {{0xE800, 0xE87F, kIo}});
                  },
                  0, ""},
        SysfsCase{"two FM801s: the later address wins",
                  [](SysfsTree& t) {
                      t.AddDevice("0000:06:00.0", 0x1319, 0x0801, true, {{0xD000, 0xD07F, kIo}});
                      t.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xE800, 0xE87F, kIo}});
                  },
                  0xD000, "0000:06:00.0"},
        SysfsCase{"two FM801s, the later one disabled",
                  [](SysfsTree& t) {
                      t.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xE800, 0xE87F, kIo}});
                      t.AddDevice("0000:06:00.0", 0x1319, 0x0801, false, {{0xD000, 0xD07F, kIo}});
                  },
                  0xE800, "0000:05:00.0"},
        SysfsCase{"several I/O ranges: the last one",
                  [](SysfsTree& t) {
                      t.AddDevice("0000:05:00.0", 0x1319, 0x0801, true,
                                  {{0xE800, 0xE87F, kIo},
                                   {0xFEB00000, 0xFEB00FFF, kMem},
                                   {0x0400, 0x040F, kIo},
                                   {0xFEC00000, 0xFEC00FFF, kMem}});
                  },
                  0x0400, "0000:05:00.0"},
        SysfsCase{
            "enabled FM801 without I/O range",
            [](SysfsTree& t) {
                t.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xFEB00000, 0xFEB00FFF, kMem}});
            },
            0, ""},
        SysfsCase{"a directory that is not a device", [](SysfsTree&) {}, 0, ""}));

TEST(SysfsRegistry, MissingRootFindsNothing) {
    EXPECT_EQ(CCSRegistry(std::make_unique<SysfsRegistry>("/nonexistent/vi801")).GetPortBase(), 0);
}

// The parser meets whatever bytes a registry holds. Each input sits in an
// allocation of exactly its size, so a read past it is caught by the
// address sanitizer.
std::unique_ptr<uint8_t[]> Exactly(const uint8_t* bytes, size_t size) {
    std::unique_ptr<uint8_t[]> data(new uint8_t[size]);
    std::memcpy(data.get(), bytes, size);
    return data;
}

TEST(ParseBootConfig, SurvivesRandomAndTruncatedInputs) {
    std::mt19937_64 random(801);
    constexpr int kLists = 62'500, kCutsPerList = 8, kRandomInputs = 500'000;
    const auto start = std::chrono::steady_clock::now();

    // Well-formed lists cut at random lengths: only the descriptors that
    // survive whole may count.
    for (int list = 0; list < kLists; ++list) {
        std::vector<ResourceRange> ranges(random() % 63);
        for (auto& r : ranges) {
            r.type = uint8_t(random() % 4);
            r.start = random();
        }
        const Bytes whole = BuildResourceList(ranges);
        for (int cut = 0; cut < kCutsPerList; ++cut) {
            const size_t size = random() % (whole.size() + 1);
            uint16_t expected = 0x5A5A;
            bool expectFound = false;
            for (size_t k = 0; k < ranges.size() && 20 + 16 * (k + 1) <= size; ++k) {
                if (ranges[k].type == ResourceRange::Port) {
                    expected = uint16_t(ranges[k].start);
                    expectFound = true;
                }
            }
            const auto data = Exactly(whole.data(), size);
            uint16_t base = 0x5A5A;
            ASSERT_EQ(ParseBootConfig(data.get(), size, base), expectFound)
                << "list " << list << " cut at " << size;
            ASSERT_EQ(base, expected) << "list " << list << " cut at " << size;
        }
    }

    // Random bytes, mostly marked PCI so that the descriptors are walked.
    std::vector<uint8_t> noise(kBootConfigBufferSize + 8);
    for (int i = 0; i < kRandomInputs; ++i) {
        const size_t size = random() % (kBootConfigBufferSize + 1);
        for (size_t b = 0; b < size; b += 8) {
            const uint64_t bits = random();
            std::memcpy(&noise[b], &bits, 8);
        }
        if (size > 4 && random() % 8 != 0) noise[4] = 5;
        const auto data = Exactly(noise.data(), size);
        uint16_t base = 0x5A5A;
        if (!ParseBootConfig(data.get(), size, base)) {
            ASSERT_EQ(base, 0x5A5A);
        }
    }

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("ParseBootConfig: %d inputs (%d truncated lists, %d random) in %.1f s\n",
                kLists * kCutsPerList + kRandomInputs, kLists * kCutsPerList, kRandomInputs,
                seconds);
}
} // namespace

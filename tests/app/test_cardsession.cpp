#include "app/cardsession.h"
#include "error.h"
#include "fakealsa.h"
#include "hardware/alsa/alsaopl3card.h"
#include "hardware/ccsregistry.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "sysfs_tree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace {
CommandLine Options(CardOption card, std::string portLog = "") {
    CommandLine options;
    options.card = card;
    options.portLog = std::move(portLog);
    return options;
}

// The machine as a test has it: ports granted or not, ALSA's devices faked.
CardProbe Probe(const SysfsTree& tree, bool portsGranted, FakeAlsa& alsa) {
    return {tree.Root(), [portsGranted] { return portsGranted; }, &alsa};
}

TEST(CardSessionTest, AutoTakesARealCardWhenTheTreeHasOneAndItsPortsAreGranted) {
    SysfsTree tree;
    tree.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xD000, 0xD07F, kIo}});
    FakeAlsa alsa;
    alsa.devices = {Fm801Device()};
    {
        CardSession session(Options(CardOption::Auto), Probe(tree, true, alsa));
        EXPECT_EQ(alsa.driver, nullptr) << "ALSA's device stays closed";
        EXPECT_EQ(session.Card().kind, CardKind::Hardware);
        EXPECT_FALSE(session.Card().chosenByOption);
        EXPECT_EQ(&CurrentPortBackend(), &HardwarePorts::Instance());
        // The dialog's search sees the same tree.
        CCSRegistry search(session.DeviceView());
        EXPECT_EQ(search.GetPortBase(), 0xD000);
        EXPECT_EQ(search.GetInstance(), "0000:05:00.0");
    }
}

TEST(CardSessionTest, AutoWithoutACardPlaysTheEmulatedOneAndItsSearchFindsIt) {
    SysfsTree tree;
    tree.AddDevice("0000:05:00.0", 0x1319, 0x0801, false, {{0xD000, 0xD07F, kIo}});
    PortBackend* before = &CurrentPortBackend();
    {
        CardSession session(Options(CardOption::Auto), tree.Root());
        EXPECT_EQ(session.Card().kind, CardKind::Emulated);
        EXPECT_FALSE(session.Card().chosenByOption);
        ASSERT_NE(session.Emulated(), nullptr);
        EXPECT_EQ(&CurrentPortBackend(), session.Emulated());
        EXPECT_EQ(CCSRegistry(session.DeviceView()).GetPortBase(), 0xE800);
        // The dialog is told about the output the card really opened.
        EXPECT_EQ(session.Card().output.open, session.Emulated()->OutputInfo().open);
        if (!session.Card().output.open) {
            EXPECT_FALSE(session.Card().output.error.empty());
        }
    }
    EXPECT_EQ(&CurrentPortBackend(), before);
}

TEST(CardSessionTest, HardwareChosenWithoutACardIsNotFoundByTheDialog) {
    SysfsTree tree;
    CardSession session(Options(CardOption::Hardware), tree.Root());
    EXPECT_EQ(session.Card().kind, CardKind::Hardware);
    EXPECT_TRUE(session.Card().chosenByOption);
    EXPECT_EQ(CCSRegistry(session.DeviceView()).GetPortBase(), 0);
    // Port permission, where refused, gives the giveio message.
    try {
        EnablePortAccess();
    } catch (const PortAccessError& error) {
        EXPECT_STREQ(error.what(), "Couldn't access giveio device");
        // The reason the terminal is told: no privilege, or no port I/O.
        EXPECT_TRUE(error.Reason() == EPERM || error.Reason() == ENOSYS) << error.Reason();
    }
}

TEST(CardSessionTest, PortLogWrapsTheEmulatedCard) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("ports.log").toStdString();
    {
        CardSession session(Options(CardOption::Emulated, path));
        EXPECT_TRUE(session.Card().chosenByOption);
        EXPECT_NE(&CurrentPortBackend(), session.Emulated());
        OutWord(0xE802, 0x0707);
        EXPECT_EQ(InWord(0xE802), 0x0707); // the card itself answers
    }
    std::ifstream log(path);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("0xE802"), std::string::npos) << text.str();
}

TEST(CardSessionTest, UnwritablePortLogRaisesAndInstallsNothing) {
    PortBackend* before = &CurrentPortBackend();
    EXPECT_THROW(CardSession(Options(CardOption::Emulated, "/nonexistent/dir/ports.log")), Error);
    EXPECT_EQ(&CurrentPortBackend(), before);
}
TEST(CardSessionTest, RenderingTakesTheEmulatedCardWithoutAnOutputEvenBesideARealOne) {
    SysfsTree tree;
    tree.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xD000, 0xD07F, kIo}});
    CommandLine options = Options(CardOption::Auto);
    options.render = "song.mid";
    options.out = "song.wav";
    CardSession session(options, tree.Root());
    EXPECT_EQ(session.Card().kind, CardKind::Emulated);
    ASSERT_NE(session.Emulated(), nullptr);
    EXPECT_FALSE(session.Emulated()->OutputInfo().open);
    EXPECT_EQ(&CurrentPortBackend(), session.Emulated());
}

TEST(CardSessionTest, RecordingIsRefusedWhenTheHardwarePlays) {
    SysfsTree tree;
    tree.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xD000, 0xD07F, kIo}});
    CommandLine options = Options(CardOption::Auto);
    options.record = (QDir::temp().filePath("vi801-never.wav")).toStdString();
    PortBackend* before = &CurrentPortBackend();
    FakeAlsa alsa;
    try {
        CardSession session(options, Probe(tree, true, alsa));
        ADD_FAILURE() << "recording the hardware";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("--card=emulated"), std::string::npos) << e.what();
    }
    EXPECT_EQ(&CurrentPortBackend(), before);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(options.record)));
}
struct AlsaCase {
    const char* what;
    CardOption option;
    bool fm801OnTheBus;
    bool portsGranted;
    std::vector<int> openErrors; // one device per entry: 0 opens, else its errno
    CardKind kind;
    uint16_t foundAt;           // by the dialog's search; 0: not found
    std::string device;         // the ALSA device played, if any
    std::string refusalOrError; // a part of either
};
void PrintTo(const AlsaCase& c, std::ostream* os) {
    *os << c.what;
}

class CardSessionAlsa : public testing::TestWithParam<AlsaCase> {};

TEST_P(CardSessionAlsa, ChoosesAndTells) {
    const AlsaCase& c = GetParam();
    SysfsTree tree;
    if (c.fm801OnTheBus)
        tree.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xD000, 0xD07F, kIo}});
    FakeAlsa alsa;
    for (size_t i = 0; i < c.openErrors.size(); ++i)
        alsa.devices.push_back(Fm801Device(static_cast<int>(i)));
    alsa.openErrors = c.openErrors;
    PortBackend* before = &CurrentPortBackend();
    if (c.kind == CardKind::Alsa && c.foundAt == 0 && !c.refusalOrError.empty()) {
        try {
            CardSession session(Options(c.option), Probe(tree, c.portsGranted, alsa));
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_NE(std::string(error.what()).find(c.refusalOrError), std::string::npos)
                << error.what();
        }
        EXPECT_EQ(&CurrentPortBackend(), before);
        return;
    }
    CardSession session(Options(c.option), Probe(tree, c.portsGranted, alsa));
    EXPECT_EQ(session.Card().kind, c.kind);
    EXPECT_EQ(session.Card().alsa.device, c.device);
    EXPECT_EQ(CCSRegistry(session.DeviceView()).GetPortBase(), c.foundAt);
    if (c.kind == CardKind::Alsa && session.Alsa()) {
        EXPECT_EQ(&CurrentPortBackend(), session.Alsa());
        EXPECT_EQ(session.Alsa()->Base(), c.foundAt);
        EXPECT_EQ(session.Card().alsa.volumeControl, "FM");
        // The chip was taken over: silenced, in OPL3 mode.
        EXPECT_EQ(alsa.driver->mode, FakeFmDriver::kOpl3);
        OutWord(c.foundAt + 2, 0x8A05);
        EXPECT_EQ(alsa.mixer->setting, (VolumeControl::Setting{26, 21, false}));
    }
    if (c.kind == CardKind::Emulated) {
        EXPECT_EQ(&CurrentPortBackend(), session.Emulated());
    }
    if (c.refusalOrError.empty()) {
        EXPECT_EQ(session.Card().alsaRefused, "");
    } else {
        EXPECT_NE(session.Card().alsaRefused.find(c.refusalOrError), std::string::npos)
            << session.Card().alsaRefused;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardSessionAlsa,
    testing::Values(AlsaCase{"auto, the FM801's ports refused: its OPL3 through ALSA",
                             CardOption::Auto,
                             true,
                             false,
                             {0},
                             CardKind::Alsa,
                             0xD000,
                             "hw:0,0 (ForteMedia FM801)",
                             ""},
                    AlsaCase{"auto, an OPL3 device and no FM801 on the bus",
                             CardOption::Auto,
                             false,
                             true,
                             {0},
                             CardKind::Alsa,
                             0xE800,
                             "hw:0,0 (ForteMedia FM801)",
                             ""},
                    AlsaCase{"auto, the first device busy, the second free",
                             CardOption::Auto,
                             false,
                             false,
                             {EBUSY, 0},
                             CardKind::Alsa,
                             0xE800,
                             "hw:1,0 (ForteMedia FM801)",
                             ""},
                    AlsaCase{"auto, the device refused: emulated, and why",
                             CardOption::Auto,
                             false,
                             false,
                             {EACCES},
                             CardKind::Emulated,
                             0xE800,
                             "",
                             "group 'audio'"},
                    AlsaCase{"auto, no device at all",
                             CardOption::Auto,
                             false,
                             false,
                             {},
                             CardKind::Emulated,
                             0xE800,
                             "",
                             ""},
                    AlsaCase{"asked for, none there: not found",
                             CardOption::Alsa,
                             true,
                             true,
                             {},
                             CardKind::Alsa,
                             0,
                             "",
                             ""},
                    AlsaCase{"asked for and refused: the error says why",
                             CardOption::Alsa,
                             false,
                             false,
                             {EACCES},
                             CardKind::Alsa,
                             0,
                             "",
                             "Permission denied; users of the group 'audio'"},
                    AlsaCase{"asked for beside a granted FM801",
                             CardOption::Alsa,
                             true,
                             true,
                             {0},
                             CardKind::Alsa,
                             0xD000,
                             "hw:0,0 (ForteMedia FM801)",
                             ""}));
} // namespace

#include "app/cardsession.h"
#include "error.h"
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

TEST(CardSessionTest, AutoTakesARealCardWhenTheTreeHasOne) {
    SysfsTree tree;
    tree.AddDevice("0000:05:00.0", 0x1319, 0x0801, true, {{0xD000, 0xD07F, kIo}});
    {
        CardSession session(Options(CardOption::Auto), tree.Root());
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
    try {
        CardSession session(options, tree.Root());
        ADD_FAILURE() << "recording the hardware";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("--card=emulated"), std::string::npos) << e.what();
    }
    EXPECT_EQ(&CurrentPortBackend(), before);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(options.record)));
}
} // namespace

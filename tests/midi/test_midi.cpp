// MIDI input on a userspace JACK server of the test's own, with a MIDI
// output of the test's own playing into it.
#include "jackpeers.h"
#include "midi/midi.h"
#include "midi/postedmessage.h"
#include "midi/shortmessage.h"
#include "support/jackserver.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Posted {
    uint32_t message, wparam, lparam;
};

// Stands in for the main window: keeps what is posted to it.
class Owner : public QObject {
public:
    std::vector<Posted> got;
    bool event(QEvent* e) override {
        if (e->type() != PostedMessage::EventType()) return QObject::event(e);
        const auto& m = static_cast<const PostedMessage&>(*e);
        got.push_back({m.Message, m.WParam, m.LParam});
        return true;
    }
    // Lets posted messages arrive until there are count of them, or time is up.
    const std::vector<Posted>& WaitFor(size_t count, std::chrono::milliseconds timeout = 3s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(1ms);
        }
        return got;
    }
};

int IndexOf(const QStringList& list, const QString& text) {
    return static_cast<int>(list.indexOf(text));
}

class MidiOnJack : public testing::Test {
protected:
    std::unique_ptr<JackServer> server;
    std::unique_ptr<JackMidiSender> keys;

    void SetUp() override {
        server = std::make_unique<JackServer>();
        REQUIRE_JACK_SERVER(*server);
        keys = std::make_unique<JackMidiSender>("keys");
        ASSERT_TRUE(keys->Ok());
    }
    void TearDown() override { keys.reset(); }

    // VI 801's virtual input, which other programs connect to.
    std::string VirtualPort() const {
        const auto ports = JackPorts(keys->Client(), "^VI 801[^:]*:VI 801$", JACK_DEFAULT_MIDI_TYPE,
                                     JackPortIsInput);
        return ports.size() == 1 ? ports[0] : "";
    }
};

} // namespace

TEST_F(MidiOnJack, ListsThePortsThenTheVirtualInputLastAndOpensNoOtherEntry) {
    Owner owner;
    Midi midi(&owner);
    QStringList list;
    EXPECT_EQ(midi.GetDeviceList(list), midi.DeviceCount + 1);
    ASSERT_GE(list.size(), 3);
    EXPECT_EQ(list.front(), "No midi input");
    EXPECT_EQ(list.back(), "VI 801 virtual input");
    EXPECT_GE(IndexOf(list, QString::fromStdString(keys->PortName())), 1);
    EXPECT_FALSE(midi.IsOpen);
    for (int index : {-1, 0, midi.DeviceCount + 1}) {
        EXPECT_FALSE(midi.OpenDevice(index)) << index;
        EXPECT_FALSE(midi.Start());
    }
    EXPECT_TRUE(owner.WaitFor(1, 50ms).empty()); // nothing was opened
}

TEST_F(MidiOnJack, OpenPostsOpenThenEveryShortMessageAfterStartInOrder) {
    Owner owner;
    Midi midi(&owner);
    QStringList list;
    midi.GetDeviceList(list);
    ASSERT_TRUE(midi.OpenDevice(IndexOf(list, QString::fromStdString(keys->PortName()))));
    ASSERT_EQ(owner.WaitFor(1).size(), 1u);
    EXPECT_EQ(owner.got[0].message, MM_MIM_OPEN);
    const uint32_t handle = owner.got[0].wparam;
    EXPECT_EQ(handle, midi.Handle);
    EXPECT_NE(handle, KeyboardSource);

    keys->Send({0x90, 1, 1}); // before Start: not delivered
    ASSERT_TRUE(keys->WaitUntilSent(2000));
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(midi.Start());
    const std::vector<std::vector<uint8_t>> sent = {
        {0x90, 60, 100},  {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, // system exclusive
        {0xF8},                                                 // clock
        {0xB3, 7, 99},    {0xFE},                               // active sensing
        {0xE0, 0, 127},   {0xC5, 12},
        {0xD0, 40},       {0xF2, 1, 2},
        {0x90, 62, 0xC0}, {0x90, 0xBE, 1}, // a status byte where data should be
        {0x80, 60, 0},
    };
    for (const auto& m : sent)
        keys->Send(m);
    const uint32_t expected[] = {0x643C90, 0x6307B3, 0x7F00E0, 0x0CC5, 0x28D0, 0x0201F2, 0x3C80};
    const auto& got = owner.WaitFor(1 + std::size(expected));
    ASSERT_EQ(got.size(), 1 + std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(got[1 + i].message, MM_MIM_DATA);
        EXPECT_EQ(got[1 + i].wparam, handle);
        EXPECT_EQ(got[1 + i].lparam, expected[i]) << i;
    }
}

TEST_F(MidiOnJack, VirtualInputTakesAConnectionAndClosingEndsDelivery) {
    Owner owner;
    auto midi = std::make_unique<Midi>(&owner);
    ASSERT_TRUE(midi->OpenDevice(midi->DeviceCount));
    ASSERT_EQ(owner.WaitFor(1).size(), 1u);
    midi->Start();
    const std::string port = VirtualPort();
    ASSERT_FALSE(port.empty());
    ASSERT_TRUE(keys->ConnectTo(port));
    keys->Send({0x91, 69, 127});
    ASSERT_EQ(owner.WaitFor(2).size(), 2u);
    EXPECT_EQ(owner.got[1].lparam, 0x7F4591u);

    // Entry 0 closes the input: the port goes and nothing more arrives.
    EXPECT_FALSE(midi->OpenDevice(0));
    EXPECT_FALSE(midi->IsOpen);
    EXPECT_TRUE(VirtualPort().empty());
    keys->Send({0x81, 69, 0});
    EXPECT_EQ(owner.WaitFor(3, 100ms).size(), 2u);

    // Reopened, it waits for Start again; destroyed, it is gone.
    ASSERT_TRUE(midi->OpenDevice(midi->DeviceCount));
    ASSERT_TRUE(keys->ConnectTo(VirtualPort()));
    keys->Send({0x91, 70, 1});
    ASSERT_TRUE(keys->WaitUntilSent(2000));
    ASSERT_EQ(owner.WaitFor(4, 100ms).size(), 3u);
    EXPECT_EQ(owner.got[2].message, MM_MIM_OPEN);
    EXPECT_NE(owner.got[2].wparam, owner.got[0].wparam);
    midi->Start();
    keys->Send({0x91, 71, 1});
    ASSERT_EQ(owner.WaitFor(4).size(), 4u);
    EXPECT_EQ(owner.got[3].lparam, 0x014791u);
    midi.reset();
    EXPECT_TRUE(VirtualPort().empty());
}

// A port that appears after the start is offered once the inputs are
// listed again; the open input stays open and goes on delivering.
TEST_F(MidiOnJack, ListingAgainOffersPortsThatAppearedAndKeepsTheOpenInput) {
    Owner owner;
    Midi midi(&owner);
    QStringList before;
    midi.GetDeviceList(before);
    ASSERT_TRUE(midi.OpenDevice(IndexOf(before, QString::fromStdString(keys->PortName()))));
    ASSERT_EQ(owner.WaitFor(1).size(), 1u);
    midi.Start();

    JackMidiSender later("later");
    ASSERT_TRUE(later.Ok());
    const QString laterPort = QString::fromStdString(later.PortName());
    EXPECT_LT(IndexOf(before, laterPort), 0);
    midi.ListDevices();
    QStringList after;
    EXPECT_EQ(midi.GetDeviceList(after), midi.DeviceCount + 1);
    EXPECT_GE(IndexOf(after, laterPort), 1);
    EXPECT_EQ(after.back(), "VI 801 virtual input");
    EXPECT_TRUE(midi.IsOpen);
    keys->Send({0x90, 64, 1});
    ASSERT_EQ(owner.WaitFor(2).size(), 2u);
    EXPECT_EQ(owner.got[1].lparam, 0x014090u);

    // The new port opens from its place in the new list.
    ASSERT_TRUE(midi.OpenDevice(IndexOf(after, laterPort)));
    ASSERT_EQ(owner.WaitFor(3).size(), 3u);
    midi.Start();
    later.Send({0x91, 65, 2});
    ASSERT_EQ(owner.WaitFor(4).size(), 4u);
    EXPECT_EQ(owner.got[3].lparam, 0x024191u);
}

// A server that stops answering between the listing and the opening: the
// input does not open, within the wait, and the port its thread opens late
// is closed again.
TEST_F(MidiOnJack, AnInputWhoseServerStopsAnsweringDoesNotOpen) {
    Owner owner;
    Midi midi(&owner);
    QStringList list;
    midi.GetDeviceList(list);
    const int virtualInput = IndexOf(list, "VI 801 virtual input");
    ASSERT_GT(virtualInput, 0);
    JackClientWatch watch("vi801-test-watch", "VI 801");
    ASSERT_TRUE(watch.Ok());
    ASSERT_TRUE(server->Pause());
    const bool open = midi.OpenDevice(virtualInput);
    ASSERT_TRUE(server->Resume());
    EXPECT_FALSE(open);
    EXPECT_FALSE(midi.Start());
    ASSERT_TRUE(watch.WaitCameAndWent(15s)) << "the late port did not come and go";
}

// Without a sequencer, and without a JACK server or with one that never
// answers, there is nothing to offer; one that never answers is named.
TEST(MidiWithoutSystem, OffersOnlyNoMidiInput) {
    if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
    for (const bool mute : {false, true}) {
        SCOPED_TRACE(mute ? "a server that never answers" : "no server");
        std::unique_ptr<MuteJackServer> server;
        if (mute) {
            server = std::make_unique<MuteJackServer>();
            ASSERT_TRUE(server->Listening()) << server->Why();
        } else {
            setenv("JACK_DEFAULT_SERVER", ("vi801-none-" + std::to_string(getpid())).c_str(), 1);
        }
        Owner owner;
        Midi midi(&owner); // the test hangs here where the wait has no bound
        QStringList list{"stale"};
        EXPECT_EQ(midi.GetDeviceList(list), 1);
        EXPECT_EQ(list, QStringList{"No midi input"});
        EXPECT_FALSE(midi.OpenDevice(1));
        EXPECT_EQ(midi.Unanswered,
                  mute ? std::vector<std::string>{"JACK"} : std::vector<std::string>{});
        unsetenv("JACK_DEFAULT_SERVER");
    }
}

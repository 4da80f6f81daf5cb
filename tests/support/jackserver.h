#pragma once
// A userspace JACK server of one test's own, with the dummy driver: no sound
// hardware needed. Audio and MIDI clients of this process (and of the
// programs it starts) meet it under its own name, apart from any other
// server on the machine, for as long as it lives.
//
// JACK's registry (/dev/shm/jack-shm-registry) holds eight servers, and a
// server that dies without cleaning up keeps its entry until a server of
// the same name starts. And clients of the same name meet at one socket
// whatever their server, so two servers' "VI 801" clients would trip over
// each other. So the tests take turns on one name, "vi801-test": it is
// taken while a lock on its file in the temporary folder is held, by the
// test and by its jackd, so a server left behind by a test that died
// keeps it until it ends.
#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class JackServer {
public:
    struct Options {
        unsigned rate = 48000;
        unsigned period = 128;
        // Synchronous mode: a late client delays the cycle instead of
        // leaving a gap, which suits recording what a client plays. Off, the
        // server reports every client that misses its cycle in its log.
        bool synchronous = true;
    };

    // Waits up to five minutes while another test's server has the name.
    explicit JackServer(Options options);
    JackServer() : JackServer(Options{}) {}
    ~JackServer(); // stops the server and gives its name back
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // False when jackd could not be started; Why() then says what happened.
    bool Running() const { return pid_ > 0; }
    // True when there is no jackd to start: the only reason to skip a test.
    bool Absent() const { return absent_; }
    const std::string& Why() const { return why_; }
    const std::string& Name() const { return name_; }
    std::string Log() const; // everything the server printed so far
    // Stops the server now (SIGTERM, which lets it clean up); false when
    // it did not end in time: it is left to end then, never killed. The
    // name stays taken until the object goes, so no other test's server
    // answers in its place.
    bool Stop();
    // Starts the server again under its name, after Stop().
    bool Start();
    // The same at another rate, which it keeps.
    bool Start(unsigned rate) {
        options_.rate = rate;
        return Start();
    }
    // Holds the server's process (SIGSTOP) and lets it go on: held, it
    // keeps its clients' connections and answers none, as a wedged server.
    bool Pause();
    bool Resume();

private:
    bool TakeName();
    void GiveNameBack();

    Options options_;
    int lock_ = -1;
    std::string name_;
    std::string logPath_;
    std::string why_;
    pid_t pid_ = -1;
    bool absent_ = false;
    bool paused_ = false;
};

// A JACK server as a client sees one that is stopped or wedged: its socket
// takes connections and never answers. While it lives, the JACK clients of
// this process meet it (JACK_DEFAULT_SERVER names it). It needs no jackd
// and no turn on the shared name.
class MuteJackServer {
public:
    MuteJackServer();
    ~MuteJackServer(); // closes the socket: waiting clients read its end
    MuteJackServer(const MuteJackServer&) = delete;
    MuteJackServer& operator=(const MuteJackServer&) = delete;

    bool Listening() const { return socket_ >= 0; }
    const std::string& Why() const { return why_; }

private:
    int socket_ = -1;
    std::string path_, why_;
};

// In a test's SetUp: skips the test where jackd is not installed, fails it
// where jackd is there but does not start.
#define REQUIRE_JACK_SERVER(server)                                                                \
    do {                                                                                           \
        if ((server).Absent()) GTEST_SKIP() << (server).Why();                                     \
        ASSERT_TRUE((server).Running()) << (server).Why();                                         \
    } while (false)

// Runs a program found on PATH with its output appended to logPath (or
// inherited when logPath is empty), and the descriptor keep open in it
// (-1: none); -1 when it can't start. Tied to its parent, it gets SIGTERM
// when the thread that started it ends.
pid_t SpawnProgram(const std::vector<std::string>& args, const std::string& logPath, int keep = -1,
                   bool tiedToParent = false);
// Exit status, or -1 when it did not end within the timeout or ended by a
// signal. One that did not end is killed, unless kill is false.
int WaitForProgram(pid_t pid, std::chrono::milliseconds timeout, bool kill = true);

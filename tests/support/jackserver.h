#pragma once
// A userspace JACK server of one test's own, with the dummy driver: no sound
// hardware needed. Audio and MIDI clients of this process (and of the
// programs it starts) meet it under its own name, apart from any other
// server on the machine, for as long as it lives.
//
// JACK's registry (/dev/shm/jack-shm-registry) holds eight servers, and a
// server that dies without cleaning up keeps its entry until a server of
// the same name starts. So the tests take turns on four names,
// "vi801-test-0" to "vi801-test-3": a name is taken while a lock on its
// file in the temporary folder is held, by the test and by its jackd, so a
// server left behind by a test that died keeps its name until it ends.
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

    static constexpr int kNames = 4;

    // Waits up to a minute for a free name when every one is taken.
    explicit JackServer(Options options);
    JackServer() : JackServer(Options{}) {}
    ~JackServer(); // stops the server and forgets its name
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // False when jackd could not be started; Why() then says what happened.
    bool Running() const { return pid_ > 0; }
    const std::string& Why() const { return why_; }
    const std::string& Name() const { return name_; }
    std::string Log() const; // everything the server printed so far
    // Stops the server now (SIGTERM, which lets it clean up) and gives its
    // name back; false when it did not end in time: it is left to end
    // then, never killed.
    bool Stop();

private:
    bool TakeName();
    void GiveNameBack();

    int lock_ = -1;
    std::string name_;
    std::string logPath_;
    std::string why_;
    pid_t pid_ = -1;
};

// Runs a program found on PATH with its output appended to logPath (or
// inherited when logPath is empty), and the descriptor keep open in it
// (-1: none); -1 when it can't start.
pid_t SpawnProgram(const std::vector<std::string>& args, const std::string& logPath, int keep = -1);
// Exit status, or -1 when it did not end within the timeout or ended by a
// signal. One that did not end is killed, unless kill is false.
int WaitForProgram(pid_t pid, std::chrono::milliseconds timeout, bool kill = true);

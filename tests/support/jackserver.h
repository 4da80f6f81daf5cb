#pragma once
// A userspace JACK server of one test's own, with the dummy driver: no sound
// hardware needed. Audio and MIDI clients of this process (and of the
// programs it starts) meet it under its own name, apart from any other
// server on the machine, for as long as it lives.
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
    // Stops the server now; false when it had to be killed.
    bool Stop();

private:
    std::string name_;
    std::string logPath_;
    std::string why_;
    pid_t pid_ = -1;
};

// Runs a program found on PATH with its output appended to logPath (or
// inherited when logPath is empty); -1 when it can't start.
pid_t SpawnProgram(const std::vector<std::string>& args, const std::string& logPath);
// Exit status, or -1 when it did not end within the timeout (it is killed then).
int WaitForProgram(pid_t pid, std::chrono::milliseconds timeout);

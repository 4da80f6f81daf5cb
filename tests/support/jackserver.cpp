#include "jackserver.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace std::chrono_literals;

namespace {
// A server whose test was killed would keep the name's lock for good and
// make every later test wait: it ends with the thread that started it.
pid_t SpawnTiedToParent(std::vector<char*>& argv, const std::string& logPath, int keep) {
    // The child says through this pipe whether exec failed; exec closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        if (!logPath.empty()) {
            const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (log >= 0) {
                dup2(log, 1);
                dup2(log, 2);
            }
        }
        if (keep >= 0) fcntl(keep, F_SETFD, 0);
        execvp(argv[0], argv.data());
        const char failed = 1;
        (void)!write(report[1], &failed, 1);
        _exit(127);
    }
    close(report[1]);
    char failed = 0;
    const bool execFailed = pid > 0 && read(report[0], &failed, 1) == 1;
    close(report[0]);
    if (execFailed) waitpid(pid, nullptr, 0);
    return pid > 0 && !execFailed ? pid : -1;
}
} // namespace

pid_t SpawnProgram(const std::vector<std::string>& args, const std::string& logPath, int keep,
                   bool tiedToParent) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (tiedToParent) return SpawnTiedToParent(argv, logPath, keep);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!logPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    // Onto itself: clears close-on-exec in the child only.
    if (keep >= 0) posix_spawn_file_actions_adddup2(&actions, keep, keep);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitForProgram(pid_t pid, std::chrono::milliseconds timeout, bool kill) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            if (!kill) return -1;
            ::kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(2ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
constexpr const char* kName = "vi801-test";
std::filesystem::path TemporaryFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / name;
}
} // namespace

bool JackServer::TakeName() {
    const std::string lockPath = TemporaryFile(std::string(kName) + ".lock").string();
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    lock_ = fd;
    name_ = kName;
    return true;
}

void JackServer::GiveNameBack() {
    if (lock_ >= 0) close(lock_);
    lock_ = -1;
}

JackServer::JackServer(Options options) : options_(options) {
    const auto giveUp = std::chrono::steady_clock::now() + 300s;
    while (!TakeName()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            why_ = std::string("the JACK server name ") + kName + " stayed in use for five minutes";
            return;
        }
        std::this_thread::sleep_for(100ms);
    }
    logPath_ = TemporaryFile(name_ + ".log").string();
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    Start();
}

JackServer::~JackServer() {
    Stop();
    GiveNameBack();
    unsetenv("JACK_DEFAULT_SERVER");
    if (!logPath_.empty()) std::filesystem::remove(logPath_);
}

bool JackServer::Start() {
    if (lock_ < 0 || pid_ > 0) return pid_ > 0;
    std::filesystem::remove(logPath_); // the last server's of this name
    std::vector<std::string> args = {"jackd"};
    if (options_.synchronous) args.push_back("-S");
    for (const std::string& a :
         {std::string("-r"), std::string("-d"), std::string("dummy"), std::string("-r"),
          std::to_string(options_.rate), std::string("-p"), std::to_string(options_.period)})
        args.push_back(a);
    pid_ = SpawnProgram(args, logPath_, lock_, true);
    if (pid_ < 0) {
        why_ = "jackd can't be started (is jackd2 installed?)";
        absent_ = true;
        return false;
    }
    const pid_t wait =
        SpawnProgram({"jack_wait", "-n", name_ + "-wait", "-w", "-t", "5"}, logPath_);
    if (wait < 0 || WaitForProgram(wait, 10s) != 0) {
        why_ = "jackd did not start: " + Log();
        Stop();
        return false;
    }
    return true;
}

bool JackServer::Pause() {
    paused_ = pid_ > 0 && kill(pid_, SIGSTOP) == 0;
    return paused_;
}

bool JackServer::Resume() {
    if (!paused_) return false;
    paused_ = false;
    return kill(pid_, SIGCONT) == 0;
}

// A killed jackd would leave its registry entry, its shared memory and its
// socket behind.
bool JackServer::Stop() {
    bool stopped = true;
    Resume(); // a held process would keep SIGTERM pending
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        stopped = WaitForProgram(pid_, 15s, false) >= 0;
    }
    pid_ = -1;
    return stopped;
}

std::string JackServer::Log() const {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// libjack's clients reach their server at /dev/shm/jack_NAME_UID_0.
MuteJackServer::MuteJackServer() {
    const std::string name = "vi801-mute-" + std::to_string(getpid());
    path_ = "/dev/shm/jack_" + name + "_" + std::to_string(getuid()) + "_0";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    unlink(path_.c_str());
    // Never accepted: the kernel completes the connections of the backlog.
    if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(socket_, 64) != 0) {
        why_ = "can't listen at " + path_ + ": " + std::strerror(errno);
        if (socket_ >= 0) close(socket_);
        socket_ = -1;
        return;
    }
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
}

MuteJackServer::~MuteJackServer() {
    if (socket_ < 0) return;
    unsetenv("JACK_DEFAULT_SERVER");
    close(socket_);
    unlink(path_.c_str());
}

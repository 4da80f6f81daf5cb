#include "jackserver.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace std::chrono_literals;

pid_t SpawnProgram(const std::vector<std::string>& args, const std::string& logPath) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!logPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitForProgram(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(2ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

JackServer::JackServer(Options options) {
    static std::atomic<int> serial{0};
    name_ = "vi801-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    logPath_ = (std::filesystem::temp_directory_path() / (name_ + ".log")).string();
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    std::vector<std::string> args = {"jackd"};
    if (options.synchronous) args.push_back("-S");
    for (const std::string& a :
         {std::string("-r"), std::string("-d"), std::string("dummy"), std::string("-r"),
          std::to_string(options.rate), std::string("-p"), std::to_string(options.period)})
        args.push_back(a);
    pid_ = SpawnProgram(args, logPath_);
    if (pid_ < 0) {
        why_ = "jackd can't be started (is jackd2 installed?)";
        return;
    }
    const pid_t wait = SpawnProgram({"jack_wait", "-w", "-t", "5"}, logPath_);
    if (wait < 0 || WaitForProgram(wait, 10s) != 0) {
        why_ = "jackd did not start: " + Log();
        Stop();
    }
}

JackServer::~JackServer() {
    Stop();
    unsetenv("JACK_DEFAULT_SERVER");
    std::filesystem::remove(logPath_);
}

bool JackServer::Stop() {
    if (pid_ <= 0) return true;
    kill(pid_, SIGTERM);
    const bool stopped = WaitForProgram(pid_, 5s) >= 0;
    pid_ = -1;
    return stopped;
}

std::string JackServer::Log() const {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

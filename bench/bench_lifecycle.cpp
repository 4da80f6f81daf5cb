// The program's start and end as a user sees them, on an X display (run it
// under xvfb-run): from launching `vi801 --card=emulated` to its detection
// dialog mapped, and from asking the main window to close to the process
// gone. A private JACK server runs meanwhile unless --no-jack is given, so
// the audio output's probing and closing are part of both figures.
// Usage: bench_lifecycle PATH/TO/vi801 PATH/TO/data [--no-jack | --sync] [runs]
// (--sync: the JACK server in synchronous mode, as the tests run it)
#include "support/jackserver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::optional<Window> FindMapped(Display* display, const char* title) {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return std::nullopt;
    std::optional<Window> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (std::strcmp(name, title) == 0) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

std::optional<Window> WaitMapped(Display* display, const char* title, std::chrono::seconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (auto w = FindMapped(display, title)) return w;
        std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
}

void PressSpace(Display* display, Window window) {
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XKeyEvent key{};
    key.display = display;
    key.window = window;
    key.root = DefaultRootWindow(display);
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(display, XK_space);
    for (int type : {KeyPress, KeyRelease}) {
        key.type = type;
        XSendEvent(display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                   reinterpret_cast<XEvent*>(&key));
    }
    XFlush(display);
}

void AskToClose(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

struct Run {
    double toDialog = -1, toExit = -1;
};

Run Once(Display* display, const std::string& program, const std::string& data) {
    Run run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, data.c_str());
    std::vector<char*> argv = {const_cast<char*>(program.c_str()),
                               const_cast<char*>("--card=emulated"), nullptr};
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "can't start %s\n", program.c_str());
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (auto dialog = WaitMapped(display, "Device detection - VI 801", 10s)) {
        run.toDialog = Ms(Clock::now() - start);
        PressSpace(display, *dialog);
        if (auto main = WaitMapped(display, "Midi Synthesizer - VI 801", 10s)) {
            std::this_thread::sleep_for(500ms);
            AskToClose(display, *main);
            const Clock::time_point closing = Clock::now();
            if (WaitForProgram(pid, 10s) >= 0) run.toExit = Ms(Clock::now() - closing);
            return run;
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return run;
}

// Windows come and go while they are looked at: such errors are expected.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PATH/TO/vi801 PATH/TO/data [--no-jack | --sync] [runs]\n",
                     argv[0]);
        return 2;
    }
    bool jack = true, synchronous = false;
    int runs = 5;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-jack") == 0)
            jack = false;
        else if (std::strcmp(argv[i], "--sync") == 0)
            synchronous = true;
        else
            runs = std::atoi(argv[i]);
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display: run under xvfb-run\n");
        return 1;
    }
    XSetErrorHandler(&IgnoreXError);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    std::unique_ptr<JackServer> server;
    if (jack) {
        server = std::make_unique<JackServer>(JackServer::Options{48000, 128, synchronous});
        if (!server->Running()) {
            std::fprintf(stderr, "%s\n", server->Why().c_str());
            return 1;
        }
    }
    std::vector<double> dialog, exit;
    for (int i = 0; i < runs; ++i) {
        const Run run = Once(display, argv[1], argv[2]);
        std::printf(
            "run %d: launch to dialog mapped %7.1f ms, main window closed to exit %7.1f ms\n",
            i + 1, run.toDialog, run.toExit);
        if (run.toDialog >= 0) dialog.push_back(run.toDialog);
        if (run.toExit >= 0) exit.push_back(run.toExit);
    }
    std::printf("%s: median launch to dialog %.1f ms (target 250), close to exit %.1f ms "
                "(target 300)\n",
                !jack         ? "without JACK"
                : synchronous ? "with a synchronous JACK server"
                              : "with a JACK server",
                Median(dialog), Median(exit));
    XCloseDisplay(display);
    return 0;
}

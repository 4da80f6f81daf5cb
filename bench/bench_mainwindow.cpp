// Two timings of the main window on the emulated card, offscreen:
//   start: from the program's start to the main window shown, through the
//          detection dialog (answered OK at once) and the Default patch
//   LoadDefaultPatch: one whole patch applied with every operator control
//          changing, median of many runs
// Each is printed against its target as a ratio (below 1 meets it).
#include "hardware/emulated/emulatedcard.h"
#include "hardware/giveio.h"
#include "hardware/registry.h"
#include "ui/mainform.h"
#include "ui/opframe.h"
#include "ui/portform.h"
#include "ui/toolkit.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kStartTargetMs = 500.0;
constexpr double kPatchTargetMs = 5.0;
constexpr int kPatchRuns = 200;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, double ms, double targetMs) {
    std::printf("%-40s %9.3f ms   target %6.1f ms   ratio %.3f\n", what, ms, targetMs,
                ms / targetMs);
}

// Every field away from the Default patch, so that every control changes.
const OperatorPatch kBusyOperator{0xF7, 0x85, 0x31, 0x52, 0x06};

} // namespace

int main(int argc, char** argv) {
    const Clock::time_point start = Clock::now();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    EmulatedCard card; // no audio device: it renders nothing, the ports are the same
    ScopedPortBackend backend(card);
    EnablePortAccess();
    Application application(argc, argv);
    auto detect = [](QWidget* owner) {
        TFormPort dialog(owner, CardInUse{},
                         std::make_unique<EmulatedCardRegistry>(EmulatedCard::kDefaultBase));
        QTimer::singleShot(0, dialog.ButtonOk, &QPushButton::click);
        return dialog.Execute();
    };
    TFormMain form(nullptr, detect);
    if (form.Terminated()) {
        std::fprintf(stderr, "the detection dialog gave no card\n");
        return 1;
    }
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "the main window was never shown\n");
        return 1;
    }
    const double startMs = Ms(Clock::now() - start);

    std::vector<double> runs;
    runs.reserve(kPatchRuns);
    for (int i = 0; i < kPatchRuns; ++i) {
        for (TFrameOp* frame : form.OperatorFrames)
            frame->LoadFromPatch(kBusyOperator);
        const Clock::time_point t0 = Clock::now();
        form.LoadDefaultPatch();
        runs.push_back(Ms(Clock::now() - t0));
    }
    std::nth_element(runs.begin(), runs.begin() + kPatchRuns / 2, runs.end());

    Report("start to main window shown", startMs, kStartTargetMs);
    Report("LoadDefaultPatch, all controls changing", runs[kPatchRuns / 2], kPatchTargetMs);
    return 0;
}

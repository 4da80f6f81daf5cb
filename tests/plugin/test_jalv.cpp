// The installed bundle in a host that is not ours: jalv loads it from the
// temporary prefix `cmake --install` put it in, on a JACK server of the
// test's own, lists its presets, applies one and shows its controls.
#include "support/jackserver.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Jalv, LoadsTheInstalledPluginAndAppliesAPreset) {
    if (!OnPath("jalv"))
        GTEST_SKIP() << "jalv is not installed (scripts/install-deps.sh installs it)";
    JackServer server;
    REQUIRE_JACK_SERVER(server);
    const TempFolder folder("jalv");
    std::ofstream(folder.root / "commands")
        << "presets\npreset urn:vi801:instrument#preset-6op-grand-piano\ncontrols\n";
    // Only the installed bundle, beside the LV2 vocabularies.
    setenv("LV2_PATH", VI801_INSTALLED_LV2 ":/usr/lib/lv2", 1);
    // A plugin built with the sanitizers needs their runtime first in a
    // program built without them.
    if (*VI801_ASAN_RUNTIME) setenv("LD_PRELOAD", VI801_ASAN_RUNTIME, 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    const std::string log = (folder.root / "jalv.log").string();
    const pid_t jalv = SpawnProgram({"bash", "-c",
                                     "exec jalv -n vi801-jalv urn:vi801:instrument < '" +
                                         (folder.root / "commands").string() + "'"},
                                    log);
    ASSERT_GT(jalv, 0);
    const int status = WaitForProgram(jalv, 60s);
    unsetenv("LD_PRELOAD");
    const std::string said = Read(log);
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("Plugin:       urn:vi801:instrument"), std::string::npos) << said;
    EXPECT_NE(said.find("(Grand Piano)"), std::string::npos) << said;
    // Operator 1 of Grand Piano: level 46, decay 4.
    EXPECT_NE(said.find("op1_level = 46.000000"), std::string::npos) << said;
    EXPECT_NE(said.find("op1_decay = 4.000000"), std::string::npos) << said;
}

} // namespace

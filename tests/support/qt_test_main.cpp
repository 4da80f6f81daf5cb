// gtest main for tests that need the application. The test's environment is
// not passed on when ctest lists the tests, so the headless platform is set
// here.
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

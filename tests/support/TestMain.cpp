// The main of every test binary: private folders first, then the application object.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "support/TestEnvironment.h"

namespace {

class FreshFolders : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { gvtest::emptyTestFolders(); }
};

}  // namespace

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    }
    gvtest::setUpTestFolders();
    // Windows of the test process itself never need a screen; child programs get the
    // real X server of the test script. The desktop tests' own windows are on that server too.
#ifdef GLIMVANE_WINDOWS_ON_X
    const char* display = std::getenv("DISPLAY");
    setenv("QT_QPA_PLATFORM", display && *display ? "xcb" : "offscreen", 1);
#else
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
#ifdef GLIMVANE_SCALE_FACTOR
    // The screen at a scale such as 200 %: the high-resolution tests.
    setenv("QT_SCALE_FACTOR", GLIMVANE_SCALE_FACTOR, 1);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    if (listing) {
        return RUN_ALL_TESTS();
    }
    QApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshFolders);
    return RUN_ALL_TESTS();
}

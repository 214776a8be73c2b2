#include "TestDesktop.h"

#include <QApplication>
#include <cstdio>
#include <gtest/gtest.h>

// The X platform's session-bus library keeps a buffer for the life of the process: not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

// For the tests of how the console meets a person on a real desktop: the program's windows on
// an X server of the test's own, under a window manager (no display is needed to run them).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    kv::test::TestDesktop desktop;
    if (!desktop.available()) {
        std::fprintf(stderr, "%s\n", qPrintable(desktop.failure()));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}

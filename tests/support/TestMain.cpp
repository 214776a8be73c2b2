#ifdef KV_GUI_TEST
#include <QApplication>
#endif
#include <QCoreApplication>
#include <gtest/gtest.h>

// psqlODBC keeps 336 bytes for each statement the server refuses when it is not in its
// declare/fetch mode, even with every handle freed (a bare ODBC program shows the same): not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\n";
}

// Every test program runs inside a Qt application (offscreen when there is no display), so core
// code that processes events and GUI tests that open real windows work the same way.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
#ifdef KV_GUI_TEST
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}

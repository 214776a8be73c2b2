#include "ConsoleErp.h"
#include "ScriptedOperator.h"
#include "app/SettingsFile.h"
#include "console/gui/DeviceTile.h"
#include "console/gui/FrmControl.h"
#include "data/DB_Dll.h"
#include "settings/DeviceSettings.h"

#include <QApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace kv;

namespace {

constexpr int kWaitMs = 10000;

// The console as a person meets it: a real X server and window manager place, frame and
// maximise it.
class OnTheDesktop : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::openConsoleErp(home, 3)); }
    void TearDown() override { resetProgramDatabases(); }
    // Loads and shows the console as start-up does; true once the window manager has framed it.
    bool open(FrmControl& w) {
        w.load();
        w.show();
        return QTest::qWaitForWindowExposed(&w) &&
               QTest::qWaitFor([&] { return w.frameGeometry() != w.geometry(); }, kWaitMs);
    }
    static QRect available() { return QGuiApplication::primaryScreen()->availableGeometry(); }
    static QString saved(const char* key) {
        return LeerIni(settings::File, settings::Posicionamiento, QString::fromLatin1(key));
    }
    static QString twips(int px) { return settings::singleText(float(px * 15)); }
    test::TempHome home;
    test::ScopedOperator person;
};

TEST_F(OnTheDesktop, FirstStartShowsARowOfThreeTilesCentred) {
    FrmControl w;
    ASSERT_TRUE(open(w));
    EXPECT_GE(w.width(), 346);
    EXPECT_GE(w.height(), 378);
    const QRect tileArea = w.centralWidget()->geometry();
    for (int i = 0; i < 3; ++i) {
        const QRect tile(w.tile(i)->mapTo(&w, QPoint(0, 0)), w.tile(i)->size());
        EXPECT_TRUE(tileArea.contains(tile)) << "tile " << i << " is not wholly in view";
    }
    EXPECT_TRUE(w.statusBar()->isVisible());
    EXPECT_LE(w.statusBar()->geometry().bottom(), w.rect().bottom());
    // Centred: the frame's centre is the available area's, give or take the decorations.
    const QRect frame = w.frameGeometry();
    EXPECT_LE(std::abs(frame.center().x() - available().center().x()), frame.width() - w.width() + 1);
    EXPECT_LE(std::abs(frame.center().y() - available().center().y()), frame.height() - w.height() + 1);
    EXPECT_EQ(saved("left"), QString()) << "opening saves nothing";
}

// Maximised and restored, the console keeps its own size to restore to, and opens again in the
// state it was left in: maximised within the screen, or restored at that size.
TEST_F(OnTheDesktop, MaximisedAndRestoredConsoleReopensAsItWasLeft) {
    const QSize restored(520, 430);
    {
        FrmControl w;
        ASSERT_TRUE(open(w));
        w.resize(restored);
        ASSERT_TRUE(QTest::qWaitFor([&] { return saved("width") == twips(restored.width()); }, kWaitMs));
        w.showMaximized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMaximized() && w.width() > available().width() / 2; }, kWaitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return saved("WindowState") == QLatin1String("2"); }, kWaitMs));
        w.close();
        EXPECT_EQ(saved("width"), twips(restored.width())) << "the size to restore to, not the screen's";
        EXPECT_EQ(saved("Height"), twips(restored.height()));
    }
    {
        FrmControl again;
        ASSERT_TRUE(open(again));
        EXPECT_TRUE(QTest::qWaitFor([&] { return again.isMaximized(); }, kWaitMs));
        // The window manager frames a maximised window in steps, and may push its one-pixel border
        // past the screen's edge; what counts is that the window itself settles on the screen.
        EXPECT_TRUE(QTest::qWaitFor([&] { return available().contains(again.geometry()); }, kWaitMs))
            << "the maximised console lies within the screen: " << again.width() << "x" << again.height() << " at ("
            << again.x() << ", " << again.y() << ")";
        again.showNormal();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !again.isMaximized() && again.size() == restored; }, kWaitMs))
            << again.width() << "x" << again.height();
        EXPECT_TRUE(QTest::qWaitFor([&] { return saved("WindowState") == QLatin1String("0"); }, kWaitMs));
        again.close();
    }
    FrmControl last;
    ASSERT_TRUE(open(last));
    EXPECT_FALSE(last.isMaximized());
    EXPECT_EQ(last.size(), restored);
    EXPECT_TRUE(available().contains(last.frameGeometry())) << "restored on the screen";
}

TEST_F(OnTheDesktop, SavedPositionOffEveryScreenIsPulledBack) {
    for (const auto& [left, top] : {std::pair{-60000, 3000}, {3000, 200000}, {500000, -9000}}) {
        GrabarIni(settings::File, settings::Posicionamiento, QStringLiteral("left"), QString::number(left));
        GrabarIni(settings::File, settings::Posicionamiento, QStringLiteral("top"), QString::number(top));
        FrmControl w;
        ASSERT_TRUE(open(w));
        const QRect frame = w.frameGeometry();
        EXPECT_TRUE(available().contains(frame.topLeft()) && available().contains(frame.topRight()))
            << "saved at " << left << ", " << top << ": title bar from (" << frame.left() << ", " << frame.top()
            << ") to " << frame.right();
    }
}

} // namespace

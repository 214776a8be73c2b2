#include "ConsoleErp.h"
#include "ScriptedOperator.h"
#include "UnreadableFile.h"
#include "TestEnv.h"
#include "app/SettingsFile.h"
#include "console/gui/DeviceTile.h"
#include "console/gui/FrmControl.h"
#include "data/DB_Dll.h"
#include "settings/DeviceSettings.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace kv;

namespace {

// A console over a small SQLite ERP that declares `devices` handhelds.
class Console : public ::testing::Test {
protected:
    void open(int devices) { ASSERT_TRUE(test::openConsoleErp(home, devices)); }
    void TearDown() override { resetProgramDatabases(); }
    void click(FrmControl& w, int i) { QTest::mouseClick(w.tile(i)->selectionButton(), Qt::LeftButton); }
    QToolBar* toolbar(FrmControl& w, int i) { return w.findChild<QToolBar*>(QStringLiteral("TbOpciones%1").arg(i)); }
    QWidget* dataFrame(FrmControl& w, int i) { return w.findChild<QWidget*>(QStringLiteral("FrmDatos%1").arg(i)); }
    test::TempHome home;
    test::ScopedOperator person;
};

TEST_F(Console, SelectionIsExclusiveAndClickingAgainClearsIt) {
    open(3);
    FrmControl w;
    w.load();
    w.show();
    ASSERT_EQ(w.tileCount(), 3);
    EXPECT_EQ(w.selectedIndex(), -1);
    click(w, 0);
    EXPECT_EQ(w.selectedIndex(), 0);
    EXPECT_TRUE(dataFrame(w, 0)->isVisible());
    EXPECT_TRUE(toolbar(w, 0)->isEnabled());
    click(w, 2);
    EXPECT_EQ(w.selectedIndex(), 2);
    EXPECT_FALSE(dataFrame(w, 0)->isVisible());
    EXPECT_FALSE(toolbar(w, 0)->isEnabled());
    EXPECT_TRUE(dataFrame(w, 2)->isVisible());
    EXPECT_TRUE(toolbar(w, 2)->isEnabled());
    click(w, 2);
    EXPECT_EQ(w.selectedIndex(), -1);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(toolbar(w, i)->isEnabled());
}

TEST_F(Console, CaptionsAndTooltipsOfTheTiles) {
    open(3);
    const QString longName = QStringLiteral("Reparto zona norte, clientes mayoristas del interior");
    GrabarIni(settings::File, settings::deviceSection(2), settings::Nombre, QStringLiteral("  Ventas & Cobros "));
    GrabarIni(settings::File, settings::deviceSection(3), settings::Nombre, longName);
    FrmControl w;
    w.load();
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Modulo de Control "));
    EXPECT_EQ(w.tile(0)->caption(), QStringLiteral("Móvil\r\nNº 1"));
    EXPECT_EQ(w.tile(1)->caption(), QStringLiteral("Móvil\r\nVentas & Cobros"));
    // "&" is shown as written (doubled for the button, so it is no shortcut) and the whole name
    // is in the tooltip.
    EXPECT_EQ(w.tile(1)->selectionButton()->text(), QStringLiteral("Móvil\nVentas && Cobros"));
    EXPECT_EQ(w.tile(1)->selectionButton()->toolTip(), QStringLiteral("Ventas & Cobros"));
    EXPECT_EQ(w.tile(2)->selectionButton()->toolTip(), longName);
    // A name that reads like markup is shown as its characters, never rendered.
    const auto shown = [](const QString& tip) {
        if (!Qt::mightBeRichText(tip)) return tip;
        QTextDocument rendered;
        rendered.setHtml(tip);
        return rendered.toPlainText();
    };
    for (const QString& name : {QStringLiteral("<b>x</b>"), QStringLiteral("a &lt; b"),
                                QStringLiteral("<i>Norte</i>  y   sur"), QStringLiteral("Ventas & Cobros")}) {
        GrabarIni(settings::File, settings::deviceSection(1), settings::Nombre, name);
        w.refreshCaption(1);
        EXPECT_EQ(shown(w.tile(0)->selectionButton()->toolTip()), name);
    }

    // Tab goes from the selected tile's button through its toolbar, every button with its tooltip.
    click(w, 1);
    QWidget* at = w.tile(1)->selectionButton();
    QStringList tips;
    for (int i = 0; i < 3; ++i) {
        at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus) || !at->isEnabled() || !at->isVisible())
            at = at->nextInFocusChain();
        EXPECT_EQ(at->parentWidget(), toolbar(w, 1)) << "stop " << i << " is " << at->objectName().toStdString();
        tips << at->toolTip();
    }
    EXPECT_EQ(tips, (QStringList{QStringLiteral("PROPIEDADES"), QStringLiteral("Enviar Datos PALM"),
                                 QStringLiteral("Enviar Datos PC")}));
}

TEST_F(Console, WheelScrollsTheTilesOneRowAtATime) {
    open(30);
    FrmControl w;
    w.load();
    w.show();
    const int row = 2415;
    ASSERT_TRUE(w.scrollBar()->isEnabled());
    const auto turn = [&](QWidget* over, int notches) {
        QWheelEvent e(QPointF(5, 5), over->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, notches * 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(over, &e);
    };
    turn(w.tile(0)->selectionButton(), -1);
    EXPECT_EQ(w.scrollBar()->value(), row) << "over a tile";
    turn(w.scrollBar(), -1);
    EXPECT_EQ(w.scrollBar()->value(), 2 * row) << "over the scroll bar";
    turn(w.tile(4), 1);
    EXPECT_EQ(w.scrollBar()->value(), row);
    EXPECT_EQ(w.tileArea()->y(), -row / 15);
}

TEST_F(Console, OpensOverAnUnreadableSettingsFileAndNeverWritesThroughIt) {
    open(2);
    for (const std::string& kind : test::kUnreadableKinds) {
        const QString path = home.file(settings::File);
        if (!test::makeUnreadable(path, kind)) continue;
        person.person.clear();
        {
            FrmControl w;
            w.load();
            w.show();
            EXPECT_EQ(w.tile(1)->caption(), QStringLiteral("Móvil\r\nNº 2")) << kind;
            w.resize(w.width() + 40, w.height() + 20);
            w.close();
        }
        EXPECT_LE(person.person.messages().size(), 1) << kind << ": told once at most (once per run)";
        EXPECT_TRUE(test::stillUnreadable(path, kind)) << kind;
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        ASSERT_TRUE(QDir(path).exists() ? QDir(path).removeRecursively() : QFile::remove(path));
    }
}

TEST_F(Console, AnAbsurdDeviceCountShowsTheFirstThousandAndSaysWhy) {
    open(999999999);
    FrmControl w;
    w.load();
    EXPECT_EQ(w.tileCount(), 1000);
    const auto shown = person.person.shownOf(QStringLiteral("message"));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("999999999"))) << shown[0].text.toStdString();
}

TEST_F(Console, MissingCountGivesOneTile) {
    open(0);
    FrmControl w;
    w.load();
    EXPECT_EQ(w.tileCount(), 1);
}

TEST_F(Console, FiveTilesTwoWideAndTheScrollBar) {
    open(5);
    FrmControl w;
    w.load();
    w.show();
    // Wide enough for two tiles and the scroll bar, not three.
    const int tile = 4455 / 15;
    w.resize(2 * tile + w.scrollBar()->sizeHint().width() + 30, 420);
    QApplication::processEvents();
    EXPECT_EQ(w.tile(4)->pos(), QPoint(0, 2 * (2415 / 15)));
    EXPECT_EQ(w.tile(1)->pos(), QPoint(tile, 0));
    EXPECT_EQ(w.tileArea()->height(), 3 * 2415 / 15);
    EXPECT_TRUE(w.scrollBar()->isEnabled());
    w.scrollBar()->setValue(1500);
    EXPECT_EQ(w.tileArea()->y(), -100);
    w.resize(2 * tile + w.scrollBar()->sizeHint().width() + 30, 900);
    QApplication::processEvents();
    EXPECT_FALSE(w.scrollBar()->isEnabled()) << "everything fits";
    EXPECT_EQ(w.scrollBar()->maximum(), 0);
}

TEST_F(Console, PositionIsSavedAfterResizeNotDuringLoad) {
    open(2);
    GrabarIni(settings::File, settings::Posicionamiento, QStringLiteral("width"), QStringLiteral("9000"));
    GrabarIni(settings::File, settings::Posicionamiento, QStringLiteral("Height"), QStringLiteral("7500"));
    FrmControl w;
    w.load();
    EXPECT_EQ(w.size(), QSize(600, 500));
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(LeerIni(settings::File, settings::Posicionamiento, QStringLiteral("left")), QString())
        << "the load's own resize saves nothing";
    w.resize(700, 520);
    w.close(); // a resize is saved once the window has settled, at the latest on closing
    EXPECT_EQ(LeerIni(settings::File, settings::Posicionamiento, QStringLiteral("width")), QStringLiteral("10500"));
    EXPECT_EQ(LeerIni(settings::File, settings::Posicionamiento, QStringLiteral("Height")), QStringLiteral("7800"));
    EXPECT_FALSE(LeerIni(settings::File, settings::Posicionamiento, QStringLiteral("left")).isEmpty());
}

TEST_F(Console, ShrinkingBelowTheMinimumSnapsBack) {
    open(1);
    FrmControl w;
    w.load();
    w.show();
    w.resize(200, 200);
    QApplication::processEvents();
    EXPECT_GE(w.width(), 346);
    EXPECT_GE(w.height(), 378);
}

TEST_F(Console, CommandsGoToTheHandlerAndBlockEachOther) {
    open(2);
    FrmControl w;
    w.load();
    w.show();
    QStringList calls;
    w.setCommandHandler([&](const QString& key, int device) {
        calls << key + QLatin1Char('@') + QString::number(device);
        EXPECT_TRUE(w.busy());
        EXPECT_FALSE(toolbar(w, 1)->isEnabled()) << "the toolbars are disabled while a command runs";
        w.runCommand(1, QStringLiteral("HOTSYNC-PC")); // refused: one command at a time
    });
    click(w, 1);
    toolbar(w, 1)->actions()[1]->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("HOTSYNC-PALM@2")});
    EXPECT_TRUE(toolbar(w, 1)->isEnabled());
    EXPECT_FALSE(toolbar(w, 0)->isEnabled());
}

TEST_F(Console, RefreshedCaptionFollowsTheSettings) {
    open(2);
    FrmControl w;
    w.load();
    GrabarIni(settings::File, settings::deviceSection(2), settings::Nombre, QStringLiteral("   "));
    w.refreshCaption(2);
    EXPECT_EQ(w.tile(1)->caption(), QStringLiteral("Móvil\r\n"));
}

} // namespace

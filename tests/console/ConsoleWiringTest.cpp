#include "app/gui/WindowOperator.h"
#include "console/ConsoleCommands.h"
#include "console/gui/Console.h"
#include "console/gui/DeviceTile.h"
#include "console/gui/FrmControl.h"
#include "ErpFixture.h"
#include "history/JobHistory.h"
#include "progress/StepProgress.h"
#include "settings/gui/frmParam.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

using namespace kv;

namespace {

struct KeyCase {
    const char* key;
    ConsoleCommand command;
};

class CommandKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(CommandKeys, AreComparedWithoutRegardToCase) {
    EXPECT_EQ(commandForKey(QString::fromLatin1(GetParam().key)), GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(Keys, CommandKeys,
                         ::testing::Values(KeyCase{"PROPIEDADES", ConsoleCommand::Properties},
                                           KeyCase{"propiedades", ConsoleCommand::Properties},
                                           KeyCase{"HOTSYNC-PALM", ConsoleCommand::Send},
                                           KeyCase{"hotsync-pc", ConsoleCommand::Receive},
                                           KeyCase{"HOTSYNC", ConsoleCommand::None}, KeyCase{"", ConsoleCommand::None}));

// The console over a demo ERP, with the program's own commands behind its toolbar.
class ConsoleWiring : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(f.available()); }
    QAction* button(FrmControl& w, int tile, int index) {
        return w.findChild<QToolBar*>(QStringLiteral("TbOpciones%1").arg(tile))->actions().at(index);
    }
    test::ErpFixture f{Engine::Sqlite};
};

TEST_F(ConsoleWiring, PropertiesOpensTheDialogAndAcceptRefreshesTheCaption) {
    FrmControl w;
    connectConsoleCommands(w);
    w.load();
    w.show();
    w.tile(1)->selectionButton()->click();
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmParam*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        sawDialog = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Parametros de Conexión PALM Nº2"));
        dialog->findChild<QLineEdit*>(QStringLiteral("txtfields8"))->setText(QStringLiteral("Ruta Oeste"));
        dialog->findChild<QPushButton*>(QStringLiteral("cmdAceptar"))->click();
    });
    button(w, 1, 0)->trigger();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(w.tile(1)->caption(), QStringLiteral("Móvil\r\nRuta Oeste"));
    EXPECT_FALSE(w.busy());
}

TEST_F(ConsoleWiring, ReceiveRunsTheSyncRunForTheSelectedDevice) {
    FrmControl w;
    connectConsoleCommands(w);
    w.load();
    w.show();
    w.tile(2)->selectionButton()->click();
    // The person cancels at the status window before any sync begins.
    f.person.person.cancelStatusAt(1);
    button(w, 2, 2)->trigger();
    EXPECT_TRUE(f.person.person.messages().contains(QStringLiteral("Aviso al Operador!!!: Cancelado por el Usuario!!!!")));
    EXPECT_TRUE(f.person.person.statusLog().contains(QStringLiteral("open:Syncronizacion de Datos")));
}

TEST_F(ConsoleWiring, SendExportsThenWaitsForTheSync) {
    FrmControl w;
    connectConsoleCommands(w);
    w.load();
    w.show();
    w.tile(0)->selectionButton()->click();
    f.person.person.cancelStatusAt(1);
    button(w, 0, 1)->trigger();
    ASSERT_NE(f.person.person.stepProgress(), nullptr);
    EXPECT_EQ(f.person.person.stepProgress()->lines().size(), 13);
    EXPECT_EQ(f.person.person.stepProgress()->lines().last().stateText, QStringLiteral("Finalizado"));
    // Cancelled before the sync: no success message, but the send still ends with its own.
    EXPECT_EQ(f.person.person.messages().last(), QStringLiteral("Aviso al Usuario: Proceso Finalizado!!!"));
    EXPECT_FALSE(f.storeRows(QStringLiteral("SELECT COUNT(*) FROM MA_CLIENTES")).value(0) == QStringLiteral("0"));
}

// The operator closes the console while a receive waits for its sync: the wait is cancelled, the
// history says so, and the program's event loop ends instead of waiting on unseen.
TEST_F(ConsoleWiring, ClosingTheConsoleDuringAWaitCancelsItAndEndsTheProgram) {
    WindowOperator person;
    setOperator(&person);
    FrmControl w;
    connectConsoleOperator(w, person);
    connectConsoleCommands(w);
    w.load();
    w.show();
    w.tile(0)->selectionButton()->click();
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QStringLiteral("FrmStatusWindow") && top->isVisible()) w.close();
    });
    watcher.start(50);
    QTimer::singleShot(0, [&] { button(w, 0, 2)->trigger(); });
    QTimer never;
    never.setSingleShot(true);
    QObject::connect(&never, &QTimer::timeout, [] { QApplication::exit(9); }); // a wait that never ended
    never.start(60000);
    EXPECT_EQ(QApplication::exec(), 0);
    setOperator(&f.person.person);
    EXPECT_FALSE(w.isVisible());
    const QList<history::Record> jobs = history::readHistory();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs.first().outcome, history::Outcome::Cancelled);
}

// A job another program records while the console is open shows on its device's tile: the
// console hears of the write, it does not look at the disk in between.
TEST_F(ConsoleWiring, ATileShowsTheLastSyncAnotherProgramRecords) {
    FrmControl w;
    w.load();
    w.show();
    const QString never = QStringLiteral("Última sincronización: ninguna");
    ASSERT_EQ(w.tile(0)->lastSync(), never);
    const test::ToolRun send = test::runTool(QStringLiteral("kvctl"), f.home, {"--launch", f.launch(), "send", "1", "--no-wait"});
    ASSERT_EQ(send.exitCode, 0) << send.err.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.tile(0)->lastSync() != never; }, 20000));
    const history::Record recorded = history::lastSyncs().value(0);
    EXPECT_EQ(w.tile(0)->lastSync(), QStringLiteral("Última sincronización: %1 · envío correcto")
                                         .arg(recorded.endedAt.toString(QStringLiteral("dd/MM HH:mm"))));
    EXPECT_EQ(w.tile(1)->lastSync(), never);
    // The whole text fits the tile as the console first opens, the longest outcome too, clear of the commands.
    w.tile(0)->setLastSync({lastSyncText(&recorded).when, QStringLiteral("intercambio cancelado")}, QString());
    const QRect commands = w.findChild<QToolBar*>(QStringLiteral("TbOpciones0"))->geometry();
    for (const QLabel* label : w.tile(0)->lastSyncLabels())
        EXPECT_TRUE(label->fontMetrics().horizontalAdvance(label->text()) <= label->width() &&
                    w.tile(0)->rect().contains(label->geometry()) && !label->geometry().intersects(commands))
            << label->text().toStdString();
}

// Errors no trap takes, from the toolbar: each is shown naming its procedure, and the console
// stays open for the next command.
TEST_F(ConsoleWiring, AnEscapedErrorIsShownAndTheConsoleGoesOn) {
    FrmControl w;
    connectConsoleCommands(w);
    w.load();
    w.show();
    w.tile(0)->selectionButton()->click();
    const struct {
        const char* where; // what stands in the way
        QString path;
    } triggers[] = {{"a folder where the wait lock goes", f.home.file(QStringLiteral("kvwait.lock"))},
                    {"a folder where the settings file goes", f.home.file(QStringLiteral("CN000pr.INI"))}};
    for (const auto& t : triggers) {
        ASSERT_TRUE(QDir().mkpath(t.path));
        f.person.person.clear();
        button(w, 0, 1)->trigger();
        const QStringList shown = f.person.person.messages();
        ASSERT_FALSE(shown.isEmpty()) << t.where;
        EXPECT_TRUE(shown.last().startsWith(QStringLiteral("EnviarDatosPalm - Aviso al operador!!!: ")) &&
                    shown.last().contains(t.path))
            << t.where << ": " << shown.last().toStdString();
        EXPECT_EQ(f.person.person.stepProgress(), nullptr) << t.where << ": nothing was exported";
        EXPECT_FALSE(w.busy());
        EXPECT_TRUE(w.isVisible());
        ASSERT_TRUE(QDir(t.path).removeRecursively());
    }
}

} // namespace

#include "app/SettingsFile.h"
#include "CaseName.h"
#include "ErpFixture.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"
#include "TableRows.h"
#include "TestEnv.h"

#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <QDir>
#include <QProcess>

using namespace kv;

namespace {

const QStringList kMasterTables{"MA_ARTICULOS", "MA_CLIENTES", "MA_PRECIOS",  "TA_BANCOS",
                                "TA_CATEGORIAS", "TA_RUBROS",  "TA_TAREAS",   "TA_TIPOS",
                                "TA_UNIDAD",    "TA_USUARIOS", "TA_VENDEDORES", "TA_ZONAS"};

// kvctl and kvhandheld as the support person and the person at the cradle run them: a demo ERP
// in a file (3 devices), the local sync store, and a handheld with stale masters.
class KvctlSend : public ::testing::Test {
protected:
    void SetUp() override {
        test::makeDemoSite(erpPath, store);
        settings::writeDevice(2, settings::Cliente, QStringLiteral("000001,000002"));
        const test::ToolRun init = test::runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("init"), handheld});
        ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
        exec(handheld, QStringLiteral("INSERT INTO MA_CLIENTES (IDCLIENTE) VALUES ('OLD')"));
    }
    QStringList kvctlArgs(const QStringList& command) const {
        return QStringList{QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
                           QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;")
                               .arg(erpPath)} +
               command;
    }
    test::ToolRun kvctl(const QStringList& command) {
        return test::runTool(QStringLiteral("kvctl"), kvctlArgs(command), 60000);
    }
    test::ToolRun kvhandheld(const QStringList& command) {
        return test::runTool(QStringLiteral("kvhandheld"), home, command);
    }
    // Starts a waiting kvctl command and reads until it asks for the cradle button.
    bool startWait(QProcess& p, QByteArray& out, const QStringList& command) {
        p.start(test::programPath(QStringLiteral("kvctl")), kvctlArgs(command));
        return test::waitForOutput(p, out, "Del Dispositivo M");
    }
    void exec(const QString& path, const QString& sql) {
        QSqlQuery q(checks.file(path));
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    QStringList rows(const QString& path, const QString& sql) { return test::canonicalRows(checks.file(path), sql); }

    test::TempHome home;
    const QString erpPath = home.file(QStringLiteral("erp.db"));
    const QString store = home.file(QStringLiteral("kvpalmsync.mdb"));
    const QString handheld = home.file(QStringLiteral("palm1.db"));
    test::Databases checks;
};

TEST_F(KvctlSend, SendWaitsForTheSyncAndTheHandheldGetsExactlyTheExport) {
    QProcess send;
    send.start(test::programPath(QStringLiteral("kvctl")), kvctlArgs({QStringLiteral("send"), QStringLiteral("1")}));
    QByteArray out;
    ASSERT_TRUE(test::waitForOutput(send, out, "Del Dispositivo M")) << out.toStdString();

    const test::ToolRun sync = kvhandheld({QStringLiteral("hotsync"), handheld});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    ASSERT_TRUE(send.waitForFinished(30000));
    out += send.readAllStandardOutput();
    const QString text = QString::fromUtf8(out);
    EXPECT_EQ(send.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("  TA_ZONAS: Finalizado  [Progreso 100%]"))) << text.toStdString();
    EXPECT_TRUE(text.trimmed().endsWith(QStringLiteral("Aviso al Usuario: Proceso Finalizado!!!"))) << text.toStdString();

    for (const QString& t : kMasterTables) {
        SCOPED_TRACE(t.toStdString());
        const QString all = QStringLiteral("SELECT * FROM ") + t;
        EXPECT_EQ(rows(handheld, all), rows(store, all));
    }
    EXPECT_EQ(rows(handheld, QStringLiteral("SELECT IDCLIENTE FROM MA_CLIENTES")),
              rows(erpPath, QStringLiteral("SELECT CODIGO FROM VT_CLIENTES WHERE '2' IN (IDVENDEDOR, IDVENDEDOR1, "
                                           "IDVENDEDOR2, IDVENDEDOR3, IDVENDEDOR4, IDVENDEDOR5)")));
}

// Quiet or not, each step's reason and the history's warning are on stderr, never only on stdout.
TEST_F(KvctlSend, AFailedStepEndsWithoutWaitingAndWithoutFinished) {
    exec(erpPath, QStringLiteral("UPDATE VT_CLIENTES SET ZONA = 'NORTE12' WHERE CODIGO = "
                                 "(SELECT MIN(CODIGO) FROM VT_CLIENTES WHERE IDVENDEDOR = '2')"));
    ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("historial.db")))) << "a history that cannot be written";
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "--quiet" : "");
        QStringList command{QStringLiteral("send"), QStringLiteral("1")};
        if (quiet) command << QStringLiteral("--quiet");
        const test::ToolRun r = kvctl(command);
        EXPECT_FALSE(r.crashed) << "it waited for a sync";
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("Aviso al Usuario: No se completaron los pasos de la exportación: "
                                                   "MA_CLIENTES, TA_ZONAS.")))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("\nkvctl send: TA_ZONAS: ")) &&
                    r.err.contains(QStringLiteral("\nkvctl send: MA_CLIENTES: ")) && r.err.contains(QStringLiteral("NORTE12")))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("No se pudo guardar el historial"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith(QStringLiteral("\nkvctl send: export steps failed: MA_CLIENTES, TA_ZONAS\n")));
        EXPECT_EQ(r.out.contains(QStringLiteral("  MA_CLIENTES: Error")), !quiet) << r.out.toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("historial"))) << r.out.toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("Proceso Finalizado!!!")));
        EXPECT_FALSE(r.out.contains(QStringLiteral("Del Dispositivo"))) << "no sync wait";
    }
}

// Without the price lists of its clients the handheld would get every price list: whatever the
// answer to the error prompt, nothing is exported and nothing waits for a sync.
TEST_F(KvctlSend, AnUnreadablePriceListQueryStopsTheSendBeforeTheExport) {
    exec(store, QStringLiteral("INSERT INTO MA_PRECIOS (IDLISTA, CONIVA) VALUES ('OLD', 0)"));
    exec(erpPath, QStringLiteral("ALTER TABLE VT_CLIENTES RENAME COLUMN IdLista TO OtraLista"));
    const test::ToolRun r = kvctl({QStringLiteral("--on-error"), QStringLiteral("ignore"), QStringLiteral("send"),
                                   QStringLiteral("1")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("AbrirRecordset - Aviso al operador!!!: ")) &&
                r.err.contains(QStringLiteral("\n  Answer: Ignorar\n")) &&
                r.err.contains(QStringLiteral("could not be read: nothing was exported")))
        << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("Procesando"))) << r.out.toStdString();
    EXPECT_EQ(rows(store, QStringLiteral("SELECT IDLISTA FROM MA_PRECIOS")), QStringList{"OLD"});
}

TEST_F(KvctlSend, FiltersPrintsBothFiltersExactlyOnTheirOwnLines) {
    exec(erpPath, QStringLiteral("UPDATE VT_CLIENTES SET IdLista = '4' WHERE CODIGO = '000001'"));
    exec(erpPath, QStringLiteral("UPDATE VT_CLIENTES SET IdLista = '1' WHERE CODIGO = '000002'"));
    const test::ToolRun two = kvctl({QStringLiteral("filters"), QStringLiteral("2")});
    EXPECT_EQ(two.exitCode, 0) << two.err.toStdString();
    EXPECT_EQ(two.out, QStringLiteral(" WHERE CODIGO IN ('000001','000002') \n WHERE LTRIM(IDLISTA) IN ('1','4')\n"));
    EXPECT_EQ(two.err, QString());
    const test::ToolRun three = kvctl({QStringLiteral("filters"), QStringLiteral("3")});
    EXPECT_EQ(three.exitCode, 0);
    EXPECT_EQ(three.out, QStringLiteral("\n\n")) << "no settings: no restriction";
}

struct DeviceNumberCase {
    const char* name;
    const char* command;
    const char* device;
};

class KvctlDeviceNumber : public KvctlSend, public ::testing::WithParamInterface<DeviceNumberCase> {};

TEST_P(KvctlDeviceNumber, OutsideOneToTheCountIsRefused) {
    const DeviceNumberCase& c = GetParam();
    const QString before = rows(store, QStringLiteral("SELECT COUNT(*) FROM MA_CLIENTES")).value(0);
    const test::ToolRun r = kvctl({QString::fromUtf8(c.command), QString::fromUtf8(c.device)});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, QStringLiteral("kvctl %1: device \"%2\" does not exist; devices are 1 to 3\nUsage: kvctl %1 [OPTIONS] N\n")
                         .arg(QString::fromUtf8(c.command), QString::fromUtf8(c.device)));
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(rows(store, QStringLiteral("SELECT COUNT(*) FROM MA_CLIENTES")).value(0), before);
}

INSTANTIATE_TEST_SUITE_P(Kvctl, KvctlDeviceNumber,
                         ::testing::Values(DeviceNumberCase{"filters_zero", "filters", "0"},
                                           DeviceNumberCase{"filters_negative", "filters", "-1"},
                                           DeviceNumberCase{"filters_beyond_count", "filters", "4"},
                                           DeviceNumberCase{"filters_not_a_number", "filters", "uno"},
                                           DeviceNumberCase{"send_zero", "send", "0"},
                                           DeviceNumberCase{"send_negative", "send", "-1"},
                                           DeviceNumberCase{"send_beyond_count", "send", "4"}),
                         test::CaseName());

// The program waits for device 2: device 1's handheld in the cradle is refused with both numbers
// and changes nothing, and the wait goes on until device 2's handheld syncs.
TEST_F(KvctlSend, AnotherDevicesHandheldIsRefusedWhileTheWaitGoesOn) {
    const QString palm1 = home.file(QStringLiteral("device1.db"));
    const QString palm2 = home.file(QStringLiteral("device2.db"));
    ASSERT_EQ(
        kvhandheld({QStringLiteral("init"), palm1, QStringLiteral("--device"), QStringLiteral("1")}).exitCode,
        0);
    ASSERT_EQ(
        kvhandheld({QStringLiteral("init"), palm2, QStringLiteral("--device"), QStringLiteral("2")}).exitCode,
        0);
    QProcess send;
    QByteArray out;
    ASSERT_TRUE(startWait(send, out, {QStringLiteral("send"), QStringLiteral("2")})) << out.toStdString();
    const QString all = QStringLiteral("SELECT * FROM MA_CLIENTES");
    const QStringList before = rows(palm1, all);

    const test::ToolRun wrong = kvhandheld({QStringLiteral("hotsync"), palm1});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(wrong.err.contains(
        QStringLiteral("This handheld is device 1, but the program waits for device 2's sync")))
        << wrong.err.toStdString();
    EXPECT_EQ(rows(palm1, all), before);
    EXPECT_FALSE(send.waitForFinished(1000)) << "a refused handheld ended the wait";

    EXPECT_EQ(kvhandheld({QStringLiteral("hotsync"), palm2}).exitCode, 0);
    ASSERT_TRUE(send.waitForFinished(30000));
    EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();
    EXPECT_EQ(rows(palm2, all), rows(store, all));
}

// A wait cancelled by its time limit leaves the conduit enabled; a later send whose export fails
// switches it off, so the cradle then refuses and the handheld keeps what it had.
TEST_F(KvctlSend, AFailedExportAfterACancelledWaitLeavesTheHandheldAsItWas) {
    const test::ToolRun waited = kvctl(
        {QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--timeout"), QStringLiteral("1")});
    EXPECT_EQ(waited.exitCode, 3) << waited.err.toStdString();
    EXPECT_TRUE(waited.err.contains(QStringLiteral("kvctl send: timed out"))) << waited.err.toStdString();
    exec(erpPath, QStringLiteral("UPDATE VT_CLIENTES SET ZONA = 'NORTE12' WHERE CODIGO = "
                                 "(SELECT MIN(CODIGO) FROM VT_CLIENTES WHERE IDVENDEDOR = '2')"));
    EXPECT_EQ(kvctl({QStringLiteral("send"), QStringLiteral("1")}).exitCode, 1);
    const QString all = QStringLiteral("SELECT * FROM MA_CLIENTES");
    const QStringList before = rows(handheld, all);

    const test::ToolRun sync = kvhandheld({QStringLiteral("hotsync"), handheld});
    EXPECT_EQ(sync.exitCode, 1);
    EXPECT_TRUE(sync.err.contains(QStringLiteral("is disabled"))) << sync.err.toStdString();
    EXPECT_EQ(rows(handheld, all), before);
}

// What timeout, systemd, cron or a closed terminal send, and the command's time limit, end the
// job wherever it is: cancelled, recorded once with the reason, exit 3. During the export the step
// under way is rolled back; a sync that stalls (SIGSTOP) and completes later counts for nothing.
enum class At { Wait, Export, StalledSync };

struct SignalCase {
    const char* name;
    const char* command;
    int signal; // 0: the --timeout ends it
    At at;
    const char* detail;
};

// Another program (the sqlite3 shell) in a write transaction on the file until release().
class WriteTransaction {
public:
    explicit WriteTransaction(const QString& path) {
        m_shell.start(QStringLiteral("sqlite3"), {path});
        m_shell.write("BEGIN IMMEDIATE;\n.print held\n");
        QByteArray seen;
        m_held = test::waitForOutput(m_shell, seen, "held");
    }
    ~WriteTransaction() { release(); }
    bool held() const { return m_held; }
    void release() {
        if (m_shell.state() == QProcess::NotRunning) return;
        m_shell.write("COMMIT;\n.quit\n");
        m_shell.closeWriteChannel();
        m_shell.waitForFinished(10000);
    }

private:
    QProcess m_shell;
    bool m_held = false;
};

class KvctlSignal : public KvctlSend, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(KvctlSignal, EndsTheJobAsCancelledInTheHistory) {
    const SignalCase& c = GetParam();
    exec(store, QStringLiteral("INSERT INTO MA_CLIENTES (IDCLIENTE) VALUES ('BEFORE')"));
    QStringList command{QString::fromLatin1(c.command), QStringLiteral("1")};
    if (c.signal == 0) command << QStringLiteral("--timeout") << QStringLiteral("12");
    QProcess p;
    QByteArray out;
    QProcess stalled;
    std::optional<WriteTransaction> storeBusy;
    if (c.at == At::Export) {
        storeBusy.emplace(store); // the export's first step waits for it
        ASSERT_TRUE(storeBusy->held());
        p.start(test::programPath(QStringLiteral("kvctl")), kvctlArgs(command));
        ASSERT_TRUE(test::waitForOutput(p, out, "PRE_EXPORTACION: ")) << out.toStdString();
    } else {
        ASSERT_TRUE(startWait(p, out, command)) << out.toStdString();
    }
    if (c.at == At::StalledSync) {
        stalled.start(test::programPath(QStringLiteral("kvhandheld")),
                      {QStringLiteral("--home"), home.path(), QStringLiteral("hotsync"), handheld, QStringLiteral("--hold"),
                       QStringLiteral("25")});
        QByteArray syncOut;
        ASSERT_TRUE(test::waitForOutput(stalled, syncOut, "the sync completes in")) << syncOut.toStdString();
        ::kill(pid_t(stalled.processId()), SIGSTOP);
        ASSERT_TRUE(test::waitForOutput(p, out, "Sincronizando Datos")) << out.toStdString();
    }
    if (c.signal != 0) ::kill(pid_t(p.processId()), c.signal);
    if (storeBusy) storeBusy->release();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 3) << p.readAllStandardError().toStdString();
    if (c.at == At::StalledSync) {
        ::kill(pid_t(stalled.processId()), SIGCONT);
        ASSERT_TRUE(stalled.waitForFinished(60000));
        EXPECT_EQ(stalled.exitCode(), 0) << "the stalled sync completes later";
    }
    const test::ToolRun history = kvctl({QStringLiteral("history")});
    const QStringList lines = history.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << history.out.toStdString();
    EXPECT_TRUE(lines.first().contains(QStringLiteral("  cancelled  (") + QString::fromUtf8(c.detail)))
        << lines.first().toStdString();
    if (c.at == At::Export) {
        EXPECT_EQ(rows(store, QStringLiteral("SELECT IDCLIENTE FROM MA_CLIENTES")), QStringList{"BEFORE"})
            << "the step under way was rolled back";
        EXPECT_EQ(kvhandheld({QStringLiteral("hotsync"), handheld}).exitCode, 1) << "nothing to sync";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kvctl, KvctlSignal,
    ::testing::Values(
        SignalCase{"send_sigterm_waiting", "send", SIGTERM, At::Wait, "Cancelado por el Usuario"},
        SignalCase{"receive_sigterm_waiting", "receive", SIGTERM, At::Wait, "Cancelado por el Usuario"},
        SignalCase{"receive_sighup_waiting", "receive", SIGHUP, At::Wait, "Cancelado por el Usuario"},
        SignalCase{"send_sigterm_exporting", "send", SIGTERM, At::Export, "cancelled by SIGTERM"},
        SignalCase{"send_sigint_exporting", "send", SIGINT, At::Export, "cancelled by SIGINT"},
        SignalCase{"send_sighup_exporting", "send", SIGHUP, At::Export, "cancelled by SIGHUP"},
        SignalCase{"receive_sigterm_stalled_sync", "receive", SIGTERM, At::StalledSync, "cancelled by SIGTERM"},
        SignalCase{"receive_timed_out_stalled_sync", "receive", 0, At::StalledSync, "timed out"},
        SignalCase{"send_timed_out_stalled_sync", "send", 0, At::StalledSync, "timed out"}),
    test::CaseName());

// The nightly send: no one waits, so the conduit stays registered for the device; its next press
// takes the export, is recorded when it happens, and switches the conduit off.
TEST_F(KvctlSend, ASendWithoutAWaitIsTakenByTheNextSync) {
    const test::ToolRun sent = kvctl({QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait"),
                                      QStringLiteral("--quiet")});
    ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_EQ(sent.out, QString()) << "nothing for cron to mail";
    const test::ToolRun sync = kvhandheld({QStringLiteral("hotsync"), handheld});
    ASSERT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    for (const QString& t : kMasterTables) {
        const QString all = QStringLiteral("SELECT * FROM ") + t;
        EXPECT_EQ(rows(handheld, all), rows(store, all)) << t.toStdString();
    }
    const QStringList lines = kvctl({QStringLiteral("history"), QStringLiteral("1")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("send     by admin  done  (Exportación sin esperar"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("send     by -  done  (Sincronizado por el HotSync del móvil")) &&
                lines[1].contains(QStringLiteral("MA_CLIENTES ")))
        << lines[1].toStdString();
    const test::ToolRun again = kvhandheld({QStringLiteral("hotsync"), handheld});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("is disabled"))) << again.err.toStdString();
    EXPECT_EQ(kvctl({QStringLiteral("history")}).out.count(QLatin1Char('\n')), 2) << "one record per sync";
}

} // namespace

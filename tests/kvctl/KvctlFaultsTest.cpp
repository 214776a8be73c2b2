#include "TestEnv.h"
#include "UnreadableFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <csignal>
#include <gtest/gtest.h>

using namespace kv;

namespace {

// What once ended kvctl with an abort: each now ends in a message and a plain exit status.
class KvctlFaults : public ::testing::Test {
protected:
    void SetUp() override {
        const QString erp = home.file(QStringLiteral("erp.db"));
        ASSERT_EQ(tool(QStringLiteral("kverp"), {QStringLiteral("init"), QStringLiteral("--sqlite"), erp,
                                                 QStringLiteral("--clients"), QStringLiteral("5")})
                      .exitCode,
                  0);
        ASSERT_EQ(run({QStringLiteral("store"), QStringLiteral("init"), home.file(QStringLiteral("kvpalmsync.mdb"))}).exitCode, 0);
        launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=ana;").arg(erp);
    }
    test::ToolRun tool(const QString& name, const QStringList& args) { return test::runTool(name, args); }
    test::ToolRun run(const QStringList& args) {
        return test::runTool(QStringLiteral("kvctl"), home, QStringList{QStringLiteral("--launch"), launch} + args);
    }
    static void expectNoAbort(const test::ToolRun& r, const std::string& what) {
        EXPECT_FALSE(r.crashed) << what;
        EXPECT_FALSE(r.err.contains(QStringLiteral("terminate called"))) << what;
    }
    test::TempHome home;
    QString launch;
};

class UnreadableSettingsFile : public KvctlFaults, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnreadableSettingsFile, ReadsAsMissingAndNeverWidensASend) {
    const QString path = home.file(QStringLiteral("CN000pr.INI"));
    if (!test::makeUnreadable(path, GetParam())) GTEST_SKIP() << "cannot make it as this user";
    const QString told = QStringLiteral("No se puede leer el archivo de configuración");

    const test::ToolRun devices = run({QStringLiteral("devices")});
    expectNoAbort(devices, "devices");
    EXPECT_EQ(devices.exitCode, 0) << devices.err.toStdString();
    EXPECT_TRUE(devices.out.endsWith(QStringLiteral("1\tNº 1\n2\tNº 2\n3\tNº 3\n"))) << devices.out.toStdString();
    EXPECT_EQ((devices.out + devices.err).count(told), 1) << "told once";

    // Without its settings a device has no filters: filters and send refuse instead of sending all.
    for (const QStringList& command : {QStringList{QStringLiteral("filters"), QStringLiteral("1")},
                                       QStringList{QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")}}) {
        const test::ToolRun r = run(command);
        expectNoAbort(r, command.join(' ').toStdString());
        EXPECT_EQ(r.exitCode, 1) << command.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Aviso al operador!!!: ")) && r.err.contains(path)) << r.err.toStdString();
    }

    // A receive needs nothing from it: it gets as far as waiting for the handheld.
    QProcess receive;
    receive.start(test::programPath(QStringLiteral("kvctl")),
                  {QStringLiteral("--home"), home.path(), QStringLiteral("--launch"), launch, QStringLiteral("receive"),
                   QStringLiteral("1")});
    QByteArray seen;
    EXPECT_TRUE(test::waitForOutput(receive, seen, "Esperando Conex")) << seen.toStdString();
    receive.kill();
    receive.waitForFinished();
    EXPECT_TRUE(test::stillUnreadable(path, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Kvctl, UnreadableSettingsFile, ::testing::ValuesIn(test::kUnreadableKinds),
                         [](const auto& info) { return info.param; });

TEST_F(KvctlFaults, AFolderWhereTheSendLockGoes) {
    ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("kvwait.lock"))));
    const test::ToolRun r = run({QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")});
    expectNoAbort(r, "send");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("kvctl send - Aviso al operador!!!: ")) &&
                r.err.contains(QStringLiteral("kvwait.lock")))
        << r.err.toStdString();
}

// A role allowed one connection: the program's own gets it, the export's second one is refused.
TEST_F(KvctlFaults, ARoleWithAConnectionLimitOfOne) {
    test::TempPgDatabase pg;
    KV_REQUIRE_PG(pg);
    const QString role = pg.name() + QStringLiteral("_lim");
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        admin.setHostName(pg.host());
        admin.setPort(pg.port());
        admin.setUserName(pg.user());
        admin.setDatabaseName(pg.name());
        ASSERT_TRUE(admin.open());
        QSqlQuery q(admin);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE ROLE %1 LOGIN CONNECTION LIMIT 1").arg(role)));
        ASSERT_TRUE(q.exec(QStringLiteral("ALTER DATABASE %1 OWNER TO %2").arg(pg.name(), role)));
        admin.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));
    const QString conninfo =
        QStringLiteral("host=%1 port=%2 user=%3 dbname=%4").arg(pg.host()).arg(pg.port()).arg(role, pg.name());
    ASSERT_EQ(tool(QStringLiteral("kverp"), {QStringLiteral("init"), QStringLiteral("--pg"), conninfo,
                                             QStringLiteral("--clients"), QStringLiteral("5")})
                  .exitCode,
              0);
    launch = QStringLiteral("@Motor=postgresql;@Server=%1,%2;@DbName=%3;@Usuario=%4;@Password=;")
                 .arg(pg.host())
                 .arg(pg.port())
                 .arg(pg.name(), role);
    const test::ToolRun r = run({QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")});
    expectNoAbort(r, "send");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("too many connections"))) << r.err.toStdString();
}

// An ERP file emptied by a crash or one that is no database: refused at connection, before the
// send empties the store.
class ErpFileThatIsNoDatabase : public KvctlFaults, public ::testing::WithParamInterface<std::string> {};

TEST_P(ErpFileThatIsNoDatabase, IsRefusedBeforeTheStoreIsTouched) {
    const QString erp = home.file(QStringLiteral("erp.db"));
    QFile f(erp);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray::fromStdString(GetParam()));
    f.close();
    const QString store = home.file(QStringLiteral("kvpalmsync.mdb"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("store"));
        db.setDatabaseName(store);
        ASSERT_TRUE(db.open() && QSqlQuery(db).exec(QStringLiteral("INSERT INTO MA_CLIENTES (IDCLIENTE) VALUES ('BEFORE')")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("store"));
    const QByteArray before = [&] { QFile s(store); s.open(QIODevice::ReadOnly); return s.readAll(); }();
    const test::ToolRun r = run({QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")});
    expectNoAbort(r, "send");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("It is not a database, is damaged"))) << r.err.toStdString();
    QFile s(store);
    ASSERT_TRUE(s.open(QIODevice::ReadOnly));
    EXPECT_EQ(s.readAll(), before) << "the store was touched";
}

INSTANTIATE_TEST_SUITE_P(Kvctl, ErpFileThatIsNoDatabase,
                         ::testing::Values(std::string(), std::string("not a database, only some notes\n")),
                         [](const auto& info) { return info.param.empty() ? "empty" : "text"; });

// Whether the process has a handler of its own for the signal (its status's SigCgt mask).
bool catches(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:")) return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

struct ConsoleSignalCase {
    const char* name;
    bool server; // false: the connection dialog asks for one
    int signal;
    const char* says;
};

class KvcontrolSignal : public KvctlFaults, public ::testing::WithParamInterface<ConsoleSignalCase> {};

// SIGINT, SIGTERM and SIGHUP close the console as its window's close button does, and a cancelled
// connection dialog is a cancel: status 3 and a line on stderr.
TEST_P(KvcontrolSignal, ClosesTheConsoleAsCancelled) {
    const ConsoleSignalCase& c = GetParam();
    QString start = launch;
    if (!c.server) start.remove(QStringLiteral("@Server=local;"));
    QProcess p;
    p.start(test::programPath(QStringLiteral("kvcontrol")), {QStringLiteral("--home"), home.path(), start});
    ASSERT_TRUE(p.waitForStarted(10000));
    for (int i = 0; i < 200 && !catches(p.processId(), c.signal); ++i) p.waitForFinished(50);
    ASSERT_TRUE(catches(p.processId(), c.signal));
    ::kill(pid_t(p.processId()), c.signal);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 3);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QLatin1String(c.says)));
}

INSTANTIATE_TEST_SUITE_P(
    Kvcontrol, KvcontrolSignal,
    ::testing::Values(ConsoleSignalCase{"dialog_sigterm", false, SIGTERM, "kvcontrol: cancelled: no ERP connection was made"},
                      ConsoleSignalCase{"console_sighup", true, SIGHUP, "kvcontrol: ended by signal 1"},
                      ConsoleSignalCase{"console_sigint", true, SIGINT, "kvcontrol: ended by signal 2"}),
    [](const auto& info) { return std::string(info.param.name); });

// kvcontrol's command line without a display: --help and --version answer, a mistyped option is
// a usage error, and a launch string ends with the reason, never an abort.
TEST(KvcontrolCommandLine, WithoutADisplay) {
    const struct {
        QStringList args;
        int exit;
        const char* says;
    } cases[] = {{{QStringLiteral("--help")}, 0, "Usage: kvcontrol"},
                 {{QStringLiteral("--version")}, 0, "kvcontrol 1.0"},
                 {{QStringLiteral("--verison")}, 2, "unknown option --verison (see kvcontrol --help)\nUsage: kvcontrol"},
                 {{QStringLiteral("@Server=x;@DbName=y;")}, 1, "display"}};
    for (const auto& c : cases) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(v));
        p.setProcessEnvironment(env);
        p.start(test::programPath(QStringLiteral("kvcontrol")), c.args);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString all = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << c.args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), c.exit) << c.args.join(' ').toStdString() << ": " << all.toStdString();
        EXPECT_TRUE(all.contains(QLatin1String(c.says))) << all.toStdString();
    }
}

} // namespace

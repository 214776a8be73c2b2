// kvctl check says ok only where the send and the receive then succeed: it tries their own
// statements and the permission to write where the receive writes. Every statement the program
// runs through ODBC carries the query time-out. All of it as real processes.
#include "ErpFixture.h"
#include "Handheld.h"
#include "app/SettingsFile.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QRegularExpression>
#include <sys/mount.h>

using namespace kv;

namespace {

struct WriteCase {
    const char* name;
    Engine engine;
    const char* revoked; // PostgreSQL: the objects the role may not add rows to
    QStringList refused; // the check's lines that must say so
    const char* meets;   // what the receive then meets
};

class WritesChecked : public ::testing::TestWithParam<WriteCase> {
protected:
    void SetUp() override {
        if (!f.available()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
        if (GetParam().engine == Engine::PostgreSql) {
            const QString role = QStringLiteral("kv_clerk_%1").arg(qAbs(qHash(f.connInfo())));
            f.erpExec(QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %1 "
                                     "LOGIN; END IF; END $$; GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO %1; "
                                     "REVOKE INSERT ON %2 FROM %1")
                          .arg(role, QLatin1String(GetParam().revoked)));
            launch = f.launch().replace(QRegularExpression(QStringLiteral("@Usuario=[^;]*")), QStringLiteral("@Usuario=") + role);
        } else {
            // The ERP file on a file system mounted read-only: even root cannot write it.
            disk = f.home.file(QStringLiteral("ro"));
            QDir().mkpath(disk);
            if (::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=8m") != 0)
                GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
            ASSERT_TRUE(QFile::copy(f.erpPath(), disk + QStringLiteral("/erp.db")));
            ASSERT_EQ(::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
            launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1/erp.db;@Usuario=admin;").arg(disk);
        }
    }
    void TearDown() override {
        if (!disk.isEmpty()) ::umount2(disk.toLocal8Bit().constData(), MNT_DETACH);
    }
    test::ErpFixture f{GetParam().engine};
    QString launch, disk;
};

TEST_P(WritesChecked, TheCheckRefusesWhatTheReceiveThenMeets) {
    const test::ToolRun check =
        test::runTool(QStringLiteral("kvctl"), f.home, {QStringLiteral("--launch"), launch, QStringLiteral("check")});
    EXPECT_EQ(check.exitCode, 1);
    QStringList refused;
    for (const QString& line : check.out.split(QLatin1Char('\n')))
        if (line.contains(QLatin1String("no permission to add rows")) || line.contains(QLatin1String("cannot be written")))
            refused << line.section(QLatin1Char(':'), 0, 0);
    EXPECT_EQ(refused, GetParam().refused) << check.out.toStdString();

    const QString palm = f.home.file(QStringLiteral("palm.db"));
    test::captureOrders(palm, 2, 1, f.erpRows(QStringLiteral("SELECT CTACODIGO FROM VT_CLIENTES")).first());
    const test::ToolRun receive = test::kvctlWithSync(
        f.home, {QStringLiteral("--launch"), launch, QStringLiteral("receive"), QStringLiteral("1")}, palm);
    EXPECT_EQ(receive.exitCode, 1);
    EXPECT_TRUE(receive.err.contains(QLatin1String(GetParam().meets))) << receive.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Sites, WritesChecked,
    ::testing::Values(
        WriteCase{"postgresql_lines", Engine::PostgreSql, "v_mv_cptetareas, v_mv_cpteinsumos",
                  {QStringLiteral("V_MV_CpteTareas"), QStringLiteral("V_MV_CpteInsumos")}, "permission denied"},
        WriteCase{"postgresql_documents", Engine::PostgreSql, "v_mv_cpte", {QStringLiteral("V_MV_CPTE")},
                  "permission denied"},
        WriteCase{"sqlite_read_only", Engine::Sqlite, "",
                  {QStringLiteral("V_MV_CPTE"), QStringLiteral("GM_V_MV_PLANILLA_CAB"), QStringLiteral("V_MV_CpteTareas"),
                   QStringLiteral("V_MV_CpteInsumos"), QStringLiteral("GM_V_MV_PLANILLA_DETALLE")},
                  "readonly"}),
    [](const auto& info) { return std::string(info.param.name); });

// One statement the driver manager saw executed: its text and whether its handle had the time-out.
struct Executed {
    QString sql;
    bool timeout;
};

// The statements of a unixODBC trace, each with the time-out state of its handle when it ran.
QList<Executed> executed(const QString& trace) {
    QFile f(trace);
    if (!f.open(QIODevice::ReadOnly)) return {};
    static const QRegularExpression head(QStringLiteral(R"(^\[ODBC\]\[\d+\]\[[\d.]+\]\[(\w+)\.c\])"));
    static const QRegularExpression handle(QStringLiteral(R"((?:Statement|Output Handle) = (0x[0-9a-f]+))"));
    static const QRegularExpression text(QStringLiteral(R"(SQL = \[(.*)\]\[length)"),
                                         QRegularExpression::DotMatchesEverythingOption);
    QHash<QString, bool> timeout;
    QHash<QString, QString> prepared;
    QList<Executed> list;
    bool allocatingStatement = false;
    for (const QString& block : QString::fromUtf8(f.readAll()).split(QStringLiteral("\n[ODBC]"))) {
        const QString b = block.startsWith(QLatin1String("[ODBC]")) ? block : QStringLiteral("[ODBC]") + block;
        const QString fn = head.match(b).captured(1);
        const QString h = handle.match(b).captured(1);
        const bool entry = b.contains(QLatin1String("Entry:"));
        if (fn == QLatin1String("SQLAllocHandle")) {
            if (entry) allocatingStatement = b.contains(QLatin1String("Handle Type = 3"));
            else if (allocatingStatement && !h.isEmpty()) timeout[h] = false;
        } else if (!entry) {
            continue;
        } else if (fn.startsWith(QLatin1String("SQLSetStmtAttr")) && b.contains(QLatin1String("SQL_ATTR_QUERY_TIMEOUT"))) {
            timeout[h] = true;
        } else if (fn.startsWith(QLatin1String("SQLPrepare"))) {
            prepared[h] = text.match(b).captured(1);
        } else if (fn.startsWith(QLatin1String("SQLExecDirect")) || fn == QLatin1String("SQLExecute")) {
            list << Executed{fn == QLatin1String("SQLExecute") ? prepared.value(h) : text.match(b).captured(1), timeout.value(h)};
        }
    }
    return list;
}

TEST(OdbcStatements, EveryOneHasTheTimeOutAndTheCheckTriesWhatTheSendAndReceiveSend) {
    test::ErpFixture f(Engine::PostgreSql);
    if (!f.available()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    QFile drivers(QStringLiteral("/etc/odbcinst.ini"));
    ASSERT_TRUE(drivers.open(QIODevice::ReadOnly));
    const QString ini = f.home.file(QStringLiteral("odbcinst.ini")), trace = f.home.file(QStringLiteral("trace.log"));
    QFile traced(ini);
    ASSERT_TRUE(traced.open(QIODevice::WriteOnly));
    traced.write(drivers.readAll() + "\n[ODBC]\nTrace=Yes\nTraceFile=" + trace.toUtf8() + "\n");
    traced.close();
    GrabarIni(QStringLiteral("CN000pr.INI"), QStringLiteral("General"), QStringLiteral("DriverPostgreSQL"),
              QStringLiteral("PostgreSQL Unicode"));
    qputenv("ODBCSYSINI", f.home.path().toLocal8Bit());
    const QStringList launch{QStringLiteral("--launch"), f.launch()};
    auto statementsOf = [&](const std::function<void()>& run) {
        QFile::remove(trace);
        run();
        return executed(trace);
    };
    const QList<Executed> check = statementsOf([&] { test::runTool(QStringLiteral("kvctl"), f.home, launch + QStringList{QStringLiteral("check")}); });
    const QString palm = f.home.file(QStringLiteral("palm.db"));
    test::captureOrders(palm, 3, 2, f.erpRows(QStringLiteral("SELECT CTACODIGO FROM VT_CLIENTES")).first());
    const QList<Executed> work = statementsOf([&] {
        EXPECT_EQ(test::runTool(QStringLiteral("kvctl"), f.home, launch + QStringList{QStringLiteral("send"), QStringLiteral("1"), QStringLiteral("--no-wait")}).exitCode, 0);
        EXPECT_EQ(test::kvctlWithSync(f.home, launch + QStringList{QStringLiteral("receive"), QStringLiteral("1")}, palm).exitCode, 0);
    });
    qunsetenv("ODBCSYSINI");
    ASSERT_GT(check.size(), 20);
    ASSERT_GT(work.size(), 40);
    QStringList tried;
    for (const Executed& e : check) tried << e.sql;
    const QString checked = tried.join(QLatin1Char('\n'));
    for (const Executed& e : check + work) EXPECT_TRUE(e.timeout) << "no query time-out: " << e.sql.toStdString();
    for (const Executed& e : work) {
        const QString select = e.sql.section(QStringLiteral("CURSOR FOR "), -1);
        if (!select.startsWith(QLatin1String("SELECT")) || select.contains(QLatin1String("advisory"))) continue;
        // The trace cuts long statements short: their beginnings are compared, which name the objects.
        EXPECT_TRUE(checked.contains(select.left(80))) << "the check never tries: " << select.toStdString();
    }
}

} // namespace

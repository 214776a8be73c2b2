#include "history/HistoryFile.h"
#include "TestEnv.h"

#include <QFile>
#include <QProcess>
#include <tuple>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace kv;

namespace {

test::ToolRun kvctl(const QStringList& args) {
    return test::runTool(QStringLiteral("kvctl"), args);
}

class KvctlDevices : public ::testing::Test {
protected:
    void SetUp() override {
        erp = home.file(QStringLiteral("erp.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            db.setDatabaseName(erp);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            q.exec(QStringLiteral("CREATE TABLE ta_configuracion (CLAVE TEXT, VALOR TEXT, VALORAUX TEXT)"));
            q.exec(QStringLiteral("INSERT INTO ta_configuracion VALUES ('GM_CANT_DISPOSITIVOS', '3', NULL)"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
        QFile ini(home.file(QStringLiteral("CN000pr.INI")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[PARAMETROS PALM Nº 2]\nNOMBRE= Ruta Norte \n[PARAMETROS PALM Nº 3]\nNOMBRE=   \n");
    }
    // One statement on the ERP file, before kvctl runs.
    bool onErp(const QString& sql) {
        bool done = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("change"));
            db.setDatabaseName(erp);
            done = db.open() && QSqlQuery(db).exec(sql);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("change"));
        return done;
    }
    QStringList base() const {
        return {QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
                QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=ana;").arg(erp)};
    }
    test::TempHome home;
    QString erp;
};

TEST_F(KvctlDevices, ListsEveryDeviceWithItsDisplayName) {
    const test::ToolRun r = kvctl(base() << QStringLiteral("devices"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // A name of blanks is an empty name; only a device never named is "Nº n".
    EXPECT_EQ(r.out, QStringLiteral("1\tNº 1\n2\tRuta Norte\n3\t\n"));
    EXPECT_TRUE(QFile::exists(home.file(QStringLiteral("consultas.hxw")))) << "start-up writes the lookup map file";
}

// Error prompts and the answers given go to stderr: the list on stdout stays the list.
TEST_F(KvctlDevices, ErrorPromptsAndTheirAnswersGoToStderr) {
    ASSERT_TRUE(onErp(QStringLiteral("DROP TABLE ta_configuracion")));
    const test::ToolRun r = kvctl(QStringList{QStringLiteral("--on-error"), QStringLiteral("ignore")} + base()
                                  << QStringLiteral("devices"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Aviso al operador!!!: ")) &&
                r.err.contains(QStringLiteral("\n  Answer: Ignorar\n")))
        << r.err.toStdString();
    EXPECT_FALSE(r.out.isEmpty());
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(line.contains(QLatin1Char('\t')) && line.at(0).isDigit()) << r.out.toStdString();
}

TEST_F(KvctlDevices, NoConnectionIsAFailureWithAReason) {
    const test::ToolRun r = kvctl({QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
                         QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;").arg(home.file(QStringLiteral("no.db"))),
                         QStringLiteral("devices")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no ERP connection"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("no.db"))));
}

// A scheduled job reads the launch string from a file or the environment; the password file must
// be owner-only, and the variable fills in a missing password.
TEST_F(KvctlDevices, TheLaunchStringFromAFileOrTheEnvironment) {
    const QString launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=ana;").arg(erp);
    const QString file = home.file(QStringLiteral("launch"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(launch.toUtf8() + "\n");
    f.close();
    const QStringList args{QStringLiteral("--home"), home.path(), QStringLiteral("--launch-file"), file,
                           QStringLiteral("devices")};

    ASSERT_TRUE(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    const test::ToolRun open = kvctl(args);
    EXPECT_EQ(open.exitCode, 1);
    EXPECT_TRUE(open.out.isEmpty());
    EXPECT_TRUE(open.err.contains(QStringLiteral("must be owner-only"))) << open.err.toStdString();

    ASSERT_TRUE(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const test::ToolRun owned = kvctl(args);
    EXPECT_EQ(owned.exitCode, 0) << owned.err.toStdString();
    EXPECT_TRUE(owned.out.startsWith(QStringLiteral("1\tNº 1\n"))) << owned.out.toStdString();

    qputenv("KVCONTROL_LAUNCH", launch.toUtf8());
    const test::ToolRun fromEnvironment = kvctl({QStringLiteral("--home"), home.path(), QStringLiteral("devices")});
    qunsetenv("KVCONTROL_LAUNCH");
    EXPECT_EQ(fromEnvironment.out, owned.out) << fromEnvironment.err.toStdString();
}

// What a script reads with another JSON parser: one "device|name|when|direction|outcome|in|out|
// refused|detail" line per device, "null" after the name of one that never synced.
QString pythonReading(const QString& json) {
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(
        "import json, sys\nfor d in json.load(sys.stdin):\n    s = d['lastSync']\n"
        "    last = ['null'] if s is None else [s['when'][:19]] + [str(s[k]) for k in ('direction', 'outcome',"
        " 'documentsIn', 'rowsOut', 'refused', 'detail')]\n    print('|'.join([str(d['device']), d['name']] + last))\n")});
    python.write(json.toUtf8());
    python.closeWriteChannel();
    python.waitForFinished(30000);
    return QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError());
}

TEST_F(KvctlDevices, EachDeviceWithItsLastSyncOrNoneForOneThatNeverSynced) {
    using history::Direction;
    using history::Outcome;
    const auto job = [](int device, Direction d, Outcome o, int minute) {
        const QDateTime at(QDate(2026, 12, 11), QTime(17, minute));
        history::Record r;
        std::tie(r.startedAt, r.endedAt, r.device, r.direction, r.outcome) = std::tuple(at, at.addSecs(4), device, d, o);
        return r;
    };
    history::Record exchange = job(1, Direction::Exchange, Outcome::Done, 5);
    exchange.imported = 3;
    exchange.tables = {{QStringLiteral("MA_CLIENTES"), 40}, {QStringLiteral("TA_ZONAS"), 3}, {QStringLiteral("MA_PRECIOS"), 0, true}};
    exchange.refused = {{QStringLiteral("NP000100000009A"), QStringLiteral("cliente inexistente")}};
    history::Record failed = job(3, Direction::Send, Outcome::Failed, 1);
    failed.detail = QStringLiteral("MA_CLIENTES:\tfila 3\nrechazada");
    {
        history::HistoryFile file(home.file(history::HistoryFile::fileName()), history::HistoryFile::Mode::Write);
        for (const history::Record& r : {job(1, Direction::Send, Outcome::Done, 0), exchange, failed}) file.append(r);
    }
    const test::ToolRun json = kvctl(base() << QStringLiteral("devices") << QStringLiteral("--format") << QStringLiteral("json"));
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(pythonReading(json.out), QStringLiteral("1|Nº 1|2026-12-11T17:05:04|exchange|done|3|43|1|\n2|Ruta Norte|null\n"
                                                      "3||2026-12-11T17:01:04|send|failed|0|0|0|MA_CLIENTES:\tfila 3\nrechazada\n"));
    EXPECT_EQ(kvctl(base() << QStringLiteral("devices")).out,
              QStringLiteral("1\tNº 1\t2026-12-11 17:05:04 exchange done: 3 documents in, 43 rows out, 1 refused\n2\tRuta Norte\n"
                             "3\t\t2026-12-11 17:01:04 send failed: 0 documents in, 0 rows out, 0 refused (MA_CLIENTES: fila 3 rechazada)\n"));

    QFile junk(home.file(history::HistoryFile::fileName()));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate) && junk.write("Notas del turno\n") > 0);
    junk.close();
    const test::ToolRun unreadable = kvctl(base() << QStringLiteral("devices"));
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.out.isEmpty() && unreadable.err.startsWith(QStringLiteral("kvctl devices: the history cannot be read: ")))
        << unreadable.err.toStdString();
}

TEST_F(KvctlDevices, AnAbsurdCountListsTheFirstThousandAndSaysWhyOnStderr) {
    ASSERT_TRUE(onErp(QStringLiteral("UPDATE ta_configuracion SET VALOR = '999999999'")));
    const test::ToolRun r = kvctl(base() << QStringLiteral("devices"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 1000);
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("1000\tNº 1000\n")));
    EXPECT_EQ(r.err.count(QStringLiteral("999999999")), 1) << r.err.toStdString();
}

} // namespace

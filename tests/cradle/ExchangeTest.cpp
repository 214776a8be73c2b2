#include "CradleFixture.h"
#include "DemoErp.h"
#include "Handheld.h"
#include "TableRows.h"

#include "app/IniFile.h"
#include "app/SettingsFile.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <thread>

namespace kv::test {
namespace {

enum class Engine { Sqlite, Postgres };

// A handheld's exchange as a careful client does it with curl: the answer to a new file, moved
// over the handheld only on 200, then the confirmation.
struct Exchanged {
    int status = 0;
    QByteArray id;
    QByteArray head;
    QJsonObject body;   // a refusal, or the confirmation's report
};

Exchanged exchange(const QString& url, const QByteArray& token, const QString& palm, bool keepAnswer = true) {
    const QString head = palm + QStringLiteral(".head"), answer = palm + QStringLiteral(".new");
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sS"), QStringLiteral("--data-binary"), QLatin1Char('@') + palm, QStringLiteral("-H"),
                QStringLiteral("Authorization: Bearer ") + QString::fromLatin1(token), QStringLiteral("-H"),
                QStringLiteral("Content-Type: application/vnd.sqlite3"), QStringLiteral("-D"), head,
                QStringLiteral("-o"), answer, QStringLiteral("-w"), QStringLiteral("%{http_code}"),
                url + QStringLiteral("/exchange")});
    Exchanged e;
    if (!curl.waitForFinished(180000)) return e;
    e.status = curl.readAllStandardOutput().toInt();
    e.head = contents(head);
    for (const QByteArray& line : e.head.split('\n'))
        if (line.toLower().startsWith("x-kvcradle-sync:")) e.id = line.mid(16).trimmed();
    if (e.status != 200) {
        e.body = QJsonDocument::fromJson(contents(answer)).object();
        return e;
    }
    if (!keepAnswer) return e;
    QFile::remove(palm);
    QFile::rename(answer, palm);
    QProcess confirm;
    confirm.start(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("-d"),
                                           QString(), QStringLiteral("-H"),
                                           QStringLiteral("Authorization: Bearer ") + QString::fromLatin1(token),
                                           url + QStringLiteral("/exchange/%1/done").arg(QString::fromLatin1(e.id))});
    confirm.waitForFinished(60000);
    e.body = QJsonDocument::fromJson(confirm.readAllStandardOutput()).object();
    return e;
}

QStringList texts(const QJsonValue& v) {
    QStringList list;
    for (const QJsonValue& item : v.toArray())
        list << item.toString();
    return list;
}

// A site whose handhelds sync themselves: a demo ERP, three devices filtered as the demo's are
// (by vendors, by clients, none), a token and a handheld each, and the ERP's launch string in an
// owner-only file for kvcradle.
class Fleet : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        erp::Options o;
        o.clients = 40;
        o.articles = 20;
        o.documents = 0;
        if (GetParam() == Engine::Postgres) {
            KV_REQUIRE_PG(pg);
            erp::createDemoErp(erp::Target::postgres(pg.connInfo()), o);
            launch = QStringLiteral("@Motor=postgresql;@Server=%1,%2;@DbName=%3;@Usuario=%4;@Password=;")
                         .arg(pg.host())
                         .arg(pg.port())
                         .arg(pg.name(), pg.user());
        } else {
            erp::createDemoErp(erp::Target::sqlite(erpPath), o);
            launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;").arg(erpPath);
        }
        createStore(home.file(QStringLiteral("kvpalmsync.mdb")));
        GrabarIni(settings::File, settings::General, QStringLiteral("BaseDeDatos"), QStringLiteral("kvpalmsync.mdb"));
        settings::writeDevice(1, settings::Reparto, QStringLiteral("1,2"));
        settings::writeDevice(2, settings::Cliente, QStringLiteral("000001,000002,000003"));
        QFile file(launchFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        file.write(launch.toUtf8());
        file.close();
        for (int device = 1; device <= 3; ++device) {
            const ToolRun t = runTool(QStringLiteral("kvctl"), home,
                                      {QStringLiteral("cradle"), QStringLiteral("token"), QString::number(device)});
            ASSERT_EQ(t.exitCode, 0) << t.err.toStdString();
            tokens[device] = t.out.trimmed().toLatin1();
            ASSERT_EQ(runTool(QStringLiteral("kvhandheld"), home,
                              {QStringLiteral("init"), palm(device), QStringLiteral("--device"), QString::number(device)})
                          .exitCode,
                      0);
        }
    }

    QString palm(int device) const { return home.file(QStringLiteral("palm%1.db").arg(device)); }
    QStringList cradleArgs(const QStringList& extra = {}) const {
        return QStringList{QStringLiteral("--launch-file"), launchFile} + extra;
    }
    QStringList capture(int device, int orders, int workOrders = 0) {
        const ToolRun r = runTool(QStringLiteral("kvhandheld"), home,
                                  {QStringLiteral("capture"), palm(device), QStringLiteral("--orders"),
                                   QString::number(orders), QStringLiteral("--work-orders"),
                                   QString::number(workOrders), QStringLiteral("--seed"), QString::number(device)});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return handheldRows(device, QStringLiteral("SELECT MV_CPTE_TSNL FROM MV_CPTE"));
    }
    QStringList handheldRows(int device, const QString& sql) { return canonicalRows(checks.file(palm(device)), sql); }
    // How many times the ERP holds each document, by its handheld key.
    QMap<QString, int> erpDocuments() {
        QSqlDatabase db = erpCheck();
        QMap<QString, int> seen;
        for (const QString& row : canonicalRows(db, QStringLiteral("SELECT TRIM(TC) || IDCOMPROBANTE FROM V_MV_CPTE")))
            ++seen[row];
        return seen;
    }
    QSqlDatabase erpCheck() {
        if (GetParam() == Engine::Sqlite) return checks.file(erpPath);
        const QString name = QStringLiteral("fleet_pg");
        if (!QSqlDatabase::contains(name)) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(pg.host());
            db.setPort(pg.port());
            db.setUserName(pg.user());
            db.setDatabaseName(pg.name());
            EXPECT_TRUE(db.open());
        }
        return QSqlDatabase::database(name);
    }
    void TearDown() override {
        if (QSqlDatabase::contains(QStringLiteral("fleet_pg"))) {
            QSqlDatabase::database(QStringLiteral("fleet_pg")).close();
            QSqlDatabase::removeDatabase(QStringLiteral("fleet_pg"));
        }
    }
    // The rows of each master table device N's send carries, as kvctl preview counts them.
    QMap<QString, int> sendRows(int device) {
        const ToolRun r = runTool(QStringLiteral("kvctl"), home,
                                  {QStringLiteral("--launch"), launch, QStringLiteral("preview"),
                                   QString::number(device), QStringLiteral("--format"), QStringLiteral("json")});
        QMap<QString, int> rows;
        for (const QJsonValue& t : QJsonDocument::fromJson(r.out.toUtf8())[QStringLiteral("tables")].toArray())
            rows[t[QStringLiteral("table")].toString()] = t[QStringLiteral("rows")].toInt();
        return rows;
    }
    QMap<QString, int> handheldRowsPerTable(int device) {
        QMap<QString, int> rows;
        for (const QString& table : sendRows(device).keys())
            rows[table] = handheldRows(device, QStringLiteral("SELECT COUNT(*) FROM ") + table).value(0).toInt();
        return rows;
    }
    QString history() {
        return runTool(QStringLiteral("kvctl"), home, {QStringLiteral("--launch"), launch, QStringLiteral("history")}).out;
    }

    TempHome home;
    TempPgDatabase pg;
    const QString erpPath = home.file(QStringLiteral("erp.db"));
    const QString launchFile = home.file(QStringLiteral("launch"));
    QString launch;
    QMap<int, QByteArray> tokens;
    Databases checks;
};

// Three handhelds exchange at once: each gets its own device's data, and then brings its
// documents, each into the ERP exactly once and off the handheld.
TEST_P(Fleet, ThreeHandheldsAtOnceEachEndWithTheirOwnData) {
    Cradle cradle(home, cradleArgs());
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    const auto allAtOnce = [&] {
        QMap<int, Exchanged> done;
        std::vector<std::thread> phones;
        std::mutex m;
        for (int device = 1; device <= 3; ++device)
            phones.emplace_back([&, device] {
                Exchanged e = exchange(cradle.url(), tokens[device], palm(device));
                std::lock_guard g(m);
                done[device] = e;
            });
        for (std::thread& t : phones)
            t.join();
        return done;
    };
    for (const auto& [device, e] : allAtOnce().asKeyValueRange()) {
        ASSERT_EQ(e.status, 200) << device << ": " << e.head.toStdString() << cradle.log().toStdString();
        EXPECT_EQ(handheldRowsPerTable(device), sendRows(device)) << "device " << device;
    }
    EXPECT_NE(sendRows(1).value(QStringLiteral("MA_CLIENTES")), sendRows(2).value(QStringLiteral("MA_CLIENTES")));

    QMap<int, QStringList> captured;
    for (int device = 1; device <= 3; ++device)
        captured[device] = capture(device, 3, 1);
    for (const auto& [device, e] : allAtOnce().asKeyValueRange()) {
        ASSERT_EQ(e.status, 200) << device << ": " << e.head.toStdString();
        QStringList imported = texts(e.body[QStringLiteral("imported")]);
        imported.sort();
        EXPECT_EQ(imported, captured[device]);
        EXPECT_TRUE(handheldRows(device, QStringLiteral("SELECT MV_CPTE_TSNL FROM MV_CPTE")).isEmpty());
        EXPECT_TRUE(handheldRows(device, QStringLiteral("SELECT * FROM MV_CPTE_DETALLE")).isEmpty());
    }
    const QMap<QString, int> inErp = erpDocuments();
    for (const QStringList& keys : captured)
        for (const QString& key : keys)
            EXPECT_EQ(inErp.value(key), 1) << key.toStdString();
    EXPECT_EQ(history().count(QStringLiteral("exchange")), 6) << history().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, Fleet, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return info.param == Engine::Sqlite ? "Sqlite" : "Postgres"; });

class FleetOnSqlite : public Fleet {};
class FleetOnPostgres : public Fleet {};

// Waits (at most 20 s) for the cradle's log to hold `text`.
bool logSays(Cradle& cradle, const QString& text) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 20000)
        if (cradle.log().contains(text)) return true;
    return false;
}

// The answer is lost before the confirmation: the handheld keeps its documents (they are in the
// ERP already), the exchange is dropped, and the next one finds them there and brings none twice.
TEST_P(FleetOnSqlite, ALostAnswerLosesAndDoublesNothing) {
    Cradle cradle(home, cradleArgs({QStringLiteral("--confirm-within"), QStringLiteral("1")}));
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1)).status, 200);
    const QStringList keys = capture(1, 3);
    const QByteArray before = contents(palm(1));
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1), false).status, 200);
    EXPECT_EQ(contents(palm(1)), before);
    EXPECT_TRUE(logSays(cradle, QStringLiteral("dropped: not confirmed within 1 s")));

    const Exchanged again = exchange(cradle.url(), tokens[1], palm(1));
    ASSERT_EQ(again.status, 200);
    EXPECT_TRUE(texts(again.body[QStringLiteral("imported")]).isEmpty());
    QStringList existing = texts(again.body[QStringLiteral("existing")]);
    existing.sort();
    EXPECT_EQ(existing, keys);
    EXPECT_TRUE(handheldRows(1, QStringLiteral("SELECT * FROM MV_CPTE")).isEmpty());
    for (const QString& key : keys)
        EXPECT_EQ(erpDocuments().value(key), 1) << key.toStdString();
    EXPECT_TRUE(history().contains(QStringLiteral("not confirmed within 1 s"))) << history().toStdString();
}

// A document the ERP refuses stays on its handheld with its lines and is named with the ERP's
// reason; the others come in.
TEST_P(FleetOnSqlite, ARefusedDocumentStaysOnItsHandheldAndIsNamed) {
    Cradle cradle(home, cradleArgs());
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1)).status, 200);
    const QStringList keys = capture(1, 3);
    const QString refused = keys.at(1);
    QSqlQuery trigger(checks.file(erpPath));
    ASSERT_TRUE(trigger.exec(QStringLiteral("CREATE TRIGGER refuse_one BEFORE INSERT ON V_MV_CPTE WHEN NEW.IDCOMPROBANTE "
                                            "= '%1' BEGIN SELECT RAISE(ABORT, 'cliente bloqueado'); END")
                                 .arg(refused.mid(2))));
    const Exchanged e = exchange(cradle.url(), tokens[1], palm(1));
    ASSERT_EQ(e.status, 200) << cradle.log().toStdString();
    EXPECT_TRUE(e.head.contains("X-Kvcradle-Refused: 1"));
    const QJsonArray named = e.body[QStringLiteral("refused")].toArray();
    ASSERT_EQ(named.size(), 1);
    EXPECT_EQ(named.at(0)[QStringLiteral("key")].toString(), refused);
    EXPECT_TRUE(named.at(0)[QStringLiteral("reason")].toString().contains(QStringLiteral("cliente bloqueado")));
    EXPECT_EQ(handheldRows(1, QStringLiteral("SELECT MV_CPTE_TSNL FROM MV_CPTE")), QStringList{refused});
    EXPECT_FALSE(handheldRows(1, QStringLiteral("SELECT * FROM MV_CPTE_DETALLE")).isEmpty());
    EXPECT_TRUE(handheldRows(1, QStringLiteral("SELECT * FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL <> '") +
                                    refused + QLatin1Char('\''))
                    .isEmpty());
    const QMap<QString, int> inErp = erpDocuments();
    EXPECT_EQ(inErp.value(keys.at(0)), 1);
    EXPECT_EQ(inErp.value(keys.at(2)), 1);
    EXPECT_EQ(inErp.value(refused), 0);
    EXPECT_TRUE(history().contains(refused)) << history().toStdString();
}

// An exchange while the operator waits for device 1's send: both complete, the store keeps
// device 1's data and the exchanged handheld gets device 2's.
TEST_P(FleetOnSqlite, AnExchangeBesideAnOperatorsSendWait) {
    Cradle cradle(home, cradleArgs());
    QProcess send;
    send.start(programPath(QStringLiteral("kvctl")), {QStringLiteral("--home"), home.path(), QStringLiteral("--launch"),
                                                      launch, QStringLiteral("send"), QStringLiteral("1")});
    QByteArray seen;
    ASSERT_TRUE(waitForOutput(send, seen, "Del Dispositivo M")) << seen.toStdString();
    ASSERT_EQ(exchange(cradle.url(), tokens[2], palm(2)).status, 200);
    EXPECT_EQ(handheldRowsPerTable(2), sendRows(2));
    const ToolRun press = runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("hotsync"), palm(1)});
    EXPECT_EQ(press.exitCode, 0) << press.err.toStdString();
    ASSERT_TRUE(send.waitForFinished(60000));
    EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();
    EXPECT_EQ(handheldRowsPerTable(1), sendRows(1));
    EXPECT_EQ(canonicalRows(checks.file(home.file(QStringLiteral("kvpalmsync.mdb"))),
                            QStringLiteral("SELECT COUNT(*) FROM MA_CLIENTES")),
              QStringList{QString::number(sendRows(1).value(QStringLiteral("MA_CLIENTES")))});
}

// Two cradles on one PostgreSQL ERP, the same documents through both at once: each once.
TEST_P(FleetOnPostgres, TwoCradlesOnOneErpBringEachDocumentOnce) {
    Cradle first(home, cradleArgs()), second(home, cradleArgs());
    ASSERT_EQ(exchange(first.url(), tokens[1], palm(1)).status, 200);
    const QStringList keys = capture(1, 20, 2);
    const QString copy = home.file(QStringLiteral("palm1-copy.db"));
    ASSERT_TRUE(QFile::copy(palm(1), copy));
    Exchanged a, b;
    std::thread one([&] { a = exchange(first.url(), tokens[1], palm(1)); });
    std::thread two([&] { b = exchange(second.url(), tokens[1], copy); });
    one.join();
    two.join();
    ASSERT_EQ(a.status, 200) << a.head.toStdString();
    ASSERT_EQ(b.status, 200) << b.head.toStdString();
    QStringList imported = texts(a.body[QStringLiteral("imported")]) + texts(b.body[QStringLiteral("imported")]);
    imported.sort();
    EXPECT_EQ(imported, keys);
    const QMap<QString, int> inErp = erpDocuments();
    for (const QString& key : keys)
        EXPECT_EQ(inErp.value(key), 1) << key.toStdString();
}

// Past --exchanges the answer is 503 with Retry-After; an ERP whose import lock is not got in
// time ends the exchange with 503 too, and nothing of it is in the ERP.
TEST_P(FleetOnSqlite, BusyAndUnavailableChangeNothing) {
    GrabarIni(settings::File, settings::General, QStringLiteral("ImportLockTimeout"), QStringLiteral("3"));
    Cradle cradle(home, cradleArgs({QStringLiteral("--exchanges"), QStringLiteral("1")}));
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1)).status, 200);
    const QStringList keys = capture(1, 2);
    QSqlDatabase holder = checks.file(erpPath);
    QSqlQuery hold(holder);
    ASSERT_TRUE(hold.exec(QStringLiteral("BEGIN IMMEDIATE")));
    Exchanged held;
    std::thread waiting([&] { held = exchange(cradle.url(), tokens[1], palm(1)); });
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 &&
           !request(cradle.url() + QStringLiteral("/status"), nullptr, {}).body.contains("\"underWay\":1"))
        ;
    const Exchanged refused = exchange(cradle.url(), tokens[2], palm(2));
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body[QStringLiteral("error")].toString(), QStringLiteral("exchanges-busy"));
    EXPECT_TRUE(refused.head.contains("Retry-After:"));
    waiting.join();
    EXPECT_EQ(held.status, 503);
    EXPECT_EQ(held.body[QStringLiteral("error")].toString(), QStringLiteral("erp-unavailable"));
    ASSERT_TRUE(hold.exec(QStringLiteral("ROLLBACK")));
    for (const QString& key : keys)
        EXPECT_EQ(erpDocuments().value(key), 0) << key.toStdString();
    const Exchanged later = exchange(cradle.url(), tokens[1], palm(1));
    ASSERT_EQ(later.status, 200);
    EXPECT_EQ(texts(later.body[QStringLiteral("imported")]).size(), keys.size());
}

// A new handheld for a device (a phone replaced) gets the ERP's last numbers with its first
// data, so its documents never take a key the ERP holds already.
TEST_P(FleetOnSqlite, AReplacedHandheldGoesOnWithTheDevicesNumbers) {
    Cradle cradle(home, cradleArgs());
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1)).status, 200);
    const QStringList first = capture(1, 3);
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1)).status, 200);
    QFile::remove(palm(1));
    ASSERT_EQ(runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("init"), palm(1), QStringLiteral("--device"), QStringLiteral("1")}).exitCode, 0);
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1)).status, 200);
    const QStringList next = capture(1, 1);
    ASSERT_EQ(next.size(), 1);
    EXPECT_FALSE(first.contains(next.first())) << next.first().toStdString();
    const Exchanged e = exchange(cradle.url(), tokens[1], palm(1));
    EXPECT_EQ(texts(e.body[QStringLiteral("imported")]), next);
}

// A failed export step ends the exchange with 500 export-failed naming the step: the handheld
// keeps its file; what was imported before is in the ERP once and in the history.
TEST_P(FleetOnSqlite, AFailedExportKeepsTheHandheldAsItWas) {
    Cradle cradle(home, cradleArgs());
    ASSERT_EQ(exchange(cradle.url(), tokens[1], palm(1)).status, 200);
    const QStringList keys = capture(1, 2);
    const QByteArray before = contents(palm(1));
    QSqlQuery drop(checks.file(erpPath));
    ASSERT_TRUE(drop.exec(QStringLiteral("DROP VIEW V_MA_Precios")));
    const Exchanged e = exchange(cradle.url(), tokens[1], palm(1));
    EXPECT_EQ(e.status, 500);
    EXPECT_EQ(e.body[QStringLiteral("error")].toString(), QStringLiteral("export-failed"));
    EXPECT_EQ(contents(palm(1)), before);
    for (const QString& key : keys)
        EXPECT_EQ(erpDocuments().value(key), 1) << key.toStdString();
    EXPECT_TRUE(history().contains(QStringLiteral("failed"))) << history().toStdString();
}

// A hostile handheld file is refused as /sync refuses it, before anything reaches the ERP.
TEST_P(FleetOnSqlite, AHostileFileIsRefused) {
    Cradle cradle(home, cradleArgs());
    const struct {
        const char* sql;
        const char* error;
    } files[] = {
        {"DROP TABLE MV_CPTE|CREATE VIEW MV_CPTE AS SELECT 1 AS X", "schema-refused"},
        {"CREATE TRIGGER t AFTER INSERT ON MV_CPTE BEGIN SELECT 1; END", "schema-refused"},
        {nullptr, "not-sqlite"},
    };
    for (const auto& f : files) {
        const QString path = home.file(QStringLiteral("hostile.db"));
        QFile::remove(path);
        if (f.sql) {
            ASSERT_TRUE(QFile::copy(palm(1), path));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            QSqlDatabase db = checks.file(path);
            for (const QString& statement : QString::fromLatin1(f.sql).split(QLatin1Char('|'))) {
                QSqlQuery q(db);
                ASSERT_TRUE(q.exec(statement)) << statement.toStdString() << q.lastError().text().toStdString();
            }
            db.close();
        } else {
            QFile junk(path);
            ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(8192, 'x'));
        }
        const Exchanged e = exchange(cradle.url(), tokens[1], path);
        EXPECT_EQ(e.status, 422) << f.error;
        EXPECT_EQ(e.body[QStringLiteral("error")].toString(), QString::fromLatin1(f.error));
    }
    EXPECT_TRUE(erpDocuments().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sqlite, FleetOnSqlite, ::testing::Values(Engine::Sqlite));
INSTANTIATE_TEST_SUITE_P(Postgres, FleetOnPostgres, ::testing::Values(Engine::Postgres));

} // namespace
} // namespace kv::test

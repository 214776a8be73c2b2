// The history counts exactly the documents the ERP kept, when the ERP fails in the middle of an
// import: its server stopped, its disk full. The next run brings the rest, each once.
#include "DemoErp.h"
#include "ErpFixture.h"
#include "Handheld.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <sys/mount.h>

using namespace kv;

namespace {

constexpr int kDocuments = 3000;

enum class Fault { ServerStopped, DiskFull };

class ImportCounts : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        erp::Options o;
        o.clients = 20;
        o.articles = 10;
        o.documents = 0;
        if (GetParam() == Fault::ServerStopped) {
            if (!test::makePrivateErp(server, o.clients, o.articles)) GTEST_SKIP() << "no PostgreSQL server binaries";
            launch = QStringLiteral("@Motor=postgresql;@Server=127.0.0.1,%1;@DbName=erp;@Usuario=postgres;@Password=;")
                         .arg(server.port());
        } else {
            // A small file system of its own, so the ERP's disk fills in the middle of the import.
            disk = home.file(QStringLiteral("disk"));
            QDir().mkpath(disk);
            if (::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=1200k") != 0)
                GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
            const QString file = disk + QStringLiteral("/erp.db");
            erp::createDemoErp(erp::Target::sqlite(file), o);
            launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;").arg(file);
        }
        ASSERT_EQ(kvctl({QStringLiteral("store"), QStringLiteral("init"), home.file(QStringLiteral("kvpalmsync.mdb"))}).exitCode, 0);
        test::captureOrders(palm, kDocuments, 2, QStringLiteral("000001"));
    }
    void TearDown() override {
        if (!disk.isEmpty()) ::umount2(disk.toLocal8Bit().constData(), MNT_DETACH);
    }
    test::ToolRun kvctl(const QStringList& args) {
        return test::runTool(QStringLiteral("kvctl"), home, QStringList{QStringLiteral("--launch"), launch} + args);
    }
    test::ToolRun receive() {
        return test::kvctlWithSync(home, {QStringLiteral("--launch"), launch, QStringLiteral("receive"), QStringLiteral("1")},
                                   palm);
    }
    int lastImported() {
        const QJsonArray jobs = QJsonDocument::fromJson(
                                    kvctl({QStringLiteral("history"), QStringLiteral("--format"), QStringLiteral("json")}).out.toUtf8())
                                    .array();
        return jobs.last().toObject().value(QStringLiteral("imported")).toInt();
    }
    // The documents the ERP holds, and how many of them are distinct.
    QPair<int, int> inErp() {
        const QString name = QStringLiteral("counts");
        QPair<int, int> counts{-1, -1};
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(disk.isEmpty() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
            if (disk.isEmpty()) {
                db.setHostName(QStringLiteral("127.0.0.1"));
                db.setPort(server.port());
                db.setUserName(QStringLiteral("postgres"));
                db.setDatabaseName(QStringLiteral("erp"));
            } else {
                db.setDatabaseName(disk + QStringLiteral("/erp.db"));
            }
            db.open();
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT IdComprobante) FROM V_MV_CPTE WHERE IdComprobante "
                                      "LIKE '0001%'")) && q.next())
                counts = {q.value(0).toInt(), q.value(1).toInt()};
        }
        QSqlDatabase::removeDatabase(name);
        return counts;
    }
    test::PrivatePgServer server;
    test::TempHome home;
    QString launch, disk;
    QString palm = home.file(QStringLiteral("palm.db"));
};

TEST_P(ImportCounts, TheHistoryCountsWhatTheErpKeptAndTheNextRunTheRest) {
    QProcess run;
    run.start(test::programPath(QStringLiteral("kvctl")),
              {QStringLiteral("--home"), home.path(), QStringLiteral("--launch"), launch, QStringLiteral("receive"),
               QStringLiteral("1")});
    QByteArray seen;
    ASSERT_TRUE(test::waitForOutput(run, seen, "Esperando Conex")) << seen.toStdString();
    ASSERT_EQ(test::runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("hotsync"), palm}).exitCode, 0);
    if (GetParam() == Fault::ServerStopped) {
        // Stopped once the first groups are in, while later ones are being written.
        ASSERT_TRUE(test::waitForOutput(run, seen, "Actualizando comprobantes")) << seen.toStdString();
        for (int i = 0; i < 600 && inErp().first <= 0 && run.state() == QProcess::Running; ++i) run.waitForFinished(50);
        ASSERT_TRUE(server.stop());
    }
    ASSERT_TRUE(run.waitForFinished(180000));
    EXPECT_EQ(run.exitCode(), 1) << "the fault did not meet the import: " << run.readAllStandardError().toStdString();
    if (GetParam() == Fault::ServerStopped) ASSERT_TRUE(server.start());
    else ASSERT_EQ(::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT, "size=64m"), 0);

    const auto [kept, distinct] = inErp();
    EXPECT_LT(kept, kDocuments);
    EXPECT_EQ(distinct, kept);
    EXPECT_EQ(lastImported(), kept) << "the history counts documents the ERP does not hold";

    const test::ToolRun rest = receive();
    EXPECT_EQ(rest.exitCode, 0) << rest.err.toStdString();
    EXPECT_EQ(inErp(), qMakePair(kDocuments, kDocuments));
    EXPECT_EQ(lastImported(), kDocuments - kept);
}

INSTANTIATE_TEST_SUITE_P(Faults, ImportCounts, ::testing::Values(Fault::ServerStopped, Fault::DiskFull),
                         [](const auto& info) {
                             return std::string(info.param == Fault::ServerStopped ? "server_stopped" : "disk_full");
                         });

} // namespace

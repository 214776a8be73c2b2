#include "DemoErp.h"
#include "Handheld.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace kv;

namespace {

constexpr int kDocuments = 200;
constexpr int kLines = 3;

// Two workstations, each with its own application folder and store, receive the same handheld
// documents into one PostgreSQL ERP at the same time: every document and line arrives once.
TEST(ConcurrentReceive, EveryDocumentOnceFromTwoWorkstations) {
    test::TempPgDatabase pg;
    KV_REQUIRE_PG(pg);
    erp::Options o;
    o.clients = 20;
    o.articles = 10;
    o.documents = 0;
    erp::createDemoErp(erp::Target::postgres(pg.connInfo()), o);
    const QString launch =
        QStringLiteral("@Motor=postgresql;@Server=%1,%2;@DbName=%3;@Usuario=%4;@Password=;")
            .arg(pg.host())
            .arg(pg.port())
            .arg(pg.name(), pg.user());
    test::TempHome a, b; // b is the folder in force; every tool gets its --home

    // One handheld's documents, copied to a second handheld for the other workstation.
    const QString palmA = a.file(QStringLiteral("palm.db")), palmB = b.file(QStringLiteral("palm.db"));
    ASSERT_EQ(test::runTool(QStringLiteral("kvhandheld"), a, {QStringLiteral("init"), palmA}).exitCode, 0);
    test::captureOrders(palmA, kDocuments, kLines, QStringLiteral("000001"));
    ASSERT_TRUE(QFile::copy(palmA, palmB));

    // Both receives wait for their cradle; both cradles sync at once.
    struct Station {
        Station(const test::TempHome& h, const QString& p) : home(h), palm(p) {}
        const test::TempHome& home;
        QString palm;
        QProcess kvctl;
        QProcess sync;
        QByteArray seen;
    };
    Station stations[] = {{a, palmA}, {b, palmB}};
    for (Station& s : stations) {
        ASSERT_EQ(test::runTool(QStringLiteral("kvctl"), s.home,
                                {QStringLiteral("store"), QStringLiteral("init"),
                                 s.home.file(QStringLiteral("kvpalmsync.mdb"))})
                      .exitCode,
                  0);
        s.kvctl.start(test::programPath(QStringLiteral("kvctl")),
                      {QStringLiteral("--home"), s.home.path(), QStringLiteral("--launch"), launch,
                       QStringLiteral("receive"), QStringLiteral("1")});
        ASSERT_TRUE(test::waitForOutput(s.kvctl, s.seen, "Esperando Conex")) << s.seen.toStdString();
    }
    for (Station& s : stations)
        s.sync.start(test::programPath(QStringLiteral("kvhandheld")),
                     {QStringLiteral("--home"), s.home.path(), QStringLiteral("hotsync"), s.palm});
    int imported = 0, skipped = 0;
    for (Station& s : stations) {
        ASSERT_TRUE(s.sync.waitForFinished(120000));
        EXPECT_EQ(s.sync.exitCode(), 0) << s.sync.readAllStandardError().toStdString();
        ASSERT_TRUE(s.kvctl.waitForFinished(120000));
        const QString out = QString::fromUtf8(s.seen + s.kvctl.readAllStandardOutput());
        EXPECT_EQ(s.kvctl.exitCode(), 0) << s.kvctl.readAllStandardError().toStdString();
        const qsizetype at = out.indexOf(QStringLiteral("Se actualizaron "));
        ASSERT_GE(at, 0) << out.toStdString();
        const QStringList words = out.mid(at).split(QLatin1Char(' '));
        imported += words.value(2).toInt();
        skipped += words.value(7).toInt();
    }
    EXPECT_EQ(imported, kDocuments);
    EXPECT_EQ(skipped, kDocuments);

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("concurrent"));
    db.setHostName(pg.host());
    db.setPort(pg.port());
    db.setUserName(pg.user());
    db.setDatabaseName(pg.name());
    ASSERT_TRUE(db.open());
    {
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM v_mv_cpte WHERE idcomprobante LIKE '0001%'), "
            "(SELECT COUNT(DISTINCT idcomprobante) FROM v_mv_cpte WHERE idcomprobante LIKE '0001%'), "
            "(SELECT COUNT(*) FROM v_mv_cpteinsumos WHERE idcomprobante LIKE '0001%')")));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), kDocuments) << "documents written";
        EXPECT_EQ(q.value(1).toInt(), kDocuments) << "distinct documents";
        EXPECT_EQ(q.value(2).toInt(), kDocuments * kLines) << "lines written";
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("concurrent"));
}

} // namespace

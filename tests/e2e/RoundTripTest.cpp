#include "app/SettingsFile.h"
#include "DemoErp.h"
#include "settings/DeviceSettings.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDate>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace kv;

namespace {

// How the ERP is reached: SQLite file, PostgreSQL natively, or PostgreSQL through unixODBC and
// psqlODBC (its streaming mode), which exercises the ODBC engine's statement lifetime, typed
// binding and attributes end to end.
struct ErpRoad {
    const char* name;
    Engine engine;
    const char* odbcDriver; // "General"/"DriverPostgreSQL"; empty: the native driver
};

// The whole job with the real programs: a send reaches the handheld at its cradle sync, the
// documents captured on it come home with a receive, and nothing comes home twice.
class RoundTrip : public ::testing::TestWithParam<ErpRoad> {
protected:
    Engine engine() const { return GetParam().engine; }
    void SetUp() override {
        erp::Options o;
        o.clients = 60;
        o.articles = 30;
        o.vendors = 4;
        o.documents = 4;
        if (engine() == Engine::PostgreSql) {
            if (!pg.available()) GTEST_SKIP() << "no PostgreSQL test server";
            if (*GetParam().odbcDriver)
                GrabarIni(QStringLiteral("CN000pr.INI"), QStringLiteral("General"),
                          QStringLiteral("DriverPostgreSQL"), QString::fromLatin1(GetParam().odbcDriver));
            erp::createDemoErp(erp::Target::postgres(pg.connInfo()), o);
            launch = QStringLiteral("@Motor=postgresql;@Server=%1,%2;@DbName=%3;@Usuario=%4;@Password=;")
                         .arg(pg.host())
                         .arg(pg.port())
                         .arg(pg.name(), pg.user());
        } else {
            erpFile = home.file(QStringLiteral("erp.db"));
            erp::createDemoErp(erp::Target::sqlite(erpFile), o);
            launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;").arg(erpFile);
        }
        ASSERT_EQ(test::runTool(QStringLiteral("kvctl"), home,
                                {QStringLiteral("store"), QStringLiteral("init"), home.file(QStringLiteral("kvpalmsync.mdb"))})
                      .exitCode,
                  0);
        settings::writeDevice(1, settings::Reparto, QStringLiteral("1"));
        settings::writeDevice(1, settings::Nombre, QStringLiteral("Ruta 1"));
        palm = home.file(QStringLiteral("palm1.db"));
        ASSERT_EQ(test::runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("init"), palm}).exitCode, 0);
    }

    // Runs a kvctl command that waits for the sync, and presses the cradle button once it waits.
    test::ToolRun withSync(const QStringList& command) {
        QProcess kvctl;
        kvctl.setProcessChannelMode(QProcess::SeparateChannels);
        kvctl.start(test::programPath(QStringLiteral("kvctl")),
                    QStringList{QStringLiteral("--home"), home.path(), QStringLiteral("--launch"), launch} + command);
        QByteArray seen;
        EXPECT_TRUE(test::waitForOutput(kvctl, seen, "Esperando Conex")) << seen.toStdString();
        const test::ToolRun sync =
            test::runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("hotsync"), palm});
        EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
        kvctl.waitForFinished(120000);
        test::ToolRun r;
        r.exitCode = kvctl.exitStatus() == QProcess::NormalExit ? kvctl.exitCode() : -1;
        r.out = QString::fromUtf8(seen + kvctl.readAllStandardOutput());
        r.err = QString::fromUtf8(kvctl.readAllStandardError());
        return r;
    }

    // The first column of a handheld table, through kvhandheld dump.
    QSet<QString> handheld(const QString& table, int column = 0) {
        const test::ToolRun r = test::runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("dump"), palm, table});
        QSet<QString> values;
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (int i = 1; i < lines.size(); ++i) values << lines[i].split(QLatin1Char('\t')).value(column).trimmed();
        return values;
    }
    int handheldRows(const QString& table) {
        return test::runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("dump"), palm, table})
                   .out.count(QLatin1Char('\n')) -
               1;
    }

    QStringList erpColumn(const QString& sql) {
        QSqlDatabase db;
        {
            db = QSqlDatabase::addDatabase(engine() == Engine::PostgreSql ? QStringLiteral("QPSQL")
                                                                          : QStringLiteral("QSQLITE"),
                                           QStringLiteral("roundtrip"));
            if (engine() == Engine::PostgreSql) {
                db.setHostName(pg.host());
                db.setPort(pg.port());
                db.setUserName(pg.user());
                db.setDatabaseName(pg.name());
            } else {
                db.setDatabaseName(erpFile);
            }
            db.open();
        }
        QStringList values;
        {
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
            while (q.next()) values << q.value(0).toString().trimmed();
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("roundtrip"));
        return values;
    }

    test::TempHome home;
    test::TempPgDatabase pg;
    QString erpFile, launch, palm;
};

TEST_P(RoundTrip, SendCaptureReceive) {
    // Send: the handheld gets exactly its vendor's clients and the 'V' price lists they use.
    const test::ToolRun send = withSync({QStringLiteral("send"), QStringLiteral("1")});
    ASSERT_EQ(send.exitCode, 0) << send.err.toStdString();
    EXPECT_TRUE(send.out.contains(QStringLiteral("Aviso al opeador: Se sincronizaron los datos con exito!!!")));
    EXPECT_TRUE(send.out.endsWith(QStringLiteral("Aviso al Usuario: Proceso Finalizado!!!\n")));
    const QString vendor1 = QStringLiteral("(LTRIM(IDVENDEDOR) = '1' OR LTRIM(IDVENDEDOR1) = '1' OR LTRIM(IDVENDEDOR2) = '1' "
                                           "OR LTRIM(IDVENDEDOR3) = '1' OR LTRIM(IDVENDEDOR4) = '1' OR LTRIM(IDVENDEDOR5) = '1')");
    const QStringList clients = erpColumn(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES WHERE ") + vendor1);
    ASSERT_FALSE(clients.isEmpty());
    EXPECT_EQ(handheld(QStringLiteral("MA_CLIENTES")), QSet<QString>(clients.begin(), clients.end()));
    const QStringList lists = erpColumn(QStringLiteral("SELECT DISTINCT p.IdLista FROM V_MA_Precios p WHERE p.TipoLista = 'V' AND "
                                                       "LTRIM(p.IdLista) IN (SELECT LTRIM(IdLista) FROM VT_CLIENTES WHERE ") +
                                        vendor1 + QStringLiteral(" AND IdLista IS NOT NULL)"));
    EXPECT_EQ(handheld(QStringLiteral("MA_PRECIOS")), QSet<QString>(lists.begin(), lists.end()));

    // Capture on the handheld, then receive: every document and line reaches the ERP.
    ASSERT_EQ(test::runTool(QStringLiteral("kvhandheld"), home,
                            {QStringLiteral("capture"), palm, QStringLiteral("--orders"), QStringLiteral("3"),
                             QStringLiteral("--work-orders"), QStringLiteral("2")})
                  .exitCode,
              0);
    const int lines = handheldRows(QStringLiteral("MV_CPTE_DETALLE"));
    const test::ToolRun receive = withSync({QStringLiteral("receive"), QStringLiteral("1")});
    ASSERT_EQ(receive.exitCode, 0) << receive.err.toStdString();
    EXPECT_TRUE(receive.out.contains(QStringLiteral("Aviso al operador!!!: Se actualizaron 5 comprobantes y se omitieron 0 por "
                                                    "ya existir en la base de datos\nSE HA GENERADO LA PLANILLA DE CONTROL Nº "
                                                    "000000000001X\n")))
        << receive.out.toStdString();
    EXPECT_EQ(erpColumn(QStringLiteral("SELECT IdComprobante FROM V_MV_CPTE WHERE IdComprobante LIKE '0001%'")).size(), 5);
    const int supplies = erpColumn(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteInsumos WHERE IdComprobante LIKE '0001%'")).value(0).toInt();
    const int tasks = erpColumn(QStringLiteral("SELECT COUNT(*) FROM V_MV_CpteTareas WHERE IdComprobante LIKE '0001%'")).value(0).toInt();
    EXPECT_EQ(supplies + tasks, lines);
    // The documents are dated the day of the capture, whatever the server's date order.
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    for (const QString& fecha :
         erpColumn(QStringLiteral("SELECT Fecha FROM V_MV_CPTE WHERE IdComprobante LIKE '0001%'")))
        EXPECT_EQ(fecha.left(10), today);

    // A second receive of the same documents imports nothing.
    const test::ToolRun again = withSync({QStringLiteral("receive"), QStringLiteral("1")});
    ASSERT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.contains(QStringLiteral("Se actualizaron 0 comprobantes y se omitieron 5 por ya existir")));
    EXPECT_EQ(erpColumn(QStringLiteral("SELECT IdComprobante FROM V_MV_CPTE WHERE IdComprobante LIKE '0001%'")).size(), 5);

    // Documents captured after that receive survive the next send and come home with the next
    // receive.
    ASSERT_EQ(test::runTool(QStringLiteral("kvhandheld"), home,
                            {QStringLiteral("capture"), palm, QStringLiteral("--orders"), QStringLiteral("2"),
                             QStringLiteral("--seed"), QStringLiteral("2")})
                  .exitCode,
              0);
    ASSERT_EQ(handheldRows(QStringLiteral("MV_CPTE")), 7);
    ASSERT_EQ(withSync({QStringLiteral("send"), QStringLiteral("1")}).exitCode, 0);
    EXPECT_EQ(handheldRows(QStringLiteral("MV_CPTE")), 7);
    const test::ToolRun last = withSync({QStringLiteral("receive"), QStringLiteral("1")});
    ASSERT_EQ(last.exitCode, 0) << last.err.toStdString();
    EXPECT_TRUE(
        last.out.contains(QStringLiteral("Se actualizaron 2 comprobantes y se omitieron 5 por ya existir")))
        << last.out.toStdString();
    EXPECT_EQ(
        erpColumn(QStringLiteral("SELECT IdComprobante FROM V_MV_CPTE WHERE IdComprobante LIKE '0001%'"))
            .size(),
        7);
}

INSTANTIATE_TEST_SUITE_P(
    Engines, RoundTrip,
    ::testing::Values(ErpRoad{"sqlite", Engine::Sqlite, ""}, ErpRoad{"postgresql", Engine::PostgreSql, ""},
                      ErpRoad{"postgresql_odbc", Engine::PostgreSql, "PostgreSQL Unicode"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

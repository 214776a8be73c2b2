#include "DemoErp.h"
#include "ErpFixture.h"
#include "Handheld.h"
#include "ScriptedOperator.h"
#include "TestEnv.h"
#include "app/Cfg.h"
#include "data/DB_Dll.h"
#include "store/StoreFile.h"
#include "sync/SyncRun.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace kv;

namespace {

// The ERP server goes away in the middle of an import: only whole documents may be in the
// ERP, and once it is back the next run brings the rest with nothing twice.
class ServerStopped : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::makePrivateErp(server, 10, 5)) GTEST_SKIP() << "no PostgreSQL server binaries";
        store = home.file(QStringLiteral("kvpalmsync.mdb"));
        test::captureOrders(store, kDocuments, kLines, QStringLiteral("000001"));
    }
    void TearDown() override {
        resetProgramDatabases();
    }
    void connect() {
        resetProgramDatabases();
        configTableName() = QStringLiteral("ta_configuracion");
        DB_Dll& e = ErpDb();
        e.gMotor = Engine::PostgreSql;
        e.gServidor = QStringLiteral("127.0.0.1,%1").arg(server.port());
        e.gDBName = QStringLiteral("erp");
        e.gUsuario = QStringLiteral("postgres");
        e.OpenServerADODB(false, 3, QString(), false);
        LocalDb().gDBName = store;
        LocalDb().gProveedor = DB_Dll::pJETOLEDB40();
        LocalDb().OpenLocalADODB();
    }
    RunOutcome importOnce() {
        Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
        SyncRunState run(trap);
        return importDocuments(run);
    }
    // Documents in the ERP and how many of them have every line.
    QPair<int, int> erpDocuments() {
        Connection c;
        c.setEngine(Engine::PostgreSql);
        c.open(QStringLiteral("Server=127.0.0.1,%1;Database=erp;UId=postgres;").arg(server.port()));
        Recordset rs;
        rs.open(QStringLiteral("SELECT d.IdComprobante, COUNT(i.IdComprobante) AS n, COUNT(DISTINCT d.ID) AS copies "
                               "FROM V_MV_CPTE d LEFT JOIN V_MV_CpteInsumos i ON i.IdComprobante = d.IdComprobante "
                               "GROUP BY d.IdComprobante"),
                c);
        int docs = 0, whole = 0;
        for (; !rs.eof(); rs.moveNext()) {
            ++docs;
            const int n = rs.value(QStringLiteral("n")).toInt();
            const int copies = rs.value(QStringLiteral("copies")).toInt();
            EXPECT_EQ(copies, 1) << "a document imported twice";
            if (n == kLines * copies) ++whole;
        }
        return {docs, whole};
    }
    static constexpr int kDocuments = 40;
    static constexpr int kLines = 3;
    test::PrivatePgServer server;
    test::TempHome home;
    test::ScopedOperator person;
    QString store;
};

TEST_F(ServerStopped, OnlyWholeDocumentsAndTheRestNextTime) {
    connect();
    int shown = 0;
    person.person.onStatusTexts([&](const QString& first) {
        if (first == QLatin1String("Actualizando comprobantes") && ++shown == 15) server.stop();
    });
    person.person.answerAlways(mb::Abort);
    EXPECT_EQ(importOnce(), RunOutcome::Left);
    person.person.onStatusTexts({});

    ASSERT_TRUE(server.start());
    const auto [afterFault, wholeAfterFault] = erpDocuments();
    EXPECT_EQ(afterFault, wholeAfterFault) << "a document without all its lines";
    // Documents are committed in groups: the group being written when the server went away is
    // lost whole and comes in with the next run.
    EXPECT_LE(afterFault, 15);

    connect();
    person.person.clear();
    ASSERT_EQ(importOnce(), RunOutcome::Imported);
    EXPECT_TRUE(person.person.messages().last().contains(
        QStringLiteral("Se actualizaron %1 comprobantes y se omitieron %2 ").arg(kDocuments - afterFault).arg(afterFault)))
        << person.person.messages().last().toStdString();
    const auto [total, whole] = erpDocuments();
    EXPECT_EQ(total, kDocuments);
    EXPECT_EQ(whole, kDocuments);
}

} // namespace

// The ERP server restarts under an open program: every statement then fails with the reason,
// never with an error number alone, and the next command opens the connection again.
#include "DemoErp.h"
#include "ErpFixture.h"
#include "ScriptedOperator.h"
#include "TestEnv.h"
#include "app/Cfg.h"
#include "console/SendPreview.h"
#include "data/DB_Dll.h"

#include <functional>
#include <gtest/gtest.h>

using namespace kv;

namespace {

struct Road {
    const char* name;
    const char* odbcDriver; // empty: Qt's native driver
};

class ServerRestarted : public ::testing::TestWithParam<Road> {
protected:
    void SetUp() override {
        if (!test::makePrivateErp(server, 10, 5)) GTEST_SKIP() << "no PostgreSQL server binaries";
        resetProgramDatabases();
        configTableName() = QStringLiteral("ta_configuracion");
        DB_Dll& e = ErpDb();
        e.gMotor = Engine::PostgreSql;
        e.gServidor = QStringLiteral("127.0.0.1,%1").arg(server.port());
        e.gDBName = QStringLiteral("erp");
        e.gUsuario = QStringLiteral("postgres");
        e.gCnn.setOdbcDriver(QLatin1String(GetParam().odbcDriver));
        e.gCnn.setEngine(Engine::PostgreSql);
        e.gCnn.open(QStringLiteral("Server=127.0.0.1,%1;Database=erp;UId=postgres;").arg(server.port()));
        e.gOpenFlag = true;
    }
    void TearDown() override { resetProgramDatabases(); }
    test::PrivatePgServer server;
    test::TempHome home;
    test::ScopedOperator person;
};

TEST_P(ServerRestarted, EveryStatementSaysWhyAndTheNextCommandWorks) {
    DB_Dll& e = ErpDb();
    Recordset rs;
    const QList<QPair<const char*, std::function<void()>>> statements{
        {"prepared", [&] { e.AbrirConsulta(QStringLiteral("SELECT CTACODIGO FROM VT_CLIENTES WHERE CTACODIGO = ?"), {QStringLiteral("1")}, rs); }},
        {"record set", [&] { e.openRecordset(QStringLiteral("SELECT TOP 1 * FROM V_MV_CPTE"), rs); }},
        {"savepoint", [&] {
             Transaction t(e.gCnn);
             e.gCnn.savepoint(QStringLiteral("kv_test"));
         }},
        {"execute", [&] { e.gCnn.execute(QStringLiteral("UPDATE ta_configuracion SET VALOR = VALOR WHERE 1 = 0")); }}};
    for (const auto& [name, run] : statements) ASSERT_NO_THROW(run()) << name;
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start());
    for (int round = 0; round < 2; ++round)
        for (const auto& [name, run] : statements) {
            try {
                run();
                ADD_FAILURE() << name << " ran on a connection the server dropped";
            } catch (const RunTimeError& x) {
                EXPECT_GT(x.description().trimmed().size(), 20) << name << ": " << x.description().toStdString();
            }
        }
    EXPECT_TRUE(e.gCnn.lost());
    // The next command of the console: the parameters dialog's preview of a send.
    VistaPrevia(QString(), QString());
    EXPECT_TRUE(person.person.shownOf(QStringLiteral("error")).isEmpty())
        << person.person.messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(person.person.messages().value(0).contains(QStringLiteral("MA_CLIENTES: 10 filas")))
        << person.person.messages().join(QLatin1Char('\n')).toStdString();
    for (const auto& [name, run] : statements) EXPECT_NO_THROW(run()) << name;
}

INSTANTIATE_TEST_SUITE_P(Roads, ServerRestarted,
                         ::testing::Values(Road{"native", ""}, Road{"odbc", "PostgreSQL Unicode"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

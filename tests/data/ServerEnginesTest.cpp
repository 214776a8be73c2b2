#include "TestEnv.h"
#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "data/Recordset.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

// The same record-set behaviour on a real PostgreSQL server, natively and through unixODBC.
struct ServerCase {
    const char* name;
    Engine engine;
    const char* odbcDriver;
};

class ServerEngines : public ::testing::TestWithParam<ServerCase> {
protected:
    void SetUp() override {
        KV_REQUIRE_PG(db);
        conn.setEngine(GetParam().engine);
        conn.setOdbcDriver(QString::fromLatin1(GetParam().odbcDriver));
        conn.open(QStringLiteral("PROVIDER=SQLOLEDB;Server=%1,%2;Database =%3;UId=%4;Pwd=;")
                      .arg(db.host())
                      .arg(db.port())
                      .arg(db.name(), db.user()));
        conn.execute(QStringLiteral("CREATE TABLE v_mv_cpte (tc CHAR(4) NOT NULL, idcomprobante VARCHAR(13), "
                                    "importe NUMERIC(18,4), fecha TIMESTAMP, nombre VARCHAR(40))"));
        conn.execute(QStringLiteral("INSERT INTO v_mv_cpte VALUES ('NP', '0001000000011', 12.5, "
                                    "'2026-12-01 00:00:00', 'O''Brien')"));
    }
    test::TempPgDatabase db;
    Connection conn;
};

TEST_P(ServerEngines, ReadsAddsAndListsLikeTheFileEngine) {
    {
        Recordset rs;
        rs.open(QStringLiteral("SELECT * FROM V_MV_CPTE WHERE TC = 'NP  '"), conn);
        ASSERT_FALSE(rs.eof()) << "trailing blanks of a fixed-width code must not count";
        EXPECT_EQ(rs.value(QStringLiteral("NOMBRE")).toString(), QStringLiteral("O'Brien"));
        EXPECT_EQ(rs.fields().item(QStringLiteral("nombre")).definedSize(), 40);
        rs.moveNext();
        EXPECT_TRUE(rs.eof());
    }
    {
        Recordset add;
        add.open(QStringLiteral("SELECT * FROM V_MV_CPTE WHERE 1 = 0"), conn, cursor::Dynamic, lock::Optimistic);
        add.addNew();
        add.setValue(QStringLiteral("TC"), QStringLiteral("OT"));
        add.setValue(QStringLiteral("IdComprobante"), QStringLiteral("0002000000021"));
        add.setValue(QStringLiteral("Importe"), QStringLiteral("7.25")); // numbers travel as text
        add.setValue(QStringLiteral("Fecha"), QStringLiteral("2026-12-09"));
        add.update();
    }
    Recordset check;
    check.open(QStringLiteral("SELECT importe FROM v_mv_cpte WHERE tc = 'OT'"), conn);
    ASSERT_FALSE(check.eof());
    EXPECT_DOUBLE_EQ(check.value(QStringLiteral("IMPORTE")).toDouble(), 7.25);

    auto schema = conn.openSchema(20);
    bool found = false;
    while (!schema->eof()) {
        found |= schema->value(QStringLiteral("TABLE_NAME")).toString().compare(QStringLiteral("V_MV_CPTE"),
                                                                                Qt::CaseInsensitive) == 0;
        schema->moveNext();
    }
    EXPECT_TRUE(found);
}

TEST_P(ServerEngines, RefusedStatementFillsTheErrorList) {
    EXPECT_THROW(conn.execute(QStringLiteral("SELECT * FROM no_such_table")), RunTimeError);
    ASSERT_EQ(conn.errors().count(), 1);
    EXPECT_FALSE(conn.errors().item(0).description.isEmpty());
}

TEST_P(ServerEngines, TransactionRollsBackOnScopeExit) {
    {
        Transaction t(conn);
        conn.execute(QStringLiteral("DELETE FROM v_mv_cpte"));
    }
    Recordset rs;
    rs.open(QStringLiteral("v_mv_cpte"), conn);
    EXPECT_FALSE(rs.eof());
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerEngines,
                         ::testing::Values(ServerCase{"postgresql_native", Engine::PostgreSql, ""},
                                           ServerCase{"odbc_psqlodbc", Engine::SqlServer, "PostgreSQL Unicode"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ServerEngines, UnreachableServerFailsWithAMessage) {
    Connection c;
    c.setEngine(Engine::PostgreSql);
    EXPECT_THROW(c.open(QStringLiteral("PROVIDER=SQLOLEDB;Server=127.0.0.1,1;Database =x;UId=u;Pwd=p;")), RunTimeError);
    ASSERT_EQ(c.errors().count(), 1);
    EXPECT_FALSE(c.errors().item(0).description.isEmpty());
    EXPECT_EQ(c.state(), 0);
}

} // namespace

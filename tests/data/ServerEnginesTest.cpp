#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/RowStream.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDate>
#include <QSqlQuery>

using namespace kv;

namespace {

// The same record-set behaviour on a real PostgreSQL server, natively and through unixODBC.
struct ServerCase {
    const char* name;
    Engine engine;
    const char* odbcDriver;
    const char* readUncommitted; // what the server runs for isolation level 256
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
        add.setValue(QStringLiteral("Fecha"),
                     QStringLiteral("2026-12-09")); // the store's text goes as a date
        EXPECT_THROW(add.setValue(QStringLiteral("Fecha"), QStringLiteral("2026-13-09")), RunTimeError);
        add.update();
    }
    Recordset check;
    check.open(QStringLiteral("SELECT importe, fecha FROM v_mv_cpte WHERE tc = 'OT'"), conn);
    ASSERT_FALSE(check.eof());
    EXPECT_DOUBLE_EQ(check.value(QStringLiteral("IMPORTE")).toDouble(), 7.25);
    EXPECT_EQ(check.value(QStringLiteral("FECHA")).toDate(), QDate(2026, 12, 9));

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
    EXPECT_EQ(conn.errors().item(0).sqlState, QStringLiteral("42P01"));
}

// A statement with unread results holds its connection: anything else run there is a program
// error on every engine, as FreeTDS without MARS would refuse it.
TEST_P(ServerEngines, NothingRunsWhileAStreamHasUnreadRows) {
    auto rows = RowStream::open(conn, QStringLiteral("SELECT * FROM v_mv_cpte"));
    Recordset rs;
    EXPECT_THROW(rs.open(QStringLiteral("SELECT 1"), conn), RunTimeError);
    EXPECT_THROW(conn.execute(QStringLiteral("SELECT 1")), RunTimeError);
    while (rows->next()) {
    }
    EXPECT_NO_THROW(rs.open(QStringLiteral("SELECT 1"), conn));
}

TEST_P(ServerEngines, PreparedStatementRunsAgainFullyRead) {
    QSqlQuery& q = conn.preparedStatement(QStringLiteral("SELECT nombre FROM v_mv_cpte WHERE tc = ?"));
    for (const auto& [tc, rows] : {std::pair{"NP", 1}, std::pair{"XX", 0}, std::pair{"NP", 1}}) {
        q.bindValue(0, QString::fromLatin1(tc));
        Recordset rs;
        rs.open(q, conn);
        int n = 0;
        for (; !rs.eof(); rs.moveNext())
            ++n;
        EXPECT_EQ(n, rows) << tc;
        conn.execute(QStringLiteral("SELECT 1")); // the statement is free again
    }
}

TEST_P(ServerEngines, TimeoutAndIsolationReachTheServer) {
    conn.setIsolationLevel(256);
    Recordset rs;
    rs.open(QStringLiteral("SHOW transaction_isolation"), conn);
    EXPECT_EQ(rs[0].value().toString(), QString::fromLatin1(GetParam().readUncommitted));
    conn.setCommandTimeout(1);
    EXPECT_THROW(conn.execute(QStringLiteral("SELECT pg_sleep(5)")), RunTimeError);
    ASSERT_EQ(conn.errors().count(), 1);
    EXPECT_FALSE(conn.errors().item(0).sqlState.isEmpty());
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
                         ::testing::Values(ServerCase{"postgresql_native", Engine::PostgreSql, "",
                                                      "read uncommitted"},
                                           ServerCase{"odbc_psqlodbc", Engine::SqlServer,
                                                      "PostgreSQL Unicode", "read uncommitted"},
                                           // PostgreSQL's own dialect through ODBC ("DriverPostgreSQL").
                                           ServerCase{"odbc_postgresql", Engine::PostgreSql,
                                                      "PostgreSQL Unicode", "read committed"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ServerEngines, MissingOdbcDriverNamesItsSettingAndOdbcinst) {
    Connection c;
    c.setEngine(Engine::SqlServer);
    c.setOdbcDriver(QStringLiteral("NoSuchDriver"));
    EXPECT_THROW(c.open(QStringLiteral("PROVIDER=SQLOLEDB;Server=h;Database =x;UId=u;Pwd=p;")), RunTimeError);
    ASSERT_EQ(c.errors().count(), 1);
    const ProviderError& e = c.errors().item(0);
    // IM002 for an unknown name, 01000 ("Can't open lib") for a listed one whose library is gone.
    EXPECT_TRUE(e.sqlState == QLatin1String("IM002") || e.sqlState == QLatin1String("01000"))
        << e.sqlState.toStdString();
    for (const char* part : {"NoSuchDriver", "\"General\"", "\"DriverSQLServer\"", "/etc/odbcinst.ini"})
        EXPECT_TRUE(e.description.contains(QLatin1String(part))) << e.description.toStdString();
}

TEST(ServerEngines, UnreachableServerFailsWithAMessage) {
    Connection c;
    c.setEngine(Engine::PostgreSql);
    EXPECT_THROW(c.open(QStringLiteral("PROVIDER=SQLOLEDB;Server=127.0.0.1,1;Database =x;UId=u;Pwd=p;")), RunTimeError);
    ASSERT_EQ(c.errors().count(), 1);
    EXPECT_FALSE(c.errors().item(0).description.isEmpty());
    EXPECT_EQ(c.state(), 0);
}

} // namespace

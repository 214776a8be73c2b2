// The writers keep every value as given, on both engines; connection strings are read as libpq
// reads them; a PostgreSQL database is either given all the objects or left as it was.

#include "app/RunTimeError.h"
#include "data/Recordset.h"
#include "ErpTestSupport.h"
#include "ErpWriter.h"

#include <gtest/gtest.h>

using namespace kv;
using kv::test::EngineCase;

namespace {

struct ConnInfoCase {
    const char* name;
    const char* text;
    const char* host;
    const char* port;
    const char* dbname;
    const char* user;
    const char* password;
    QStringList options;
};

TEST(ConnInfo, IsReadAsLibpqReadsIt) {
    const ConnInfoCase cases[] = {
        {"plain",
         "host=127.0.0.1 port=5432 user=postgres dbname=erp",
         "127.0.0.1",
         "5432",
         "erp",
         "postgres",
         "",
         {}},
        {"blanks_and_quotes",
         "  host = db.local   dbname='mi base' password='o\\'brien \\\\ x' ",
         "db.local",
         "",
         "mi base",
         "",
         "o'brien \\ x",
         {}},
        {"address_and_other_keys",
         "hostaddr=10.0.0.1 sslmode=require application_name='kv erp'",
         "10.0.0.1",
         "",
         "",
         "",
         "",
         {QStringLiteral("sslmode='require'"), QStringLiteral("application_name='kv erp'")}},
        {"empty_value", "host=h password=''", "h", "", "", "", "", {}},
    };
    for (const ConnInfoCase& c : cases) {
        SCOPED_TRACE(c.name);
        const erp::ConnInfo ci = erp::parseConnInfo(QString::fromLatin1(c.text));
        EXPECT_EQ(ci.host, QLatin1String(c.host));
        EXPECT_EQ(ci.port, QLatin1String(c.port));
        EXPECT_EQ(ci.dbname, QLatin1String(c.dbname));
        EXPECT_EQ(ci.user, QLatin1String(c.user));
        EXPECT_EQ(ci.password, QLatin1String(c.password));
        EXPECT_EQ(ci.options, c.options);
        EXPECT_FALSE(ci.describe().contains(QStringLiteral("password")));
    }
    for (const char* bad : {"host", "=x", "dbname='open", "port=abc", "port=70000", "postgresql://u@h/db"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(erp::parseConnInfo(QString::fromLatin1(bad)), RunTimeError);
    }
}

TEST(ConnInfo, GivesTheRecordSetLayerItsConnectionString) {
    EXPECT_EQ(erp::connectionString(
                  erp::Target::postgres(QStringLiteral("host=h port=6543 user=u dbname=erp password=pw"))),
              QStringLiteral("PROVIDER=SQLOLEDB;Server=h,6543;Database =erp;UId=u;Pwd=pw;"));
    EXPECT_EQ(erp::connectionString(erp::Target::sqlite(QStringLiteral("/tmp/erp.db"))),
              QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source =/tmp/erp.db;"));
}

// Values that break naive escaping, each in a row of its own.
const QList<QVariantList> kAwkwardRows = {
    {QStringLiteral("O'Brien"), QStringLiteral("back\\slash \\x41"), QStringLiteral("NP"),
     QByteArray("\x00\x01'\\\"", 5), QDateTime(QDate(2026, 12, 9), QTime(17, 5, 1)), 1234.5678, 0.1, 1, -7},
    {QStringLiteral("\"quoted\" {braces},commas"), QStringLiteral("line one\r\nline two"),
     QStringLiteral("NP  "), QByteArray(), QVariant(), 0.0, -1e-9, 0, 2147483647},
    {QStringLiteral("NULL"), QString::fromUtf8("ñandú € ü"), QStringLiteral("A"), QByteArray("plain"),
     QVariant(), -99.99, 123456789.125, 1, 0},
    {QStringLiteral(""), QStringLiteral("  blanks around  "), QVariant(), QVariant(), QVariant(), QVariant(),
     QVariant(), 0, QVariant()},
};

erp::ErpObject awkwardTable() {
    using erp::ColumnType;
    erp::ErpObject o;
    o.name = QStringLiteral("KV_AWKWARD");
    o.columns = {{QStringLiteral("ID"), ColumnType::Identity, 0, false, {}},
                 {QStringLiteral("T"), ColumnType::Text, 40, true, {}},
                 {QStringLiteral("M"), ColumnType::Memo, 0, true, {}},
                 {QStringLiteral("C"), ColumnType::Code, 4, true, {}},
                 {QStringLiteral("B"), ColumnType::Binary, 0, true, {}},
                 {QStringLiteral("D"), ColumnType::DateTime, 0, true, {}},
                 {QStringLiteral("CUR"), ColumnType::Currency, 0, true, {}},
                 {QStringLiteral("DBL"), ColumnType::Double, 0, true, {}},
                 {QStringLiteral("F"), ColumnType::Flag, 0, false, {}},
                 {QStringLiteral("I"), ColumnType::Integer, 0, true, {}}};
    return o;
}

class Writers : public ::testing::TestWithParam<EngineCase> {};

TEST_P(Writers, KeepEveryValueAsGiven) {
    QTemporaryDir dir;
    std::unique_ptr<test::TempPgDatabase> pg;
    erp::Target target = erp::Target::sqlite(dir.filePath(QStringLiteral("w.db")));
    std::unique_ptr<erp::ErpWriter> writer;
    if (GetParam().engine == Engine::PostgreSql) {
        pg = std::make_unique<test::TempPgDatabase>();
        KV_REQUIRE_PG(*pg);
        target = erp::Target::postgres(pg->connInfo());
        writer = erp::openPostgresWriter(erp::parseConnInfo(target.location));
    } else {
        writer = erp::openSqliteWriter(target.location);
    }
    const erp::ErpObject table = awkwardTable();
    writer->execute(table.createStatement(GetParam().engine));
    writer->beginRows(table);
    for (const QVariantList& row : kAwkwardRows)
        writer->addRow(row);
    writer->endRows();
    writer->commit();
    writer.reset();

    Connection c;
    erp::openErp(c, target);
    const auto rows = test::rowsOf(c, QStringLiteral("SELECT * FROM KV_AWKWARD ORDER BY ID"));
    ASSERT_EQ(rows.size(), kAwkwardRows.size());
    for (int r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE(r);
        const QVariantList& given = kAwkwardRows.at(r);
        const QVariantList& got = rows.at(r);
        EXPECT_EQ(got.at(1), given.at(0));
        EXPECT_EQ(got.at(2), given.at(1));
        EXPECT_EQ(got.at(3).toString().trimmed(), given.at(2).toString().trimmed());
        EXPECT_EQ(got.at(4).toByteArray(), given.at(3).toByteArray());
        EXPECT_EQ(isNull(got.at(5)), isNull(given.at(4)));
        if (!isNull(given.at(4))) {
            EXPECT_EQ(got.at(5).toDateTime(), given.at(4).toDateTime());
        }
        for (int k = 5; k <= 8; ++k) {
            EXPECT_EQ(isNull(got.at(k + 1)), isNull(given.at(k))) << k;
            EXPECT_DOUBLE_EQ(got.at(k + 1).toDouble(), given.at(k).toDouble()) << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Erp, Writers, ::testing::Values(test::kSqlite, test::kPostgres), test::EngineName());

// The names of the tables and views of the database after an attempt on it that held `taken`.
QStringList afterRefusal(const QString& taken, long error) {
    test::TempPgDatabase db;
    if (!db.available()) return {QStringLiteral("<no server>")};
    const erp::Target target = erp::Target::postgres(db.connInfo());
    Connection c;
    erp::openErp(c, target);
    c.execute(taken);
    try {
        erp::createDemoErp(target, {.clients = 5});
        ADD_FAILURE() << "accepted";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), error) << qPrintable(e.description());
    }
    QStringList names;
    for (auto schema = c.openSchema(20); !schema->eof(); schema->moveNext())
        names << schema->value(QStringLiteral("TABLE_NAME")).toString();
    return names;
}

TEST(PostgresDatabase, HoldingOneObjectIsRefusedAndLeftAsItWas) {
    if (test::postgresConnInfo().isEmpty()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    EXPECT_EQ(afterRefusal(QStringLiteral("CREATE TABLE vt_clientes (codigo VARCHAR(15))"),
                           erp::erperr::ObjectsExist),
              QStringList{QStringLiteral("vt_clientes")});
}

// A failure half way (here a type holds the name of a table made late) takes back everything
// made before it.
TEST(PostgresDatabase, AFailureHalfWayLeavesNothing) {
    if (test::postgresConnInfo().isEmpty()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    EXPECT_EQ(
        afterRefusal(QStringLiteral("CREATE TYPE v_mv_cpteinsumos AS ENUM ('x')"), erp::erperr::Refused),
        QStringList());
}

} // namespace

#include "ErpFile.h"
#include "TestEnv.h"
#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "data/Recordset.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace kv;

namespace {


QString jet(const QString& path) {
    return QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source =%1;User Id=;Password=;").arg(path);
}

// The number of the error raised; a number with a standard text must come with that text.
long errorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RunTimeError& e) {
        const QString standard = err::textOf(e.number());
        if (!standard.isEmpty()) {
            EXPECT_TRUE(e.description().startsWith(standard)) << e.description().toStdString();
        }
        return e.number();
    }
    return 0;
}

class RecordsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = home.file(QStringLiteral("store.db"));
        test::makeSqliteDatabase(path, {
            QStringLiteral("CREATE TABLE CLIENTES (CODIGO VARCHAR(15) NOT NULL, NOMBRE VARCHAR(200), SALDO DOUBLE, "
                           "ZONA VARCHAR(4) DEFAULT 'NORT')"),
            QStringLiteral("INSERT INTO CLIENTES VALUES ('C1', 'Ana', 10.5, 'SUR')"),
            QStringLiteral("INSERT INTO CLIENTES VALUES ('C2', NULL, NULL, 'ESTE')"),
            QStringLiteral("INSERT INTO CLIENTES VALUES ('C3', 'O''Brien', 0, 'OEST')"),
            QStringLiteral("CREATE TABLE VACIA (A TEXT)"),
            QStringLiteral("CREATE VIEW V_CLIENTES AS SELECT CODIGO, NOMBRE, SALDO FROM CLIENTES"),
            QStringLiteral("CREATE TRIGGER V_CLIENTES_INS INSTEAD OF INSERT ON V_CLIENTES BEGIN "
                           "INSERT INTO CLIENTES (CODIGO, NOMBRE, SALDO) VALUES (NEW.CODIGO, NEW.NOMBRE, NEW.SALDO); END"),
        });
        conn.open(jet(path));
    }
    QStringList codes(const QString& source) {
        Recordset rs;
        rs.open(source, conn);
        QStringList r;
        while (!rs.eof()) {
            r << rs.value(QStringLiteral("CODIGO")).toString();
            rs.moveNext();
        }
        return r;
    }
    test::TempHome home;
    QString path;
    Connection conn;
};

TEST_F(RecordsetTest, WalksRowsInOrderAndStopsAtEof) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT * FROM CLIENTES ORDER BY CODIGO"), conn);
    EXPECT_EQ(rs.state(), 1);
    EXPECT_FALSE(rs.bof());
    QStringList names;
    while (!rs.eof()) {
        names << (isNull(rs.value(QStringLiteral("nombre"))) ? QStringLiteral("<null>")
                                                              : rs.value(QStringLiteral("NOMBRE")).toString());
        rs.moveNext();
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("Ana"), QStringLiteral("<null>"), QStringLiteral("O'Brien")}));
    EXPECT_EQ(errorNumberOf([&] { rs.moveNext(); }), err::NoCurrentRecord);
    EXPECT_EQ(errorNumberOf([&] { rs.value(QStringLiteral("CODIGO")); }), err::NoCurrentRecord);
    rs.moveFirst(); // reads the rows again from the start
    EXPECT_EQ(rs.value(QStringLiteral("CODIGO")).toString(), QStringLiteral("C1"));
    rs.close();
    EXPECT_EQ(rs.state(), 0);
    EXPECT_EQ(errorNumberOf([&] { rs.eof(); }), err::ObjectClosed);
}

TEST_F(RecordsetTest, SourcesAsStatementOrBareTableName) {
    const QStringList all{QStringLiteral("C1"), QStringLiteral("C2"), QStringLiteral("C3")};
    EXPECT_EQ(codes(QStringLiteral("CLIENTES")), all);
    EXPECT_EQ(codes(QStringLiteral("[CLIENTES]")), all);
    EXPECT_EQ(codes(QStringLiteral("SELECT TOP 2 * FROM CLIENTES ORDER BY CODIGO DESC")),
              (QStringList{QStringLiteral("C3"), QStringLiteral("C2")}));
    EXPECT_EQ(codes(QStringLiteral("SELECT * FROM V_CLIENTES WHERE NOMBRE = 'O''Brien'")), QStringList{QStringLiteral("C3")});
}

TEST_F(RecordsetTest, EmptyResultIsBothBofAndEof) {
    Recordset rs;
    rs.open(QStringLiteral("VACIA"), conn);
    EXPECT_TRUE(rs.bof());
    EXPECT_TRUE(rs.eof());
    rs.moveFirst(); // harmless on an empty set
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(rs.fields().count(), 1);
}

TEST_F(RecordsetTest, FieldsByNameOrOrdinalWithDeclaredSizes) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT * FROM V_CLIENTES"), conn);
    Fields& f = rs.fields();
    ASSERT_EQ(f.count(), 3);
    EXPECT_EQ(f.item(1).name(), QStringLiteral("NOMBRE"));
    EXPECT_EQ(&f.item(QStringLiteral("nombre")), &f.item(1));
    EXPECT_EQ(f.item(QStringLiteral("NOMBRE")).definedSize(), 200); // through the view
    EXPECT_EQ(f.item(QStringLiteral("CODIGO")).definedSize(), 15);
    EXPECT_EQ(f.item(QStringLiteral("SALDO")).definedSize(), 8);
    EXPECT_EQ(errorNumberOf([&] { f.item(QStringLiteral("NO_EXISTE")); }), err::ItemNotFound);
    EXPECT_EQ(errorNumberOf([&] { f.item(3); }), err::ItemNotFound);
    EXPECT_EQ(errorNumberOf([&] { f.item(-1); }), err::ItemNotFound);
}

struct AddCase {
    const char* name;
    const char* source;
};

class AddNewTest : public RecordsetTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddNewTest, InsertsOneRowWithTheAssignedColumns) {
    Recordset rs;
    rs.open(QString::fromLatin1(GetParam().source), conn, cursor::Dynamic, lock::Optimistic);
    rs.addNew();
    rs.setValue(QStringLiteral("codigo"), QStringLiteral("C9"));
    rs.setValue(QStringLiteral("NOMBRE"), QStringLiteral("D'Angelo; DROP TABLE CLIENTES"));
    rs.setValue(QStringLiteral("SALDO"), QStringLiteral("12.5"));
    // Assigned values can be read back before and after the row is stored.
    EXPECT_EQ(rs.value(QStringLiteral("SALDO")).toString(), QStringLiteral("12.5"));
    rs.update();
    EXPECT_EQ(rs.value(QStringLiteral("NOMBRE")).toString(), QStringLiteral("D'Angelo; DROP TABLE CLIENTES"));

    Recordset check;
    check.open(QStringLiteral("SELECT NOMBRE, SALDO, ZONA FROM CLIENTES WHERE CODIGO = 'C9'"), conn);
    ASSERT_FALSE(check.eof());
    EXPECT_EQ(check.value(QStringLiteral("NOMBRE")).toString(), QStringLiteral("D'Angelo; DROP TABLE CLIENTES"));
    EXPECT_DOUBLE_EQ(check.value(QStringLiteral("SALDO")).toDouble(), 12.5);
    EXPECT_EQ(codes(QStringLiteral("CLIENTES")).size(), 4);
}

INSTANTIATE_TEST_SUITE_P(Sources, AddNewTest,
                         ::testing::Values(AddCase{"one_row_query_on_table", "SELECT TOP 1 * FROM CLIENTES"},
                                           AddCase{"one_row_query_on_view", "SELECT TOP 1 * FROM V_CLIENTES"},
                                           AddCase{"bare_table_name", "CLIENTES"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordsetTest, UnassignedColumnsTakeTheDatabaseDefault) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT TOP 1 * FROM CLIENTES"), conn, cursor::Dynamic, lock::Optimistic);
    rs.addNew();
    rs.setValue(QStringLiteral("CODIGO"), QStringLiteral("C8"));
    rs.update();
    Recordset check;
    check.open(QStringLiteral("SELECT ZONA, NOMBRE FROM CLIENTES WHERE CODIGO = 'C8'"), conn);
    EXPECT_EQ(check.value(QStringLiteral("ZONA")).toString(), QStringLiteral("NORT"));
    EXPECT_TRUE(isNull(check.value(QStringLiteral("NOMBRE"))));
}

TEST_F(RecordsetTest, RefusedRowReportsTheEngineErrorAndCanBeRetried) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT TOP 1 * FROM CLIENTES"), conn, cursor::Dynamic, lock::Optimistic);
    rs.addNew();
    rs.setValue(QStringLiteral("NOMBRE"), QStringLiteral("sin codigo"));
    try {
        rs.update();
        FAIL() << "a Null in a NOT NULL column must be refused";
    } catch (const RunTimeError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("NOT NULL"))) << e.description().toStdString();
    }
    ASSERT_EQ(conn.errors().count(), 1);
    EXPECT_FALSE(conn.errors().item(0).description.isEmpty());
    conn.errors().clear();
    EXPECT_EQ(conn.errors().count(), 0);
    rs.setValue(QStringLiteral("CODIGO"), QStringLiteral("C7")); // the same new row, mended
    rs.update();
    EXPECT_EQ(codes(QStringLiteral("SELECT * FROM CLIENTES WHERE CODIGO = 'C7'")), QStringList{QStringLiteral("C7")});
}

TEST_F(RecordsetTest, ReadOnlyOrJoinedSourcesCannotAddRows) {
    Recordset ro;
    ro.open(QStringLiteral("CLIENTES"), conn);
    EXPECT_EQ(errorNumberOf([&] { ro.addNew(); }), err::NotSupported);
    Recordset joined;
    joined.open(QStringLiteral("SELECT CODIGO FROM CLIENTES"), conn, cursor::Dynamic, lock::Optimistic);
    EXPECT_EQ(errorNumberOf([&] { joined.addNew(); }), err::NotSupported);
    EXPECT_EQ(errorNumberOf([&] { joined.setValue(QStringLiteral("CODIGO"), 1); }), err::NotSupported);
}

TEST_F(RecordsetTest, SchemaListsTablesAndViews) {
    auto rs = conn.openSchema(20);
    QStringList names;
    while (!rs->eof()) {
        names << rs->value(QStringLiteral("TABLE_NAME")).toString() + QLatin1Char('/') +
                     rs->value(QStringLiteral("TABLE_TYPE")).toString();
        rs->moveNext();
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("CLIENTES/TABLE"), QStringLiteral("VACIA/TABLE"),
                                  QStringLiteral("V_CLIENTES/VIEW")}));
}

TEST_F(RecordsetTest, ExecuteTranslatesAndReportsFailures) {
    conn.execute(QStringLiteral("DELETE * FROM CLIENTES WHERE CODIGO = 'C2'"));
    EXPECT_EQ(codes(QStringLiteral("CLIENTES")).size(), 2);
    EXPECT_NE(errorNumberOf([&] { conn.execute(QStringLiteral("DELETE FROM NO_EXISTE")); }), 0);
    ASSERT_EQ(conn.errors().count(), 1);
    EXPECT_TRUE(conn.errors().item(0).description.contains(QStringLiteral("NO_EXISTE")));
}

TEST_F(RecordsetTest, TransactionRollsBackUnlessCommitted) {
    {
        Transaction t(conn);
        conn.execute(QStringLiteral("DELETE FROM CLIENTES"));
    }
    EXPECT_EQ(codes(QStringLiteral("CLIENTES")).size(), 3);
    {
        Transaction t(conn);
        conn.execute(QStringLiteral("DELETE FROM CLIENTES WHERE CODIGO = 'C1'"));
        t.commit();
    }
    EXPECT_EQ(codes(QStringLiteral("CLIENTES")).size(), 2);
}

TEST_F(RecordsetTest, ClosingTheConnectionClosesItsRecordsets) {
    Recordset rs;
    rs.open(QStringLiteral("CLIENTES"), conn);
    conn.close();
    EXPECT_EQ(rs.state(), 0);
    EXPECT_EQ(errorNumberOf([&] { rs.open(QStringLiteral("CLIENTES"), conn); }), err::ObjectClosed);
}

struct OpenFailure {
    const char* name;
    const char* sqlState;
    std::function<QString(const test::TempHome&)> prepare; // returns the path to open
};

class StoreOpenFailures : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(StoreOpenFailures, ReportTheStateTheRecoveryLooksFor) {
    test::TempHome home;
    const QString path = GetParam().prepare(home);
    const bool existed = QFileInfo::exists(path);
    Connection c;
    EXPECT_NE(errorNumberOf([&] { c.open(jet(path)); }), 0);
    EXPECT_EQ(c.state(), 0);
    ASSERT_EQ(c.errors().count(), 1);
    EXPECT_EQ(c.errors().item(0).sqlState, QString::fromLatin1(GetParam().sqlState));
    EXPECT_EQ(QFileInfo::exists(path), existed) << "opening must never create the file";
}

INSTANTIATE_TEST_SUITE_P(
    Jet, StoreOpenFailures,
    ::testing::Values(
        OpenFailure{"missing_file", "3024", [](const test::TempHome& h) { return h.file(QStringLiteral("nada.mdb")); }},
        OpenFailure{"not_a_database", "3051",
                    [](const test::TempHome& h) {
                        QFile f(h.file(QStringLiteral("texto.mdb")));
                        f.open(QIODevice::WriteOnly);
                        f.write(QByteArray(4096, 'x'));
                        return f.fileName();
                    }},
        OpenFailure{"a_folder", "3044", [](const test::TempHome& h) { return h.path(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Connection, UnknownProviderIsRefused) {
    Connection c;
    EXPECT_EQ(errorNumberOf([&] { c.open(QStringLiteral("Provider=Nadie;Data Source=x")); }), adoerr::ProviderNotFound);
}

} // namespace

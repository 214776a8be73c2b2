#include "CaseName.h"
#include "store/StoreFile.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <sqlite3.h>

using namespace kv;

namespace {

// What a handheld's file holds in place of the store's tables, and what the check makes of it.
struct CheckCase {
    const char* name;
    const char* sql; // run on a fresh store, each statement on a connection of its own
    QStringList gaps;
};

void exec(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

class StoreCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(StoreCheck, NamesWhatIsNoRealStoreTable) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("handheld.db"));
    createStore(path);
    // A forged schema entry is read back only by a connection that loads the schema afresh.
    for (const QString& statement : QString::fromUtf8(GetParam().sql).split(QStringLiteral(";;")))
        exec(path, statement.toUtf8().constData());

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    QStringList gaps;
    for (const StoreGap& g : verifyStoreTables(db, Trust::Untrusted))
        gaps << g.text();
    sqlite3_close(db);
    EXPECT_EQ(gaps, GetParam().gaps);
}

INSTANTIATE_TEST_SUITE_P(
    Store, StoreCheck,
    ::testing::Values(
        CheckCase{"view_named_in_other_letters",
                  "DROP TABLE TA_ZONAS;; CREATE VIEW ta_Zonas AS SELECT 1 AS IDZONA, 2 AS DESCRIPCION",
                  {QStringLiteral("TA_ZONAS is a view, not a table")}},
        // The engine keeps a virtual table whose entry claims a root page and hides its words
        // behind a comment.
        CheckCase{"virtual_table_with_a_forged_entry",
                  "DROP TABLE TA_ZONAS;; CREATE VIRTUAL TABLE TA_ZONAS USING fts5(IDZONA, DESCRIPCION);; "
                  "PRAGMA writable_schema = ON; UPDATE sqlite_master SET rootpage = 2, sql = 'CREATE/*"
                  "TABLE*/ virtual TABLE TA_ZONAS USING fts5(IDZONA, DESCRIPCION)' WHERE name = 'TA_ZONAS'",
                  {QStringLiteral("TA_ZONAS is a virtual table, not a table")}},
        // The engine takes the type in any letter case.
        CheckCase{"trigger_with_its_type_in_capitals",
                  "CREATE TRIGGER audit AFTER DELETE ON MA_CLIENTES BEGIN DELETE FROM TA_ZONAS; END;; PRAGMA "
                  "writable_schema = ON; UPDATE sqlite_master SET type = 'TRIGGER' WHERE name = 'audit'",
                  {QStringLiteral("trigger audit on MA_CLIENTES")}},
        // The sync never names these: the handheld application's own objects stay.
        CheckCase{"trigger_and_view_of_its_own",
                  "CREATE TABLE NOTAS (X);; CREATE TRIGGER stamp AFTER INSERT ON NOTAS BEGIN SELECT 1; "
                  "END;; CREATE VIEW RESUMEN AS SELECT * FROM MA_CLIENTES",
                  {}},
        CheckCase{"column_computed_in_place_of_a_stored_one",
                  "DROP TABLE TA_ZONAS;; CREATE TABLE TA_ZONAS (IDZONA VARCHAR(4), DESCRIPCION AS (IDZONA || "
                  "'x'))",
                  {QStringLiteral("column TA_ZONAS.DESCRIPCION")}},
        // SQLite folds ASCII letters only: a dotless i spells another column.
        CheckCase{"look_alike_column_name",
                  "DROP TABLE TA_ZONAS;; CREATE TABLE TA_ZONAS (idzona, \"descr\xc4\xb1pcion\")",
                  {QStringLiteral("column TA_ZONAS.DESCRIPCION")}}),
    test::CaseName());

} // namespace

// The lock, lock-wait and permission statements of the engines no server here runs (SQL Server,
// Oracle) as text, beside those the other tests run for real: each engine gets a bounded,
// no-wait form, a lock name stays one literal whatever it holds, and each engine's way of saying
// "locked" is read as such, and nothing else is.
#include "data/LockStatements.h"
#include "data/Privileges.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

struct TextCase {
    const char* name;
    QString statement;
    QStringList holds; // each must be in it
};

class LockTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(LockTexts, SayWhatTheEngineNeeds) {
    for (const QString& part : GetParam().holds)
        EXPECT_TRUE(GetParam().statement.contains(part)) << GetParam().statement.toStdString() << "\nlacks " << part.toStdString();
}

const QString kName = QStringLiteral("kv'; DROP TABLE x; --");

INSTANTIATE_TEST_SUITE_P(
    Engines, LockTexts,
    ::testing::Values(
        TextCase{"timeout_postgresql", lockTimeoutStatement(Engine::PostgreSql, 10), {QStringLiteral("SET lock_timeout = 10000")}},
        TextCase{"timeout_sqlserver", lockTimeoutStatement(Engine::SqlServer, 10), {QStringLiteral("SET LOCK_TIMEOUT 10000")}},
        TextCase{"timeout_sqlite", lockTimeoutStatement(Engine::Sqlite, 3), {QStringLiteral("PRAGMA busy_timeout = 3000")}},
        TextCase{"try_postgresql", tryLockStatement(Engine::PostgreSql, kName),
                 {QStringLiteral("pg_try_advisory_lock(hashtext('kv''; DROP TABLE x; --'))"), QStringLiteral("THEN 1 ELSE 0")}},
        TextCase{"try_sqlserver", tryLockStatement(Engine::SqlServer, kName),
                 {QStringLiteral("@Resource = 'kv''; DROP TABLE x; --'"), QStringLiteral("@LockTimeout = 0"),
                  QStringLiteral("@LockOwner = 'Session'"), QStringLiteral("SELECT CASE WHEN @r >= 0 THEN 1 ELSE 0 END")}},
        TextCase{"try_oracle", tryLockStatement(Engine::Oracle, kName),
                 {QStringLiteral("ALLOCATE_UNIQUE('kv''; DROP TABLE x; --', h)"),
                  QStringLiteral("DBMS_LOCK.REQUEST(h, DBMS_LOCK.X_MODE, 0, FALSE)"),
                  QStringLiteral("RAISE_APPLICATION_ERROR(-20901")}},
        TextCase{"release_sqlserver", unlockStatement(Engine::SqlServer, kName),
                 {QStringLiteral("sp_releaseapplock @Resource = 'kv''; DROP TABLE x; --'")}},
        TextCase{"insert_sqlserver", insertPrivilegeStatement(Engine::SqlServer, QStringLiteral("V_MV_CpteTareas")),
                 {QStringLiteral("HAS_PERMS_BY_NAME('V_MV_CpteTareas', 'OBJECT', 'INSERT') = 1")}},
        TextCase{"insert_oracle", insertPrivilegeStatement(Engine::Oracle, QStringLiteral("V_MV_CpteTareas")),
                 {QStringLiteral("SYNONYM_NAME = 'V_MV_CPTETAREAS'"), QStringLiteral("PRIVILEGE = 'INSERT'"),
                  QStringLiteral("ROLE_TAB_PRIVS"), QStringLiteral("'INSERT ANY TABLE'"), QStringLiteral("FROM DUAL")}},
        TextCase{"lock_oracle", importLockPrivilegeStatement(Engine::Oracle),
                 {QStringLiteral("'DBMS_LOCK'"), QStringLiteral("PRIVILEGE = 'EXECUTE'")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LockStatements, EnginesWithoutTheSettingGetNone) {
    EXPECT_TRUE(lockTimeoutStatement(Engine::Oracle, 10).isEmpty());
    EXPECT_TRUE(tryLockStatement(Engine::Sqlite, kName).isEmpty());
    EXPECT_TRUE(insertPrivilegeStatement(Engine::Sqlite, kName).isEmpty());
    EXPECT_TRUE(importLockPrivilegeStatement(Engine::SqlServer).isEmpty());
}

struct Failure {
    const char* name;
    Engine engine;
    ProviderError error;
    bool locked;
};

class LockFailures : public ::testing::TestWithParam<Failure> {};

TEST_P(LockFailures, AreToldFromOtherFailures) {
    EXPECT_EQ(isLockTimeout(GetParam().engine, GetParam().error), GetParam().locked);
}

INSTANTIATE_TEST_SUITE_P(
    Engines, LockFailures,
    ::testing::Values(
        Failure{"sqlite_busy", Engine::Sqlite, {0, QStringLiteral("database is locked"), {}, 5, {}}, true},
        Failure{"sqlite_busy_snapshot", Engine::Sqlite, {0, QStringLiteral("database is locked"), {}, 517, {}}, true},
        Failure{"store_table_locked", Engine::Jet, {0, QStringLiteral("database table is locked"), {}, 6, {}}, true},
        Failure{"sqlite_constraint", Engine::Sqlite, {0, QStringLiteral("UNIQUE constraint failed"), {}, 19, {}}, false},
        Failure{"postgresql_native", Engine::PostgreSql, {0, QStringLiteral("canceling statement"), QStringLiteral("55P03"), 0, {}}, true},
        Failure{"postgresql_odbc", Engine::PostgreSql,
                {0, QStringLiteral("ERROR: canceling statement due to lock timeout;"), QStringLiteral("HY000"), 7, {}}, true},
        Failure{"postgresql_statement_timeout", Engine::PostgreSql,
                {0, QStringLiteral("canceling statement due to statement timeout"), QStringLiteral("57014"), 0, {}}, false},
        Failure{"sqlserver_lock", Engine::SqlServer, {0, QStringLiteral("Lock request time out period exceeded."), QStringLiteral("HY000"), 1222, {}}, true},
        Failure{"sqlserver_query_timeout", Engine::SqlServer, {0, QStringLiteral("Query timeout expired"), QStringLiteral("HYT00"), 0, {}}, false},
        Failure{"oracle_nowait", Engine::Oracle, {0, QStringLiteral("ORA-00054: resource busy"), QStringLiteral("HY000"), 54, {}}, true},
        Failure{"oracle_wait_timeout", Engine::Oracle, {0, QStringLiteral("ORA-30006: resource busy"), QStringLiteral("HY000"), 30006, {}}, true},
        Failure{"oracle_constraint", Engine::Oracle, {0, QStringLiteral("ORA-00001: unique constraint"), QStringLiteral("23000"), 1, {}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

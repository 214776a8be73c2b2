// kverp as a person runs it: exit status, what it prints, and what it leaves on disk.

#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <sqlite3.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome kverp(const QStringList& args) {
    QProcess p;
    p.start(kv::test::programPath(QStringLiteral("kverp")), args);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QStringList tablesOf(const QString& path) {
    QStringList names;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite%'", -1,
        &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return names;
}

TEST(KverpCli, MakesAnErpAndSaysWhatItMade) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("erp.db"));
    const Outcome r = kverp({QStringLiteral("init"), QStringLiteral("--sqlite"), path,
                             QStringLiteral("--clients"), QStringLiteral("40")});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Created the demo ERP in %1 (SQLite, seed 1,").arg(path)))
        << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(QStringLiteral("  VT_CLIENTES                       40 rows ")))
        << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("Record-set connection: PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source =%1;")
            .arg(path)));
    EXPECT_TRUE(r.err.contains(QStringLiteral("kverp: VT_CLIENTES: 40 rows"))) << qPrintable(r.err);
    EXPECT_EQ(tablesOf(path).size(), 23);
    EXPECT_TRUE(
        QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral("kverp")).isEmpty())
        << "no file under construction is left behind";
}

TEST(KverpCli, KeepsAnExistingFileUnlessToldToReplaceIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("erp.db"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the accounts of 2025");
    }
    const QStringList init = {QStringLiteral("init"), QStringLiteral("--sqlite"), path,
                              QStringLiteral("--clients"), QStringLiteral("10")};
    const Outcome refused = kverp(init);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              QStringLiteral("kverp: %1 already exists; give --force to replace it\n").arg(path));
    EXPECT_TRUE(refused.out.isEmpty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("the accounts of 2025"));
    f.close();

    const Outcome replaced = kverp(init + QStringList{QStringLiteral("--force")});
    ASSERT_EQ(replaced.exitCode, 0) << qPrintable(replaced.err);
    EXPECT_TRUE(tablesOf(path).contains(QStringLiteral("VT_CLIENTES")));

    // Replaced whole: an old database's own tables do not survive.
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "CREATE TABLE OLD_STUFF (x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(kverp(init + QStringList{QStringLiteral("--force")}).exitCode, 0);
    EXPECT_FALSE(tablesOf(path).contains(QStringLiteral("OLD_STUFF")));
}

TEST(KverpCli, RefusesAPostgresDatabaseThatHoldsTheObjects) {
    kv::test::TempPgDatabase db;
    KV_REQUIRE_PG(db);
    const QStringList init = {QStringLiteral("init"), QStringLiteral("--pg"), db.connInfo(),
                              QStringLiteral("--clients"), QStringLiteral("10")};
    const Outcome first = kverp(init);
    ASSERT_EQ(first.exitCode, 0) << qPrintable(first.err);
    EXPECT_TRUE(first.out.contains(QStringLiteral("(PostgreSQL, seed 1,")));
    const Outcome second = kverp(init);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.startsWith(QStringLiteral("kverp: The database ")));
    EXPECT_TRUE(second.err.contains(QStringLiteral("already holds ERP objects"))) << qPrintable(second.err);
}

struct UsageCase {
    const char* name;
    QStringList args;
    int exitCode;
    const char* message; // part of stderr
};

TEST(KverpCli, AnswersWrongArgumentsWithTheReason) {
    const QString file = QStringLiteral("/nonexistent-folder-kverp/erp.db");
    const UsageCase cases[] = {
        {"nothing", {}, 2, "Usage: kverp [OPTIONS] SUBCOMMAND"},
        {"other_command", {QStringLiteral("make")}, 2, "kverp: unknown command \"make\""},
        {"no_target", {QStringLiteral("init")}, 2, "give --sqlite FILE or --pg CONNINFO"},
        {"two_targets",
         {QStringLiteral("init"), QStringLiteral("--sqlite"), QStringLiteral("a.db"), QStringLiteral("--pg"),
          QStringLiteral("host=x")},
         2,
         "give one of --sqlite and --pg, once"},
        {"negative_size",
         {QStringLiteral("init"), QStringLiteral("--sqlite"), file, QStringLiteral("--clients"),
          QStringLiteral("-3")},
         2,
         "--clients takes a whole number of 0 or more, not \"-3\""},
        {"size_not_a_number",
         {QStringLiteral("init"), QStringLiteral("--sqlite"), file, QStringLiteral("--price-rows"),
          QStringLiteral("1e6")},
         2,
         "--price-rows takes a whole number"},
        {"missing_value", {QStringLiteral("init"), QStringLiteral("--sqlite")}, 2, "--sqlite: 1 required"},
        {"unknown_option",
         {QStringLiteral("init"), QStringLiteral("--clientes"), QStringLiteral("5")},
         2,
         "not expected: --clientes\nUsage: kverp init [OPTIONS]"},
        {"prices_without_articles",
         {QStringLiteral("init"), QStringLiteral("--sqlite"), file, QStringLiteral("--articles"),
          QStringLiteral("0"), QStringLiteral("--price-rows"), QStringLiteral("9")},
         2,
         "price rows need articles"},
        {"bad_conninfo",
         {QStringLiteral("init"), QStringLiteral("--pg"), QStringLiteral("postgresql://h/db")},
         2,
         "connection string:"},
        {"no_such_folder", {QStringLiteral("init"), QStringLiteral("--sqlite"), file}, 1, "does not exist"},
        {"no_server",
         {QStringLiteral("init"), QStringLiteral("--pg"), QStringLiteral("host=127.0.0.1 port=1 dbname=x")},
         1,
         "Cannot connect to PostgreSQL (host=127.0.0.1 port=1 dbname=x)"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome r = kverp(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << qPrintable(r.err);
    }
    const Outcome help = kverp({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage: kverp [OPTIONS] SUBCOMMAND"))) << qPrintable(help.out);
    const Outcome initHelp = kverp({QStringLiteral("help"), QStringLiteral("init")});
    EXPECT_EQ(initHelp.exitCode, 0);
    EXPECT_TRUE(initHelp.out.contains(QStringLiteral("--sqlite FILE"))) << qPrintable(initHelp.out);
    const Outcome version = kverp({QStringLiteral("init"), QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("kverp 1."))) << qPrintable(version.out);
}

} // namespace

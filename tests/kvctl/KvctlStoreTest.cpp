#include "store/StoreFile.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <sqlite3.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// kvctl as an operator runs it, with its own application folder.
Outcome kvctl(const kv::test::TempHome& home, QStringList args) {
    args.prepend(home.path());
    args.prepend(QStringLiteral("--home"));
    QProcess p;
    p.start(kv::test::programPath(QStringLiteral("kvctl")), args);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int tableCount(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table'", -1, &st, nullptr);
    const int n = st && sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

TEST(KvctlStoreInit, CreatesAStoreOnceAndNeverOverwritesIt) {
    kv::test::TempHome home;
    const QString path = home.file(QStringLiteral("stores/kvpalmsync.mdb"));
    ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("stores"))));

    const Outcome first = kvctl(home, {QStringLiteral("store"), QStringLiteral("init"), path});
    EXPECT_EQ(first.exitCode, 0) << qPrintable(first.err);
    EXPECT_TRUE(first.out.startsWith(
        QStringLiteral("Created the local sync store %1 with 16 empty tables:\n").arg(path)))
        << qPrintable(first.out);
    EXPECT_TRUE(first.out.contains(QStringLiteral("  MA_PRECIOS ")));
    EXPECT_TRUE(first.err.isEmpty()) << qPrintable(first.err);
    EXPECT_EQ(tableCount(path), 16);
    EXPECT_TRUE(kv::verifyStore(path).isEmpty());

    const QByteArray created = contentOf(path);
    const Outcome second = kvctl(home, {QStringLiteral("store"), QStringLiteral("init"), path});
    EXPECT_NE(second.exitCode, 0);
    EXPECT_EQ(second.err,
              QStringLiteral("kvctl store init: The file %1 already exists; a local sync store is never "
                             "written over an existing file.\n")
                  .arg(path));
    EXPECT_TRUE(second.out.isEmpty()) << qPrintable(second.out);
    EXPECT_EQ(contentOf(path), created);
}

struct CliCase {
    const char* name;
    QStringList args; // "%1" stands for the application folder
    int exitCode;
    const char* out; // expected in stdout ("" for nothing)
    const char* err; // expected in stderr ("" for nothing)
};

void PrintTo(const CliCase& c, std::ostream* os) {
    *os << c.name;
}

class KvctlStoreInitArguments : public ::testing::TestWithParam<CliCase> {};

TEST_P(KvctlStoreInitArguments, AnswerWithStatusAndReason) {
    const CliCase& c = GetParam();
    kv::test::TempHome home;
    QStringList args;
    for (const QString& a : c.args)
        args << QString(a).replace(QStringLiteral("%1"), home.path());
    auto expected = [&](const char* text) {
        return QString::fromUtf8(text).replace(QStringLiteral("%1"), home.path());
    };
    const Outcome run = kvctl(home, args);
    EXPECT_EQ(run.exitCode, c.exitCode) << qPrintable(run.err);
    EXPECT_TRUE(run.out.contains(expected(c.out))) << qPrintable(run.out);
    EXPECT_TRUE(run.err.contains(expected(c.err))) << qPrintable(run.err);
    if (!*c.out) {
        EXPECT_TRUE(run.out.isEmpty()) << qPrintable(run.out);
    }
    if (!*c.err) {
        EXPECT_TRUE(run.err.isEmpty()) << qPrintable(run.err);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kvctl, KvctlStoreInitArguments,
    ::testing::Values(
        CliCase{"missing_folder",
                {"store", "init", "%1/nowhere/kvpalmsync.mdb"},
                1,
                "",
                "kvctl store init: The folder %1/nowhere does not exist.\n"},
        CliCase{"existing_folder_as_path", {"store", "init", "%1"}, 1, "", "already exists"},
        CliCase{"no_path",
                {"store", "init"},
                2,
                "",
                "kvctl store init: PATH is required\nUsage: kvctl store init [OPTIONS] PATH\n"},
        CliCase{"two_paths", {"store", "init", "%1/a.mdb", "%1/b.mdb"}, 2, "", "not expected: %1/b.mdb"},
        CliCase{"general_help", {"--help"}, 0, "  store", ""},
        CliCase{"command_help",
                {"store", "init", "--help"},
                0,
                "create an empty local sync store (refuses an existing file)\nUsage: kvctl store init [OPTIONS] PATH\n",
                ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

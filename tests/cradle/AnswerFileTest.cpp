#include "app/AtomicFileWriter.h"
#include "cradle/net/SqliteImage.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sqlite3.h>

using namespace kv;

namespace {

// An SQLite database of several pages, as its bytes.
QByteArray databaseBytes(const QString& path) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "PRAGMA page_size = 1024; CREATE TABLE t(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                           "SELECT i + 1 FROM n WHERE i < 200) INSERT INTO t SELECT randomblob(40) FROM n;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// An answer is taken only whole: as long as declared, an SQLite database, every page there.
TEST(AnswerFile, OnlyAWholeDatabaseIsTaken) {
    QTemporaryDir dir;
    const QByteArray whole = databaseBytes(dir.filePath(QStringLiteral("source.db")));
    ASSERT_GT(whole.size(), 4 * 1024);
    QByteArray stalePages = whole;
    stalePages[31] = char(quint8(stalePages[31]) + 1); // one page more than the file has
    const struct Case {
        const char* name;
        QByteArray bytes;
        qint64 declared;
        const char* problem; // empty: taken
    } cases[] = {
        {"whole", whole, whole.size(), ""},
        {"whole, no length declared", whole, -1, ""},
        {"cut short of its declared length", whole.left(whole.size() - 1024), whole.size(), "cut short"},
        {"a page missing", whole.left(whole.size() - 1024), -1, "not a whole"},
        {"a byte missing", whole.left(whole.size() - 1), -1, "not a whole"},
        {"more pages in its header than in the file", stalePages, -1, "not a whole"},
        {"a refusal's text", R"({"error": "wrong-token", "message": "..."})", -1, "not an SQLite"},
        {"nothing", {}, 0, "not an SQLite"},
    };
    for (const Case& c : cases) {
        AtomicFileWriter answer(dir.filePath(QStringLiteral("palm.db")), 0600);
        answer.write(c.bytes);
        const QString problem = cradle::sqliteImageProblem(answer, c.declared);
        if (*c.problem)
            EXPECT_TRUE(problem.contains(QLatin1String(c.problem))) << c.name << ": " << problem.toStdString();
        else
            EXPECT_TRUE(problem.isEmpty()) << c.name << ": " << problem.toStdString();
    }
}

// A writer gone before its commit leaves the file and its folder as they were; a commit puts
// every piece in place at once.
TEST(AnswerFile, OnlyACommitReplacesTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("palm.db"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the handheld as it was");
    old.close();
    {
        AtomicFileWriter dropped(path, 0600);
        dropped.write("half an answer");
    }
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "the handheld as it was");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("palm.db")});
    {
        AtomicFileWriter answer(path, 0600);
        answer.write("an answer ");
        answer.write("in two pieces");
        EXPECT_EQ(answer.peek(3, 6), "answer");
        answer.commit();
    }
    QFile replaced(path);
    ASSERT_TRUE(replaced.open(QIODevice::ReadOnly));
    EXPECT_EQ(replaced.readAll(), "an answer in two pieces");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("palm.db")});
}

} // namespace

#include "store/StoreFile.h"

#include "app/RunTimeError.h"
#include "store/StoreSchema.h"

#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kv;

namespace {

long errorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RunTimeError& e) {
        return e.number();
    }
    return 0;
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// An SQLite database opened with the C API, closed at the end of the scope.
struct RawDb {
    sqlite3* db = nullptr;
    explicit RawDb(const QString& path) { sqlite3_open(QFile::encodeName(path).constData(), &db); }
    ~RawDb() { sqlite3_close(db); }
    int exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    int number(const char* sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        return n;
    }
    int tableCount() { return number("SELECT count(*) FROM sqlite_master WHERE type = 'table'"); }
};

// What is already at the store's path, and how to tell afterwards that it was left alone.
struct Occupant {
    const char* name;
    std::function<void(const QString& folder, const QString& path)> place;
    std::function<void(const QString& folder, const QString& path)> unchanged;
};

void PrintTo(const Occupant& c, std::ostream* os) {
    *os << c.name;
}

class CreateStoreOverExisting : public ::testing::TestWithParam<Occupant> {};

TEST_P(CreateStoreOverExisting, RefusesAndLeavesItAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kvpalmsync.mdb"));
    GetParam().place(dir.path(), path);
    const QStringList before = entriesOf(dir.path());
    try {
        createStore(path);
        FAIL() << "an existing path was not refused";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), storeerr::FileAlreadyExists);
        EXPECT_TRUE(e.description().contains(QStringLiteral("already exists")))
            << qPrintable(e.description());
        EXPECT_TRUE(e.description().contains(path)) << qPrintable(e.description());
    }
    GetParam().unchanged(dir.path(), path);
    EXPECT_EQ(entriesOf(dir.path()), before) << "no temporary file may stay behind";
}

const QByteArray kKeep("an old store that must survive\0with a zero byte", 48);

INSTANTIATE_TEST_SUITE_P(
    Store, CreateStoreOverExisting,
    ::testing::Values(
        Occupant{"file_with_data", [](const QString&, const QString& p) { writeFile(p, kKeep); },
                 [](const QString&, const QString& p) { EXPECT_EQ(contentOf(p), kKeep); }},
        Occupant{"empty_file", [](const QString&, const QString& p) { writeFile(p, QByteArray()); },
                 [](const QString&, const QString& p) { EXPECT_EQ(QFileInfo(p).size(), 0); }},
        Occupant{"existing_store",
                 [](const QString&, const QString& p) {
                     createStore(p);
                     RawDb(p).exec("INSERT INTO TA_ZONAS VALUES ('Z1', 'Norte')");
                 },
                 [](const QString&, const QString& p) {
                     RawDb db(p);
                     EXPECT_EQ(db.number("SELECT count(*) FROM TA_ZONAS WHERE IDZONA = 'Z1'"), 1);
                     EXPECT_TRUE(verifyStore(p).isEmpty());
                 }},
        Occupant{"folder", [](const QString&, const QString& p) { QDir().mkdir(p); },
                 [](const QString&, const QString& p) { EXPECT_TRUE(QFileInfo(p).isDir()); }},
        Occupant{"link_to_nowhere",
                 [](const QString& d, const QString& p) { QFile::link(d + QStringLiteral("/gone.mdb"), p); },
                 [](const QString& d, const QString& p) {
                     EXPECT_EQ(QFileInfo(p).symLinkTarget(), d + QStringLiteral("/gone.mdb"));
                     EXPECT_FALSE(QFileInfo::exists(d + QStringLiteral("/gone.mdb")));
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CreateStore, BuildsAnOwnerOnlyStoreWithEveryTable) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kvpalmsync.mdb"));
    createStore(path);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("kvpalmsync.mdb")});
    EXPECT_EQ(RawDb(path).tableCount(), 16);
    EXPECT_TRUE(verifyStore(path).isEmpty());
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the users table holds passwords";
}

TEST(CreateStore, RefusesAFolderItCannotUse) {
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("plain")), "x");
    const struct {
        const char* relative;
        long number;
    } cases[] = {
        {"missing/kvpalmsync.mdb", storeerr::PathNotFound},
        {"plain/kvpalmsync.mdb", storeerr::PathNotFound},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorNumberOf([&] { createStore(dir.filePath(QString::fromLatin1(c.relative))); }),
                  c.number)
            << c.relative;
    }
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("plain")});
}

TEST(CreateStore, RefusesAFolderWithoutWritePermission) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    QDir().mkdir(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(errorNumberOf([&] { createStore(folder + QStringLiteral("/kvpalmsync.mdb")); }),
              storeerr::PermissionDenied);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(entriesOf(folder).isEmpty());
}

TEST(CreateStoreTables, CreatesAllOrNothingInAnOpenDatabase) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("handheld.db"));
    RawDb db(path);
    db.exec("CREATE TABLE TA_USUARIOS (X)");
    EXPECT_EQ(errorNumberOf([&] { createStoreTables(db.db); }), storeerr::CannotCreate);
    EXPECT_EQ(db.tableCount(), 1) << "a failed creation leaves no table behind";

    db.exec("DROP TABLE TA_USUARIOS");
    db.exec("BEGIN");
    createStoreTables(db.db); // inside the caller's own transaction
    EXPECT_EQ(db.exec("COMMIT"), SQLITE_OK);
    EXPECT_EQ(db.tableCount(), 16);
    EXPECT_TRUE(verifyStoreTables(db.db).isEmpty());
}

TEST(VerifyStore, ListsMissingTablesAndColumnsInSchemaOrder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.mdb"));
    {
        RawDb db(path);
        createStoreTables(db.db);
        ASSERT_EQ(db.exec("DROP TABLE MV_MPCPTES"), SQLITE_OK);
        ASSERT_EQ(db.exec("ALTER TABLE MA_CLIENTES DROP COLUMN CONTACTO"), SQLITE_OK);
        ASSERT_EQ(db.exec("DROP INDEX MV_CPTE_KEY"), SQLITE_OK);
        ASSERT_EQ(db.exec("ALTER TABLE MV_CPTE DROP COLUMN MV_CPTE_TSNL"), SQLITE_OK);
        // A column spelled in another case is the same column to the engine.
        ASSERT_EQ(db.exec("ALTER TABLE TA_ZONAS RENAME COLUMN IDZONA TO IdZona"), SQLITE_OK);
    }
    QStringList gaps;
    for (const StoreGap& g : verifyStore(path))
        gaps << g.text();
    EXPECT_EQ(gaps, (QStringList{QStringLiteral("column MA_CLIENTES.CONTACTO"),
                                 QStringLiteral("column MV_CPTE.MV_CPTE_TSNL"),
                                 QStringLiteral("table MV_MPCPTES")}));
}

TEST(VerifyStore, RefusesWhatIsNoStoreFile) {
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("notes.txt")), QByteArray(4096, 'x'));
    const struct {
        const char* name;
        long number;
    } cases[] = {{"absent.mdb", storeerr::FileNotFound},
                 {"notes.txt", storeerr::CannotOpen},
                 {".", storeerr::FileNotFound}};
    for (const auto& c : cases)
        EXPECT_EQ(errorNumberOf([&] { verifyStore(dir.filePath(QString::fromLatin1(c.name))); }), c.number)
            << c.name;
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("absent.mdb"))))
        << "checking never creates a file";
}

} // namespace

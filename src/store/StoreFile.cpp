#include "store/StoreFile.h"

#include "app/RunTimeError.h"
#include "store/StoreSchema.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

const QString kCreateSource = QStringLiteral("createStore");
const QString kVerifySource = QStringLiteral("verifyStore");

QString lastSqliteError(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

void exec(sqlite3* db, const QString& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK) return;
    const QString text = message ? QString::fromUtf8(message) : lastSqliteError(db);
    sqlite3_free(message);
    throw RunTimeError(storeerr::CannotCreate, text, kCreateSource);
}

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

// The store under construction: removed with its journal unless it has been moved into place.
class TemporaryStore {
public:
    explicit TemporaryStore(QByteArray path) : m_path(std::move(path)) {}
    ~TemporaryStore() {
        if (m_path.isEmpty()) return;
        ::unlink(m_path.constData());
        ::unlink((m_path + "-journal").constData());
    }
    TemporaryStore(const TemporaryStore&) = delete;
    TemporaryStore& operator=(const TemporaryStore&) = delete;
    const char* path() const { return m_path.constData(); }
    void moved() { m_path.clear(); }

private:
    QByteArray m_path;
};

void syncToDisk(const char* path, int flags) {
    const int fd = ::open(path, flags);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

[[noreturn]] void throwExists(const QString& path) {
    throw RunTimeError(storeerr::FileAlreadyExists,
                       QStringLiteral("The file %1 already exists; a local sync store is never written over "
                                      "an existing file.")
                           .arg(path),
                       kCreateSource);
}

// Gives `temporary` the name `target` unless that name is taken. RENAME_NOREPLACE does it in
// one step; file systems without it get a hard link, which fails just the same on a taken name.
void moveIntoPlace(TemporaryStore& temporary, const QByteArray& target, const QString& shownPath) {
    if (::renameat2(AT_FDCWD, temporary.path(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
        temporary.moved();
        return;
    }
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP) {
        if (::link(temporary.path(), target.constData()) == 0) return; // the temporary name goes
        error = errno;
    }
    if (error == EEXIST) throwExists(shownPath);
    throw RunTimeError(storeerr::CannotCreate,
                       QStringLiteral("Cannot create %1: %2").arg(shownPath, systemError(error)),
                       kCreateSource);
}

} // namespace

QString StoreGap::text() const {
    return column.isEmpty() ? QStringLiteral("table ") + table
                            : QStringLiteral("column ") + table + QLatin1Char('.') + column;
}

void createStoreTables(sqlite3* db) {
    // A savepoint, not BEGIN, so this also works inside a caller's transaction.
    exec(db, QStringLiteral("SAVEPOINT kv_store_tables"));
    try {
        for (const StoreTable& t : storeTables())
            for (const QString& statement : storeTableStatements(t))
                exec(db, statement);
    } catch (const RunTimeError& e) {
        sqlite3_exec(db, "ROLLBACK TO kv_store_tables; RELEASE kv_store_tables", nullptr, nullptr, nullptr);
        throw RunTimeError(
            e.number(), QStringLiteral("Cannot create the local sync store tables: %1").arg(e.description()),
            e.source());
    }
    exec(db, QStringLiteral("RELEASE kv_store_tables"));
}

void createStore(const QString& path) {
    const QFileInfo info(path);
    const QString shownPath = info.absoluteFilePath();
    const QByteArray target = QFile::encodeName(shownPath);
    const QString folder = info.absolutePath();

    struct stat st;
    if (::lstat(target.constData(), &st) == 0) throwExists(shownPath);
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw RunTimeError(storeerr::PathNotFound,
                           QStringLiteral("The folder %1 does not exist.").arg(folder), kCreateSource);

    // Owner-only: TA_USUARIOS carries the handheld users' passwords.
    QByteArray pattern =
        QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        const int error = errno;
        throw RunTimeError(
            storeerr::PermissionDenied,
            QStringLiteral("Cannot write in the folder %1: %2").arg(folder, systemError(error)),
            kCreateSource);
    }
    ::close(fd);
    TemporaryStore temporary(pattern);

    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(temporary.path(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        SqliteHandle db(raw);
        if (rc != SQLITE_OK)
            throw RunTimeError(storeerr::CannotCreate,
                               QStringLiteral("Cannot create %1: %2").arg(shownPath, lastSqliteError(raw)),
                               kCreateSource);
        createStoreTables(db.get());
    }
    syncToDisk(temporary.path(), O_RDONLY);
    moveIntoPlace(temporary, target, shownPath);
    syncToDisk(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
}

QList<StoreGap> verifyStoreTables(sqlite3* db) {
    QList<StoreGap> gaps;
    for (const StoreTable& t : storeTables()) {
        const QByteArray sql = QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(t.name)).toUtf8();
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
            throw RunTimeError(
                storeerr::CannotOpen,
                QStringLiteral("Cannot read the tables of the local sync store: %1").arg(lastSqliteError(db)),
                kVerifySource);
        QSet<QString> present;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            present.insert(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1))).toUpper());
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw RunTimeError(
                storeerr::CannotOpen,
                QStringLiteral("Cannot read the tables of the local sync store: %1").arg(lastSqliteError(db)),
                kVerifySource);
        if (present.isEmpty()) {
            gaps << StoreGap{t.name, QString()};
            continue;
        }
        for (const StoreColumn& c : t.columns)
            if (!present.contains(c.name.toUpper())) gaps << StoreGap{t.name, c.name};
    }
    return gaps;
}

QList<StoreGap> verifyStore(const QString& path) {
    const QString shownPath = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(path).isFile())
        throw RunTimeError(storeerr::FileNotFound,
                           QStringLiteral("The local sync store %1 does not exist.").arg(shownPath),
                           kVerifySource);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    SqliteHandle db(raw);
    // The header is read only by the first statement: that is where "not a database" shows.
    if (rc != SQLITE_OK ||
        sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw RunTimeError(storeerr::CannotOpen,
                           QStringLiteral("%1 cannot be read as a local sync store: %2")
                               .arg(shownPath, lastSqliteError(raw)),
                           kVerifySource);
    return verifyStoreTables(raw);
}

namespace {

// The store's user_version while a send is filling it; 0 once a send has completed.
constexpr int kSendUnderWay = 0x4b565345;

void setUserVersion(sqlite3* db, int version) {
    const QByteArray sql = "PRAGMA user_version = " + QByteArray::number(version);
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw RunTimeError(storeerr::CannotOpen,
                           QStringLiteral("Cannot mark the local sync store: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))),
                           QStringLiteral("Store"));
}

} // namespace

void markSendUnderWay(sqlite3* db) {
    setUserVersion(db, kSendUnderWay);
}

void markSendComplete(sqlite3* db) {
    setUserVersion(db, 0);
}

bool sendIncomplete(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    bool marked = false;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        marked = sqlite3_column_int(st, 0) == kSendUnderWay;
    else {
        const QString why = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(st);
        throw RunTimeError(storeerr::CannotOpen, QStringLiteral("Cannot read the local sync store: %1").arg(why),
                           QStringLiteral("Store"));
    }
    sqlite3_finalize(st);
    return marked;
}

} // namespace kv

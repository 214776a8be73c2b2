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
#include <QRegularExpression>
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

[[noreturn]] void unreadableTables(sqlite3* db) {
    throw RunTimeError(
        storeerr::CannotOpen,
        QStringLiteral("Cannot read the tables of the local sync store: %1").arg(lastSqliteError(db)),
        kVerifySource);
}

// A query on the schema of the database being checked, with one text parameter.
class SchemaQuery {
public:
    SchemaQuery(sqlite3* db, const char* sql, const QString& parameter) : m_db(db) {
        const QByteArray bound = parameter.toUtf8();
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK ||
            sqlite3_bind_text(m_stmt, 1, bound.constData(), int(bound.size()), SQLITE_TRANSIENT) != SQLITE_OK)
            unreadableTables(db);
    }
    ~SchemaQuery() { sqlite3_finalize(m_stmt); }
    SchemaQuery(const SchemaQuery&) = delete;
    SchemaQuery& operator=(const SchemaQuery&) = delete;

    bool next() {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) unreadableTables(m_db);
        return rc == SQLITE_ROW;
    }
    QByteArray bytes(int column) const {
        return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                          sqlite3_column_bytes(m_stmt, column));
    }
    QString text(int column) const { return QString::fromUtf8(bytes(column)); }
    qint64 number(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// The names of a real table's columns, upper-cased as SQLite compares them (ASCII letters only).
// Generated columns are hidden from table_info, so a column computed in place of a stored one
// counts as missing.
QSet<QByteArray> columnsOf(sqlite3* db, const QString& table) {
    QSet<QByteArray> present;
    SchemaQuery columns(db, "SELECT name FROM pragma_table_info(?1, 'main')", table);
    while (columns.next())
        present.insert(columns.bytes(0).toUpper());
    return present;
}

// Whether a table's CREATE statement declares a virtual table, whose rows a module computes:
// "CREATE VIRTUAL TABLE", with any blanks and comments between the words. Atomic groups keep
// the match linear on any text.
bool declaresVirtualTable(const QString& sql) {
    static const QRegularExpression pattern(QStringLiteral(R"(^CREATE(?>\s|--[^\n]*|/\*.*?\*/)+VIRTUAL\b)"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
    return pattern.match(sql).hasMatch();
}

} // namespace

QString StoreGap::text() const {
    switch (kind) {
    case View:
        return table + QStringLiteral(" is a view, not a table");
    case VirtualTable:
        return table + QStringLiteral(" is a virtual table, not a table");
    case Trigger:
        return QStringLiteral("trigger %1 on %2").arg(trigger, table);
    case Missing:
        break;
    }
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

TableKind tableKind(sqlite3* db, const QString& name) {
    // The engine checks sqlite_master's type, name and tbl_name against each statement as it
    // loads the schema (ignoring their case), so they say what the engine made of it; the root
    // page and the statement text may still be anything. Every row of the name is looked at.
    SchemaQuery entry(db,
                      "SELECT lower(type), rootpage, sql FROM main.sqlite_master "
                      "WHERE lower(type) IN ('table', 'view') AND name = ?1 COLLATE NOCASE",
                      name);
    TableKind kind = TableKind::Missing;
    while (entry.next()) {
        if (entry.text(0) == QLatin1String("view")) return TableKind::View;
        if (entry.number(1) <= 0 || declaresVirtualTable(entry.text(2))) return TableKind::Virtual;
        kind = TableKind::Real;
    }
    return kind;
}

QList<StoreGap> verifyStoreTables(sqlite3* db, Trust trust) {
    QList<StoreGap> gaps;
    for (const StoreTable& t : storeTables()) {
        switch (tableKind(db, t.name)) {
        case TableKind::Missing:
            gaps << StoreGap{t.name, QString(), StoreGap::Missing, QString()};
            break;
        case TableKind::View:
            gaps << StoreGap{t.name, QString(), StoreGap::View, QString()};
            break;
        case TableKind::Virtual:
            gaps << StoreGap{t.name, QString(), StoreGap::VirtualTable, QString()};
            break;
        case TableKind::Real: {
            const QSet<QByteArray> present = columnsOf(db, t.name);
            for (const StoreColumn& c : t.columns)
                if (!present.contains(c.name.toUtf8().toUpper()))
                    gaps << StoreGap{t.name, c.name, StoreGap::Missing, QString()};
        }
        }
        if (trust != Trust::Untrusted) continue;
        SchemaQuery triggers(db,
                             "SELECT name FROM main.sqlite_master WHERE lower(type) = 'trigger' "
                             "AND tbl_name = ?1 COLLATE NOCASE ORDER BY name",
                             t.name);
        while (triggers.next())
            gaps << StoreGap{t.name, QString(), StoreGap::Trigger, triggers.text(0)};
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

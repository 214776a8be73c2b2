#pragma once

#include <QList>
#include <QString>

struct sqlite3;

namespace kv {

// Error numbers of the store's file operations (the classic file error numbers).
namespace storeerr {
constexpr long FileAlreadyExists = 58;
constexpr long PermissionDenied = 70;
constexpr long PathNotFound = 76;
constexpr long FileNotFound = 3024; // as the data layer reports a missing database file
constexpr long CannotOpen = 3051;   // not a database, or unreadable
constexpr long CannotCreate = 3044; // the engine refused to build the tables
} // namespace storeerr

// A new local sync store at `path` with the sixteen tables, all empty. Never replaces or
// truncates a file: an existing path (file, folder or link) is refused, and the store is
// built under a temporary name beside it and linked into place only if the name is still
// free, so a crash or a concurrent creator never leaves half a store at `path`.
// Throws RunTimeError: FileAlreadyExists, PathNotFound (no such folder), PermissionDenied,
// CannotCreate.
void createStore(const QString& path);

// Creates the sixteen tables in an open SQLite database (all or none). Throws RunTimeError
// CannotCreate when one of them cannot be created, e.g. because it exists already.
void createStoreTables(sqlite3* db);

// Something the store lacks: a whole table (column empty) or one column of a table.
struct StoreGap {
    QString table;
    QString column;

    // "table MV_MPCPTES" or "column MA_CLIENTES.CONTACTO".
    QString text() const;
    bool operator==(const StoreGap&) const = default;
};

// The tables and columns of the schema that the database lacks, in schema order; empty when
// it holds them all. Names are compared without regard to case, as SQLite does.
QList<StoreGap> verifyStoreTables(sqlite3* db);

// The same for the store file at `path`, opened read-only. Throws RunTimeError FileNotFound
// when there is no such file and CannotOpen when it is no SQLite database.
QList<StoreGap> verifyStore(const QString& path);

// A store whose last send did not complete (a step failed, or the send was stopped half way) may
// hold emptied or partial tables, and no sync may hand it to a handheld until a send completes.
// The mark is kept in the store file itself (its user_version), so it goes wherever the store
// goes. Each throws RunTimeError CannotOpen when the file cannot be read or written.
void markSendUnderWay(sqlite3* db);
void markSendComplete(sqlite3* db);
bool sendIncomplete(sqlite3* db);

} // namespace kv

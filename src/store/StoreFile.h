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

// Whose file a database is: the program's own (the local sync store and the files it keeps) or a
// handheld's, which comes from a cradle or the network and may hold anything.
enum class Trust { Own, Untrusted };

// What keeps a database from serving as the store's tables: a table or column it lacks, a store
// table that is a view or a virtual table (its rows would be computed, not read), or a trigger
// on a store table (a sync that writes the table would run it).
struct StoreGap {
    enum Kind { Missing, View, VirtualTable, Trigger };

    QString table;
    QString column; // Missing: the column it lacks; empty when the whole table is missing
    Kind kind = Missing;
    QString trigger; // Trigger: the trigger's name

    // "table MV_MPCPTES", "column MA_CLIENTES.CONTACTO", "MV_CPTE is a view, not a table",
    // "MV_CPTE is a virtual table, not a table" or "trigger audit on MA_CLIENTES".
    QString text() const;
    bool operator==(const StoreGap&) const = default;
};

// What a name stands for in a database's main schema. Real: a table whose rows are stored in
// the file; Virtual: one whose rows a module computes; View: one whose rows a query computes.
enum class TableKind { Missing, Real, View, Virtual };
TableKind tableKind(sqlite3* db, const QString& name);

// What the database's main schema lacks of the sixteen tables or holds in their place, in
// schema order; empty when each is a real table with every column. Names are compared without
// regard to case, as SQLite does. Only real tables are looked into, so no view's query is ever
// expanded. Triggers on the store tables are gaps of an Untrusted file only: the program's own
// store may carry its own.
QList<StoreGap> verifyStoreTables(sqlite3* db, Trust trust = Trust::Own);

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

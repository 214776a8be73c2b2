#pragma once

#include "cradle/HandheldGuard.h"
#include "store/StoreFile.h"

#include <chrono>
#include <memory>
#include <QString>
#include <QVariant>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

namespace kv::cradle {

// An SQLite database file the tool works on: the handheld or the local sync store. Failures are
// RunTimeErrors whose description names the file and says what went wrong.
class Database {
public:
    // Opens a file that must already exist, for reading and writing (read-only when the file is
    // write-protected); never creates one. `what` names the file in messages ("handheld",
    // "local sync store"). Throws FileNotFound when there is no such file and CannotOpen when it
    // is not an SQLite database.
    //
    // An Untrusted file (a handheld's) is read as guardConnection says, before its schema is
    // loaded; every statement on the connection, the loading included, counts against
    // `workBudget`, and the file may grow to defaultGrowthLimit of its size. Its failures are
    // TooMuchWork or Stopped when the budget ended them, ContentRefused when the values or rules
    // of the files refused them.
    Database(const QString& path, const QString& what, Trust trust = Trust::Own,
             std::chrono::seconds workBudget = kDefaultWorkBudget);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }
    const QString& what() const { return m_what; }
    Trust trust() const { return m_trust; }

    // Untrusted: lets the file in `schema` ("main", or an attached one) grow to `maxBytes` at
    // most (never below its present size); a write past it fails as a full disk.
    void limitGrowth(const QString& schema, qint64 maxBytes) const;
    // Throws the budget's error when the budget ended a statement; for callers that ran
    // statements of their own on handle().
    void throwIfWorkEnded() const;
    // The engine's extended code of the last failure.
    int lastErrorCode() const;

    // Runs statements that return nothing of interest.
    void exec(const QString& sql) const;
    // The first column of the first row (Null when there is none).
    QVariant value(const QString& sql, const QVariantList& binds = {}) const;
    // The engine's message about the last failure.
    QString lastError() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    qint64 changes() const;

    // "<what> <path>: <engine message>" as a RunTimeError.
    [[noreturn]] void fail(const QString& doing) const;

private:
    sqlite3* m_db = nullptr;
    QString m_path;
    QString m_what;
    Trust m_trust;
    std::unique_ptr<WorkBudget> m_budget; // Untrusted only
};

// A prepared statement over a Database; reset for another run with reset().
class Statement {
public:
    Statement(const Database& db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds positional parameters from 1; a null QVariant binds Null.
    void bind(int index, const QVariant& value);
    void bindAll(const QVariantList& values);
    // Steps once: true when a row is available.
    bool next();
    // Runs the statement to its end and resets it for the next run.
    void run();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    // The column's value with the type the engine holds it in: qint64, double, QString, or Null.
    QVariant value(int column) const;

private:
    const Database& m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
};

// A write transaction that rolls back unless commit() is called. BEGIN IMMEDIATE takes the write
// locks of every database attached to the connection at once, so another writer is found out
// before anything has been done rather than at the commit.
class Transaction {
public:
    explicit Transaction(const Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    const Database& m_db;
    bool m_open = true;
};

// What keeps a database from taking part in a sync, as one sentence naming every gap:
// TablesMissing "The handheld X lacks table T, column T.C.", or SchemaRefused "The handheld X
// cannot be synced: T is a view, not a table; trigger G on T (...)." when a store table is no
// real table or carries a trigger (an Untrusted file's). Number 0 when nothing does.
struct StoreProblem {
    long number = 0;
    QString text;
    explicit operator bool() const { return number != 0; }
};
StoreProblem storeProblems(const Database& db);

} // namespace kv::cradle

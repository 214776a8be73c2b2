#pragma once

#include "data/EngineDriver.h"

#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <functional>
#include <QSet>
#include <QSqlDatabase>
#include <memory>
#include <optional>

namespace kv {

class Recordset;
struct ColumnIndex;

// The connection's list of provider errors: filled when an operation fails, emptied by clear().
class ProviderErrors {
public:
    int count() const { return m_items.size(); }
    const ProviderError& item(int i) const { return m_items.at(i); }
    void clear() { m_items.clear(); }
    void add(const ProviderError& e) { m_items.append(e); }

private:
    QList<ProviderError> m_items;
};

// One database connection, with the operations the program's procedures use on it. The engine
// comes from the connection string's provider unless it was set beforehand with setEngine.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setEngine(std::optional<Engine> e) { m_engineOverride = e; }
    std::optional<Engine> engine() const;
    // The ODBC driver (odbcinst.ini name) used when the engine is SQL Server or Oracle.
    void setOdbcDriver(const QString& name) { m_odbcDriver = name; }
    QString odbcDriver() const { return m_odbcDriver; }

    // Opens the connection; user and password as given override the string's. Throws
    // RunTimeError, with the details in errors(), when it fails.
    void open(const QString& connectionString, const QString& user = QString(),
              const QString& password = QString(), int options = -1);
    void close();
    int state() const { return m_open ? 1 : 0; }
    // The connection was open and the server went away (stopped, restarted, the network cut):
    // every statement fails until it is opened again.
    bool lost() const;
    // Closes it and opens it again with the same string and properties. Throws as open() does.
    void reopen();

    QString connectionString() const { return m_connectionString; }
    void setCursorLocation(int location) { m_cursorLocation = location; }
    int cursorLocation() const { return m_cursorLocation; }
    void setDefaultDatabase(const QString& name);
    QString defaultDatabase() const { return m_defaultDatabase; }
    void setCommandTimeout(int seconds);
    int commandTimeout() const { return m_commandTimeout; }
    // The time-out each statement gets: the command time-out once set, else none.
    int statementTimeout() const { return m_timeoutSet ? m_commandTimeout : 0; }
    void setIsolationLevel(int level);
    int isolationLevel() const { return m_isolationLevel; }
    // How long a statement waits for a lock another program holds (a row, a table, the file)
    // before it fails with the reason that the database is locked; applied at every open.
    void setLockTimeout(int seconds);
    int lockTimeout() const { return m_lockTimeout; }

    // Runs a statement; rows it returns are discarded. recordsAffected may be null.
    void execute(const QString& sql, long* recordsAffected = nullptr, int options = -1);
    // Kind 20: one row per table and view, with TABLE_NAME and TABLE_TYPE.
    std::unique_ptr<Recordset> openSchema(int kind);

    void beginTrans();
    void commitTrans();
    void rollbackTrans();
    bool inTransaction() const { return m_inTransaction; }
    // A named point inside the open transaction that a rollback can return to, and its release.
    void savepoint(const QString& name);
    void rollbackToSavepoint(const QString& name);
    void releaseSavepoint(const QString& name);
    // A lock of the whole database, by name, held by this connection across its commits until
    // unlockNamed (or the connection ends). tryLockNamed never waits: false when another
    // connection holds it. SQLite has none (always true): there every transaction takes the
    // file's write lock as it begins.
    bool tryLockNamed(const QString& name);
    void unlockNamed(const QString& name);

    // Runs a statement exactly as written (no translation, no guard) on `q`, with the command
    // time-out as every statement of the connection gets it. False on failure.
    bool run(QSqlQuery& q, const QString& sql) const;

    ProviderErrors& errors() { return m_errors; }

    // For record sets and engine-aware helpers.
    QSqlDatabase database() const;
    const EngineDriver& driver() const;
    // A statement prepared once per connection and reused (the inserts of record sets: the
    // same shape for every row of an import). Throws RunTimeError when it cannot be prepared.
    QSqlQuery& preparedStatement(const QString& sql);
    // The same for a statement written in the program's dialect: `translate` gives the text the
    // engine receives, once per connection.
    QSqlQuery& preparedStatement(const QString& sql, const std::function<QString(const QString&)>& translate);
    // Records the engine's error and throws it as a RunTimeError.
    [[noreturn]] void fail(const QSqlError& e);
    [[noreturn]] void fail(const QSqlQuery& q);
    [[noreturn]] void fail(const ProviderError& e);

    // A statement whose rows are read one at a time (a large export source) holds the
    // connection from begin to end; nothing else may run on it meanwhile.
    void beginReading();
    void endReading();
    // Throws a program error (3219) while a statement on the connection has unread results: a
    // driver without multiple active statements (FreeTDS) would refuse the statement, so every
    // engine refuses it and the fault shows wherever it is tested.
    void requireIdle() const;

private:
    friend class Recordset;
    void attach(Recordset* rs) { m_recordsets.insert(rs); }
    void detach(Recordset* rs) { m_recordsets.remove(rs); }
    void requireOpen() const;

    QString m_name;
    std::unique_ptr<EngineDriver> m_driver;
    std::optional<Engine> m_engineOverride;
    QString m_odbcDriver;
    bool m_open = false;
    bool m_lost = false;
    bool m_inTransaction = false;
    QString m_connectionString;
    QString m_defaultDatabase;
    int m_cursorLocation = 2;
    int m_commandTimeout = 30;
    int m_isolationLevel = 4096;
    int m_lockTimeout;
    bool m_timeoutSet = false; // applied again at every open once set
    bool m_isolationSet = false;
    int m_reading = 0;
    ProviderErrors m_errors;
    QSet<Recordset*> m_recordsets;
    QHash<QString, QSqlQuery> m_prepared;
    QHash<QString, QString> m_translated; // program dialect -> the engine's, for prepared statements
    struct Columns {
        QStringList names;
        QList<int> sizes, types;
        std::shared_ptr<const ColumnIndex> index;
    };
    QHash<QString, Columns> m_columns; // of prepared statements, read once
    // Runs a statement of the transaction's own bookkeeping as it is (no translation, no guard).
    void control(const QString& sql);
    // The same without failing: false when the engine refused it.
    bool tryControl(const QString& sql);
    friend class StatementGuard;
};

// Inside a transaction on PostgreSQL one failing statement aborts the whole transaction; the
// program's convention is that the operator may retry or skip just that statement. The guard
// brackets one statement with a savepoint there (and does nothing elsewhere), so a failure
// undoes only that statement.
class StatementGuard {
public:
    explicit StatementGuard(Connection& c);
    ~StatementGuard();
    void succeeded();

private:
    Connection& m_c;
    bool m_active = false;
};

// Rolls the transaction back unless commit() was called (scope-based, so an early return or an
// exception never leaves half a unit of work committed).
class Transaction {
public:
    explicit Transaction(Connection& c) : m_c(c) { m_c.beginTrans(); }
    ~Transaction();
    void commit();

private:
    Connection& m_c;
    bool m_done = false;
};

} // namespace kv

#pragma once

#include "data/EngineDriver.h"

namespace kv {

// SQLite files: the local sync store (Jet) and an ERP database in a file (Sqlite). Opening
// never creates a file: a missing one fails with SQL state "3024", one that is not a database
// with "3051", so the caller's recovery (asking for the file) can run.
class SqliteDriver : public EngineDriver {
public:
    explicit SqliteDriver(Engine e);
    Engine engine() const override { return m_engine; }
    QString qtDriver() const override { return QStringLiteral("QSQLITE"); }
    void open(QSqlDatabase& db, const ConnectionString& cs) const override;
    QString translate(const QString& sql) const override;
    int definedSize(const QSqlQuery& query, int column) const override;
    ProviderError errorOf(const QSqlError& e) const override;
    // On an ERP file, BEGIN IMMEDIATE: the write lock is taken at once, waiting the lock
    // time-out (the busy time-out) for another program writing the file, instead of failing
    // later with "database is locked" when a transaction that began by reading turns to writing.
    bool beginTransaction(QSqlDatabase& db, QSqlError& why) const override;
    // The lock time-out bounds the driver's own busy handler; SQLite's busy_timeout pragma would
    // put SQLite's slower one back in its place.
    void applyLockTimeout(QSqlDatabase& db, int seconds, int timeoutSeconds) const override;
    // From the declared type: numbers as numbers and, in an ERP file, DATE/DATETIME columns as
    // dates (SQLite itself keeps them as text).
    int valueType(const QSqlQuery& query, int column) const override;
    // Dates go in as the ERP file writes them: "yyyy-MM-dd HH:mm:ss".
    QVariant bindable(const QVariant& v) const override;

    // Declared length of an SQLite column type text: "VARCHAR(200)" gives 200.
    static int sizeOfDeclaredType(const QString& declared);

private:
    Engine m_engine;
    mutable int m_busyMs; // how long a writer waits for another's lock, read by the busy handler
};

} // namespace kv

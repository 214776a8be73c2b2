#pragma once

#include "app/RunTimeError.h"
#include "data/ConnectionString.h"
#include "data/Engine.h"

#include <memory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QVariant>

class QSqlQuery;

namespace kv {

// A failure of the engine, as the connection's error list reports it.
struct ProviderError {
    long number = 0;
    QString description;
    QString sqlState;
    qint32 nativeError = 0;
    QString source;
};

// What differs between engines, one subclass per engine; everything else lives in Connection
// and Recordset and is shared.
class EngineDriver {
public:
    virtual ~EngineDriver() = default;
    virtual Engine engine() const = 0;
    virtual QString qtDriver() const = 0;

    // Opens `db` (already added with qtDriver()) from the connection string's values.
    // Throws ProviderError when the database cannot be opened.
    virtual void open(QSqlDatabase& db, const ConnectionString& cs) const = 0;

    // The statement as this engine must receive it (the program writes the SQL Server dialect).
    virtual QString translate(const QString& sql) const { return sql; }

    // The tables and views of the database: (name, "TABLE" or "VIEW"), read with the engine's
    // own catalogue statement, run as every statement with the command time-out.
    QList<QPair<QString, QString>> tables(QSqlDatabase& db, int timeoutSeconds) const;

    // Declared length of result column `column` of an executed query (text(n) gives n).
    virtual int definedSize(const QSqlQuery& query, int column) const;

    // An identifier as this engine must see it in a generated statement.
    virtual QString quoteName(const QSqlDatabase& db, const QString& name) const;

    // The provider error for a failed statement.
    virtual ProviderError errorOf(const QSqlError& e) const;
    // The same for a failed query, which may still tell the engine's SQL state.
    virtual ProviderError errorOf(const QSqlQuery& q) const;

    // Runs a statement on `q` with the command time-out (seconds, 0: none). False on failure.
    virtual bool exec(QSqlQuery& q, const QString& sql, int timeoutSeconds) const;
    // Runs a statement of the connection's own bookkeeping (a savepoint, a lock, a session
    // setting) as one direct statement with the command time-out. `firstValue`, when given, gets
    // the first column of its first row as a whole number. False on failure, with the reason.
    virtual bool control(QSqlDatabase& db, const QString& sql, int timeoutSeconds, int* firstValue,
                         ProviderError& why) const;
    // Applies the command time-out to a statement just prepared.
    virtual void prepared(QSqlQuery&, int /*timeoutSeconds*/) const {}
    // The value type of result column `column` (a QMetaType id), as assignments must bind it.
    virtual int valueType(const QSqlQuery& query, int column) const;
    // How many rows of `columns` parameters one INSERT ... VALUES (...), (...) may carry: the
    // engine's limits on parameters and rows; 1 where one statement inserts one row only.
    int rowsPerInsert(int columns) const;
    // A value as the engine's driver must receive it as a parameter.
    virtual QVariant bindable(const QVariant& v) const { return v; }

    // Starts a transaction on `db`. False on failure, with the engine's reason in `why`.
    virtual bool beginTransaction(QSqlDatabase& db, QSqlError& why) const {
        if (db.transaction()) return true;
        why = db.lastError();
        return false;
    }

    virtual void applyCommandTimeout(QSqlDatabase&, int /*seconds*/) const {}
    // How long a statement waits for another's lock (lockTimeoutStatement); an engine that
    // refuses the setting keeps its own bound.
    virtual void applyLockTimeout(QSqlDatabase& db, int seconds, int timeoutSeconds) const;
    virtual void applyIsolationLevel(QSqlDatabase&, int /*level*/) const {}
    virtual void applyDefaultDatabase(QSqlDatabase&, const QString& /*name*/, int /*timeoutSeconds*/) const {}

    // odbcDriver: the ODBC driver name for SQL Server and Oracle (empty: "FreeTDS", "Oracle");
    // for PostgreSQL, when given, the ERP is reached through that ODBC driver.
    static std::unique_ptr<EngineDriver> create(Engine e, const QString& odbcDriver = QString());
};

// Whether a failure says the server is gone: the connection must be opened again.
bool isLostConnection(const ProviderError& e);
// Whether a failure is the engine refusing a value of the statement (a constraint, a type, a
// length): the row's own fault, not the database's. SQLSTATE classes 22 and 23; SQLite's
// constraint, mismatch and too-big codes.
bool isRefusedValue(const ProviderError& e);

// The catalogue statement that lists an engine's tables and views: the name, then "TABLE" or
// "VIEW".
QString tablesStatement(Engine e);

// Error numbers the record-set layer reports for engine failures.
namespace adoerr {
constexpr long Failure = -2147467259;          // a general provider failure (connection level)
constexpr long ErrorsInCommand = -2147217900;  // a statement the engine refused
constexpr long ProviderNotFound = 3706;
constexpr long StatementBusy = err::OperationNotAllowed; // a program error: a statement still has unread results
} // namespace adoerr

} // namespace kv

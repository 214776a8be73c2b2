#pragma once

#include "data/EngineDriver.h"

namespace kv {

// SQL Server and Oracle through unixODBC, and PostgreSQL when the settings name an ODBC driver
// for it. The ODBC driver's name (as in /etc/odbcinst.ini) comes from the settings file.
// Every statement is prepared, given the command time-out (SQL_ATTR_QUERY_TIMEOUT) and
// executed; the isolation level is the connection's SQL_ATTR_TXN_ISOLATION.
class OdbcDriver : public EngineDriver {
public:
    OdbcDriver(Engine e, QString odbcDriverName) : m_engine(e), m_odbcDriver(std::move(odbcDriverName)) {}
    Engine engine() const override { return m_engine; }
    QString qtDriver() const override { return QStringLiteral("QODBC"); }
    void open(QSqlDatabase& db, const ConnectionString& cs) const override;
    QString translate(const QString& sql) const override;
    void applyDefaultDatabase(QSqlDatabase& db, const QString& name, int timeoutSeconds) const override;
    void applyIsolationLevel(QSqlDatabase& db, int level) const override;
    bool exec(QSqlQuery& q, const QString& sql, int timeoutSeconds) const override;
    void prepared(QSqlQuery& q, int timeoutSeconds) const override;
    // Straight through the ODBC API: Qt's direct execution leaves no moment to set the time-out on
    // the statement handle, and a prepared savepoint statement would cross psqlODBC's own
    // statement-level savepoints.
    bool control(QSqlDatabase& db, const QString& sql, int timeoutSeconds, int* firstValue,
                 ProviderError& why) const override;
    ProviderError errorOf(const QSqlQuery& q) const override;
    // Plain names go unquoted: the server then matches them by its own rules (SQL Server's
    // collation, Oracle's upper case, PostgreSQL's lower case), as hand-written statements do.
    QString quoteName(const QSqlDatabase& db, const QString& name) const override;

    // The ODBC connection string for the given values (values braced so ";" cannot split them).
    QString odbcString(const ConnectionString& cs) const;
    // The settings key ("General" section of CN000pr.INI) that names the engine's ODBC driver.
    static QString settingsKey(Engine e);

private:
    Engine m_engine;
    QString m_odbcDriver;
};

// The ODBC isolation level (SQL_TXN_*) for an ADO one (256 read uncommitted, 4096 read
// committed, 65536 repeatable read, 1048576 serializable) on an engine: Oracle and PostgreSQL
// have no dirty reads and get read committed, the closest level they grant.
int odbcIsolation(Engine e, int adoLevel);

} // namespace kv

#pragma once

#include "data/EngineDriver.h"

namespace kv {

// An ERP database on PostgreSQL through Qt's native driver. The server is written "host" or
// "host,port" as SQL Server names its servers.
class PostgresDriver : public EngineDriver {
public:
    Engine engine() const override { return Engine::PostgreSql; }
    QString qtDriver() const override { return QStringLiteral("QPSQL"); }
    void open(QSqlDatabase& db, const ConnectionString& cs) const override;
    QString translate(const QString& sql) const override;
    // The ERP's objects are created unquoted, so their names live in lower case.
    QString quoteName(const QSqlDatabase& db, const QString& name) const override;
    QList<QPair<QString, QString>> tables(QSqlDatabase& db) const override;
    void applyCommandTimeout(QSqlDatabase& db, int seconds) const override;
    void applyIsolationLevel(QSqlDatabase& db, int level) const override;
};

// SQL Server and Oracle through unixODBC. The ODBC driver's name (as in odbcinst.ini) is given
// by the caller, from the settings file.
class OdbcDriver : public EngineDriver {
public:
    OdbcDriver(Engine e, QString odbcDriverName) : m_engine(e), m_odbcDriver(std::move(odbcDriverName)) {}
    Engine engine() const override { return m_engine; }
    QString qtDriver() const override { return QStringLiteral("QODBC"); }
    void open(QSqlDatabase& db, const ConnectionString& cs) const override;
    void applyDefaultDatabase(QSqlDatabase& db, const QString& name) const override;
    // Plain names go unquoted: the server then matches them by its own rules (SQL Server's
    // collation, Oracle's upper case), as the program's hand-written statements do.
    QString quoteName(const QSqlDatabase& db, const QString& name) const override;

    // The ODBC connection string for the given values (values braced so ";" cannot split them).
    QString odbcString(const ConnectionString& cs) const;

private:
    Engine m_engine;
    QString m_odbcDriver;
};

// "host,port" or "host:port" -> host and port (0 when none).
QPair<QString, int> splitServer(const QString& server);

} // namespace kv

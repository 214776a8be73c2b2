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
    void applyCommandTimeout(QSqlDatabase& db, int seconds) const override;
    void applyIsolationLevel(QSqlDatabase& db, int level) const override;
};

// "host,port" or "host:port" -> host and port (0 when none).
QPair<QString, int> splitServer(const QString& server);

// A name of the ERP, as PostgreSQL holds it (created unquoted, so in lower case).
QString postgresName(const QString& name);
// The first of `keys` the connection string holds, or empty.
QString firstOf(const ConnectionString& cs, std::initializer_list<const char*> keys);

} // namespace kv

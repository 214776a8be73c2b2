#include "data/EngineDriver.h"

#include "data/LockStatements.h"

#include "data/OdbcDriver.h"
#include "data/PostgresDriver.h"
#include "data/SqliteDriver.h"

#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

namespace kv {

bool isLostConnection(const ProviderError& e) {
    // 08xxx: connection exceptions (ODBC and SQL); 57P01-57P03: the server shut down or is starting.
    if (e.sqlState.startsWith(QLatin1String("08")) || e.sqlState.startsWith(QLatin1String("57P0"))) return true;
    for (const char* words : {"server closed the connection", "no connection to the server",
                              "terminating connection", "could not receive data from server",
                              "Communication link failure"})
        if (e.description.contains(QLatin1String(words), Qt::CaseInsensitive)) return true;
    return false;
}

void EngineDriver::applyLockTimeout(QSqlDatabase& db, int seconds, int timeoutSeconds) const {
    const QString sql = lockTimeoutStatement(engine(), seconds);
    ProviderError ignored;
    if (!sql.isEmpty()) control(db, sql, timeoutSeconds, nullptr, ignored);
}

bool isRefusedValue(const ProviderError& e) {
    if (e.sqlState.size() == 5) return e.sqlState.startsWith(QLatin1String("22")) || e.sqlState.startsWith(QLatin1String("23"));
    // SQLite's result code, extended or not: its low byte is the primary code.
    bool numeric = false;
    const int code = e.sqlState.toInt(&numeric) & 0xff;
    return numeric && (code == 18 || code == 19 || code == 20); // TOOBIG, CONSTRAINT, MISMATCH
}

QString tablesStatement(Engine e) {
    switch (e) {
    case Engine::Sqlite:
    case Engine::Jet:
        return QStringLiteral("SELECT name, upper(type) FROM sqlite_master WHERE type IN ('table','view') "
                              "AND name NOT LIKE 'sqlite_%' ORDER BY name");
    case Engine::PostgreSql:
        return QStringLiteral("SELECT table_name, CASE WHEN table_type = 'VIEW' THEN 'VIEW' ELSE 'TABLE' END "
                              "FROM information_schema.tables WHERE table_schema = current_schema() ORDER BY table_name");
    case Engine::SqlServer:
        return QStringLiteral("SELECT TABLE_NAME, CASE WHEN TABLE_TYPE = 'VIEW' THEN 'VIEW' ELSE 'TABLE' END "
                              "FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME");
    case Engine::Oracle:
        return QStringLiteral("SELECT TABLE_NAME, 'TABLE' FROM ALL_TABLES UNION ALL "
                              "SELECT VIEW_NAME, 'VIEW' FROM ALL_VIEWS ORDER BY 1");
    }
    return QString();
}

QList<QPair<QString, QString>> EngineDriver::tables(QSqlDatabase& db, int timeoutSeconds) const {
    QList<QPair<QString, QString>> r;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (exec(q, tablesStatement(engine()), timeoutSeconds))
        while (q.next())
            r.append({q.value(0).toString().trimmed(), q.value(1).toString().trimmed()});
    return r;
}

int EngineDriver::definedSize(const QSqlQuery& query, int column) const {
    const int len = query.record().field(column).length();
    return len > 0 ? len : 0;
}

QString EngineDriver::quoteName(const QSqlDatabase& db, const QString& name) const {
    return db.driver()->escapeIdentifier(name, QSqlDriver::FieldName);
}

ProviderError EngineDriver::errorOf(const QSqlError& e) const {
    ProviderError p;
    p.number = e.type() == QSqlError::ConnectionError ? adoerr::Failure : adoerr::ErrorsInCommand;
    p.description = e.databaseText().trimmed().isEmpty() ? e.text().trimmed() : e.databaseText().trimmed();
    p.sqlState = e.nativeErrorCode();
    p.nativeError = e.nativeErrorCode().toInt();
    p.source = qtDriver();
    return p;
}

ProviderError EngineDriver::errorOf(const QSqlQuery& q) const {
    return errorOf(q.lastError());
}

bool EngineDriver::exec(QSqlQuery& q, const QString& sql, int) const {
    return q.exec(sql);
}

bool EngineDriver::control(QSqlDatabase& db, const QString& sql, int timeoutSeconds, int* firstValue,
                           ProviderError& why) const {
    QSqlQuery q(db);
    if (!exec(q, sql, timeoutSeconds)) {
        why = errorOf(q);
        return false;
    }
    if (firstValue && q.next()) *firstValue = q.value(0).toInt();
    return true;
}

int EngineDriver::valueType(const QSqlQuery& query, int column) const {
    return query.record().field(column).metaType().id();
}

std::unique_ptr<EngineDriver> EngineDriver::create(Engine e, const QString& odbcDriver) {
    switch (e) {
    case Engine::Jet:
    case Engine::Sqlite: return std::make_unique<SqliteDriver>(e);
    case Engine::PostgreSql:
        if (!odbcDriver.isEmpty()) return std::make_unique<OdbcDriver>(e, odbcDriver);
        return std::make_unique<PostgresDriver>();
    case Engine::SqlServer:
        return std::make_unique<OdbcDriver>(e, odbcDriver.isEmpty() ? QStringLiteral("FreeTDS") : odbcDriver);
    case Engine::Oracle:
        return std::make_unique<OdbcDriver>(e, odbcDriver.isEmpty() ? QStringLiteral("Oracle") : odbcDriver);
    }
    return nullptr;
}

int EngineDriver::rowsPerInsert(int columns) const {
    int parameters = 999; // SQLite as any build has it
    switch (engine()) {
    case Engine::Oracle: return 1;
    case Engine::SqlServer: parameters = 2100 - 1; break;
    case Engine::PostgreSql: parameters = 32767; break;
    case Engine::Sqlite:
    case Engine::Jet: break;
    }
    return std::clamp(parameters / std::max(columns, 1), 1, 1000); // SQL Server: 1000 rows at most
}

} // namespace kv

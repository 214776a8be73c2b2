#include "data/EngineDriver.h"

#include "data/OdbcDriver.h"
#include "data/PostgresDriver.h"
#include "data/SqliteDriver.h"

#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kv {

QList<QPair<QString, QString>> EngineDriver::tables(QSqlDatabase& db) const {
    QList<QPair<QString, QString>> r;
    for (const QString& t : db.tables(QSql::Tables)) r.append({t, QStringLiteral("TABLE")});
    for (const QString& v : db.tables(QSql::Views)) r.append({v, QStringLiteral("VIEW")});
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

} // namespace kv

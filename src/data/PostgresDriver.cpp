#include "data/PostgresDriver.h"

#include "data/Dialect.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace kv {

QString firstOf(const ConnectionString& cs, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (cs.contains(QLatin1String(k))) return cs.value(QLatin1String(k));
    return QString();
}

namespace {

ProviderError openFailure(const QSqlDatabase& db, const QString& source) {
    ProviderError p;
    p.number = adoerr::Failure;
    const QSqlError e = db.lastError();
    p.description = e.databaseText().trimmed().isEmpty() ? e.text().trimmed() : e.databaseText().trimmed();
    p.sqlState = e.nativeErrorCode().isEmpty() ? QStringLiteral("08001") : e.nativeErrorCode();
    p.nativeError = e.nativeErrorCode().toInt();
    p.source = source;
    return p;
}

} // namespace

QPair<QString, int> splitServer(const QString& server) {
    const QString s = server.trimmed();
    const int sep = s.lastIndexOf(QRegularExpression(QStringLiteral("[,:]")));
    if (sep > 0) {
        bool ok = false;
        const int port = s.mid(sep + 1).trimmed().toInt(&ok);
        if (ok) return {s.left(sep).trimmed(), port};
    }
    return {s, 0};
}

void PostgresDriver::open(QSqlDatabase& db, const ConnectionString& cs) const {
    const auto [host, port] = splitServer(firstOf(cs, {"Server", "Data Source", "Host"}));
    db.setHostName(host.isEmpty() ? QStringLiteral("localhost") : host);
    if (port > 0) db.setPort(port);
    db.setDatabaseName(firstOf(cs, {"Database", "Initial Catalog"}));
    db.setUserName(firstOf(cs, {"UId", "User Id", "User"}));
    db.setPassword(firstOf(cs, {"Pwd", "Password"}));
    db.setConnectOptions(QStringLiteral("connect_timeout=15"));
    if (!db.open()) throw openFailure(db, qtDriver());
}

QString PostgresDriver::translate(const QString& sql) const {
    return dialect::toPostgres(sql);
}

QString postgresName(const QString& name) {
    return name.toLower();
}

QString PostgresDriver::quoteName(const QSqlDatabase& db, const QString& name) const {
    return EngineDriver::quoteName(db, postgresName(name));
}

void PostgresDriver::applyCommandTimeout(QSqlDatabase& db, int seconds) const {
    QSqlQuery q(db);
    q.exec(QStringLiteral("SET statement_timeout = %1").arg(qMax(0, seconds) * 1000));
}

void PostgresDriver::applyIsolationLevel(QSqlDatabase& db, int level) const {
    // 256 asks for dirty reads; PostgreSQL grants read committed, the closest it has.
    const char* name = level == 256 ? "READ UNCOMMITTED" : level >= 1048576 ? "SERIALIZABLE" : "READ COMMITTED";
    QSqlQuery q(db);
    q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL %1").arg(QLatin1String(name)));
}

} // namespace kv

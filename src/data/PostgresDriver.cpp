#include "data/PostgresDriver.h"

#include "data/Dialect.h"

#include <QRegularExpression>

#include <QRegularExpression>
#include <QSqlQuery>

namespace kv {

namespace {
QString firstOf(const ConnectionString& cs, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (cs.contains(QLatin1String(k))) return cs.value(QLatin1String(k));
    return QString();
}

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

// Values that could split the ODBC string (";", braces, blanks at the ends) go inside braces.
QString braced(const QString& v) {
    static const QRegularExpression risky(QStringLiteral(R"([;{}=]|^\s|\s$)"));
    if (!risky.match(v).hasMatch()) return v;
    QString b = v;
    return QLatin1Char('{') + b.replace(QLatin1Char('}'), QStringLiteral("}}")) + QLatin1Char('}');
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

QString PostgresDriver::quoteName(const QSqlDatabase& db, const QString& name) const {
    return EngineDriver::quoteName(db, name.toLower());
}

QList<QPair<QString, QString>> PostgresDriver::tables(QSqlDatabase& db) const {
    QList<QPair<QString, QString>> r;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("SELECT table_name, table_type FROM information_schema.tables "
                              "WHERE table_schema = current_schema() ORDER BY table_name")))
        while (q.next())
            r.append({q.value(0).toString(), q.value(1).toString() == QLatin1String("VIEW") ? QStringLiteral("VIEW")
                                                                                            : QStringLiteral("TABLE")});
    return r;
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

QString OdbcDriver::odbcString(const ConnectionString& cs) const {
    QString s = QStringLiteral("DRIVER=") + braced(m_odbcDriver) + QLatin1Char(';');
    if (m_engine == Engine::Oracle) {
        s += QStringLiteral("DBQ=") + braced(firstOf(cs, {"Data Source"})) + QLatin1Char(';');
    } else {
        const auto [host, port] = splitServer(firstOf(cs, {"Server", "Data Source"}));
        s += QStringLiteral("SERVER=") + braced(host) + QLatin1Char(';');
        if (port > 0) s += QStringLiteral("PORT=%1;").arg(port);
        s += QStringLiteral("DATABASE=") + braced(firstOf(cs, {"Database", "Initial Catalog"})) + QLatin1Char(';');
    }
    s += QStringLiteral("UID=") + braced(firstOf(cs, {"UId", "User Id"})) + QLatin1Char(';');
    s += QStringLiteral("PWD=") + braced(firstOf(cs, {"Pwd", "Password"})) + QLatin1Char(';');
    return s;
}

void OdbcDriver::open(QSqlDatabase& db, const ConnectionString& cs) const {
    db.setDatabaseName(odbcString(cs));
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15"));
    if (!db.open()) throw openFailure(db, qtDriver());
}

QString OdbcDriver::quoteName(const QSqlDatabase& db, const QString& name) const {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(name).hasMatch() ? name : EngineDriver::quoteName(db, name);
}

void OdbcDriver::applyDefaultDatabase(QSqlDatabase& db, const QString& name) const {
    if (m_engine != Engine::SqlServer || name.trimmed().isEmpty()) return;
    QSqlQuery q(db);
    QString n = name.trimmed();
    q.exec(QStringLiteral("USE [") + n.replace(QLatin1Char(']'), QStringLiteral("]]")) + QLatin1Char(']'));
}

} // namespace kv

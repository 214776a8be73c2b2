#include "data/OdbcDriver.h"

#include "data/PostgresDriver.h"
#include "data/Translation.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <sql.h>
#include <sqlext.h>

namespace kv {

namespace {

// Values that could split the ODBC string (";", braces, blanks at the ends) go inside braces.
QString braced(const QString& v) {
    static const QRegularExpression risky(QStringLiteral(R"([;{}=]|^\s|\s$)"));
    if (!risky.match(v).hasMatch()) return v;
    QString b = v;
    return QLatin1Char('{') + b.replace(QLatin1Char('}'), QStringLiteral("}}")) + QLatin1Char('}');
}

// Qt 6 hands its ODBC handles over as void* (Qt 5 named the type SQLHANDLE).
SQLHANDLE handleOf(const QVariant& v) {
    if (!v.isValid() || (qstrcmp(v.typeName(), "SQLHANDLE") != 0 && qstrcmp(v.typeName(), "void*") != 0))
        return nullptr;
    return *static_cast<const SQLHANDLE*>(v.constData());
}

SQLHANDLE statementOf(const QSqlQuery& q) {
    return q.result() ? handleOf(q.result()->handle()) : nullptr;
}

// The first diagnostic record of a handle: SQL state, native code and text.
struct Diagnostic {
    QString state;
    qint32 native = 0;
    QString text;
};

Diagnostic diagnosticOf(SQLSMALLINT type, SQLHANDLE h) {
    Diagnostic d;
    if (!h) return d;
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {0};
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(SQLGetDiagRecA(type, h, 1, state, &native, text, sizeof text, &length))) {
        d.state = QString::fromLatin1(reinterpret_cast<const char*>(state));
        d.native = native;
        d.text = QString::fromUtf8(reinterpret_cast<const char*>(text));
    }
    return d;
}

// Qt does not pass on the SQL state of a failed connect: a second attempt of our own, made only
// after a failure, reads it from the driver manager.
Diagnostic connectDiagnostic(const QString& odbcString) {
    Diagnostic d;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return d;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
        QByteArray text = odbcString.toUtf8();
        const SQLRETURN rc = SQLDriverConnectA(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (SQL_SUCCEEDED(rc))
            SQLDisconnect(dbc);
        else
            d = diagnosticOf(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return d;
}

} // namespace

QString OdbcDriver::settingsKey(Engine e) {
    switch (e) {
    case Engine::Oracle:
        return QStringLiteral("DriverOracle");
    case Engine::PostgreSql:
        return QStringLiteral("DriverPostgreSQL");
    default:
        return QStringLiteral("DriverSQLServer");
    }
}

QString OdbcDriver::odbcString(const ConnectionString& cs) const {
    QString s = QStringLiteral("DRIVER=") + braced(m_odbcDriver) + QLatin1Char(';');
    if (m_engine == Engine::Oracle) {
        s += QStringLiteral("DBQ=") + braced(firstOf(cs, {"Data Source"})) + QLatin1Char(';');
    } else {
        const auto [host, port] = splitServer(firstOf(cs, {"Server", "Data Source"}));
        s += QStringLiteral("SERVER=") + braced(host) + QLatin1Char(';');
        if (port > 0) s += QStringLiteral("PORT=%1;").arg(port);
        s += QStringLiteral("DATABASE=") + braced(firstOf(cs, {"Database", "Initial Catalog"})) +
             QLatin1Char(';');
    }
    s += QStringLiteral("UID=") + braced(firstOf(cs, {"UId", "User Id"})) + QLatin1Char(';');
    s += QStringLiteral("PWD=") + braced(firstOf(cs, {"Pwd", "Password"})) + QLatin1Char(';');
    // psqlODBC reads large results through a cursor in batches instead of buffering them whole.
    if (m_engine == Engine::PostgreSql) s += QStringLiteral("UseDeclareFetch=1;");
    return s;
}

void OdbcDriver::open(QSqlDatabase& db, const ConnectionString& cs) const {
    const QString text = odbcString(cs);
    db.setDatabaseName(text);
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15"));
    if (db.open()) return;
    const QSqlError e = db.lastError();
    const Diagnostic d = connectDiagnostic(text);
    ProviderError p;
    p.number = adoerr::Failure;
    p.description = e.databaseText().trimmed().isEmpty() ? e.text().trimmed() : e.databaseText().trimmed();
    p.sqlState = d.state.isEmpty() ? QStringLiteral("08001") : d.state;
    p.nativeError = d.native;
    p.source = qtDriver();
    // IM002: no such driver or data source; 01000 with "Can't open lib": its library is missing.
    if (p.sqlState == QLatin1String("IM002") || p.description.contains(QLatin1String("Can't open lib")) ||
        d.text.contains(QLatin1String("Can't open lib")))
        p.description +=
            QStringLiteral(" - the ODBC driver \"%1\" (CN000pr.INI, section \"General\", key \"%2\") is "
                           "not installed: name one of the drivers listed in /etc/odbcinst.ini")
                .arg(m_odbcDriver, settingsKey(m_engine));
    throw p;
}

QString OdbcDriver::translate(const QString& sql) const {
    return dialectFor(m_engine, sql);
}

QString OdbcDriver::quoteName(const QSqlDatabase& db, const QString& name) const {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (plain.match(name).hasMatch()) return name;
    return EngineDriver::quoteName(db, m_engine == Engine::PostgreSql ? postgresName(name) : name);
}

void OdbcDriver::applyDefaultDatabase(QSqlDatabase& db, const QString& name, int timeoutSeconds) const {
    if (m_engine != Engine::SqlServer || name.trimmed().isEmpty()) return;
    QSqlQuery q(db);
    QString n = name.trimmed();
    exec(q, QStringLiteral("USE [") + n.replace(QLatin1Char(']'), QStringLiteral("]]")) + QLatin1Char(']'), timeoutSeconds);
}

int odbcIsolation(Engine e, int adoLevel) {
    if (adoLevel >= 1048576) return SQL_TXN_SERIALIZABLE;
    if (adoLevel >= 65536) return e == Engine::Oracle ? SQL_TXN_SERIALIZABLE : SQL_TXN_REPEATABLE_READ;
    if (adoLevel == 256 && e == Engine::SqlServer) return SQL_TXN_READ_UNCOMMITTED;
    return SQL_TXN_READ_COMMITTED;
}

void OdbcDriver::applyIsolationLevel(QSqlDatabase& db, int level) const {
    // A driver that refuses the level keeps its own; reads still work, as they did before.
    if (SQLHANDLE dbc = handleOf(db.driver()->handle()))
        SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(odbcIsolation(m_engine, level))),
                          0);
}

void OdbcDriver::prepared(QSqlQuery& q, int timeoutSeconds) const {
    if (SQLHANDLE st = statementOf(q))
        SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(qMax(0, timeoutSeconds))), 0);
}

bool OdbcDriver::control(QSqlDatabase& db, const QString& sql, int timeoutSeconds, int* firstValue,
                         ProviderError& why) const {
    SQLHANDLE dbc = handleOf(db.driver()->handle());
    SQLHSTMT st = SQL_NULL_HSTMT;
    if (!dbc || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st))) {
        const Diagnostic d = diagnosticOf(SQL_HANDLE_DBC, dbc);
        why = ProviderError{adoerr::Failure, d.text.isEmpty() ? QStringLiteral("no statement handle") : d.text, d.state,
                            d.native, qtDriver()};
        return false;
    }
    SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(qMax(0, timeoutSeconds))),
                   0);
    QByteArray text = sql.toUtf8();
    const SQLRETURN rc = SQLExecDirectA(st, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    const bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    if (!ok) {
        const Diagnostic d = diagnosticOf(SQL_HANDLE_STMT, st);
        why = ProviderError{adoerr::ErrorsInCommand, d.text.trimmed(), d.state, d.native, qtDriver()};
    } else if (firstValue) {
        // A batch (SQL Server's lock) may answer with row counts first: the first result with columns.
        SQLSMALLINT columns = 0;
        SQLNumResultCols(st, &columns);
        while (columns == 0 && SQL_SUCCEEDED(SQLMoreResults(st))) SQLNumResultCols(st, &columns);
        SQLINTEGER value = 0;
        SQLLEN indicator = 0;
        if (columns > 0 && SQL_SUCCEEDED(SQLFetch(st)) &&
            SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_SLONG, &value, 0, &indicator)) && indicator != SQL_NULL_DATA)
            *firstValue = value;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return ok;
}

bool OdbcDriver::exec(QSqlQuery& q, const QString& sql, int timeoutSeconds) const {
    if (!q.prepare(sql)) return false;
    prepared(q, timeoutSeconds);
    return q.exec();
}

ProviderError OdbcDriver::errorOf(const QSqlQuery& q) const {
    ProviderError p = EngineDriver::errorOf(q.lastError());
    const Diagnostic d = diagnosticOf(SQL_HANDLE_STMT, statementOf(q));
    if (!d.state.isEmpty()) {
        p.sqlState = d.state;
        p.nativeError = d.native;
    }
    return p;
}

} // namespace kv

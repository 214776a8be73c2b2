#include "data/Connection.h"

#include "app/RunTimeError.h"
#include "data/Recordset.h"

#include <QAtomicInt>
#include <QSqlQuery>

namespace kv {

namespace {
QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("kvconn_%1").arg(counter.fetchAndAddRelaxed(1));
}
} // namespace

Connection::Connection() : m_name(nextConnectionName()) {}

Connection::~Connection() {
    close();
}

std::optional<Engine> Connection::engine() const {
    if (m_driver) return m_driver->engine();
    if (m_engineOverride) return m_engineOverride;
    return engineForProvider(ConnectionString(m_connectionString).value(QStringLiteral("Provider")));
}

void Connection::open(const QString& connectionString, const QString& user, const QString& password, int) {
    if (m_open) fail(ProviderError{3705, QStringLiteral("Operation is not allowed when the object is open."), {}, 0, {}});
    m_errors.clear();
    m_connectionString = connectionString;
    const ConnectionString cs(connectionString);
    const auto e = m_engineOverride ? m_engineOverride : engineForProvider(cs.value(QStringLiteral("Provider")));
    std::unique_ptr<EngineDriver> driver = e ? EngineDriver::create(*e, m_odbcDriver) : nullptr;
    if (!driver)
        fail(ProviderError{adoerr::ProviderNotFound,
                           QStringLiteral("Provider cannot be found. It may not be properly installed."),
                           QString(), 0, cs.value(QStringLiteral("Provider"))});
    // Explicit credentials win over the string's, as in the classic Open(string, user, pwd).
    QString effective = connectionString;
    if (!user.isEmpty()) effective += QStringLiteral(";User Id=") + user;
    if (!password.isEmpty()) effective += QStringLiteral(";Password=") + password;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver->qtDriver(), m_name);
        try {
            driver->open(db, ConnectionString(effective));
        } catch (const ProviderError& pe) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            fail(pe);
        }
    }
    m_driver = std::move(driver);
    m_open = true;
    m_reading = 0;
    // Properties set before the open hold for the new connection as well.
    if (m_isolationSet) setIsolationLevel(m_isolationLevel);
    if (m_timeoutSet) setCommandTimeout(m_commandTimeout);
}

void Connection::close() {
    for (Recordset* rs : QSet<Recordset*>(m_recordsets)) rs->close();
    m_recordsets.clear();
    m_prepared.clear();
    m_translated.clear();
    m_columns.clear();
    if (!m_driver) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (m_inTransaction) db.rollback();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_driver.reset();
    m_open = false;
    m_inTransaction = false;
}

void Connection::requireOpen() const {
    if (!m_open)
        throw RunTimeError::numbered(err::ObjectClosed);
}

QSqlDatabase Connection::database() const {
    requireOpen();
    return QSqlDatabase::database(m_name, false);
}

const EngineDriver& Connection::driver() const {
    requireOpen();
    return *m_driver;
}

QSqlQuery& Connection::preparedStatement(const QString& sql) {
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        QSqlQuery q(database());
        q.setForwardOnly(true); // rows are read once, in order: none are kept by the driver
        if (!q.prepare(sql)) fail(q);
        m_driver->prepared(q, statementTimeout());
        it = m_prepared.insert(sql, q);
    }
    return *it;
}

QSqlQuery& Connection::preparedStatement(const QString& sql, const std::function<QString(const QString&)>& translate) {
    auto it = m_translated.constFind(sql);
    if (it == m_translated.constEnd()) it = m_translated.insert(sql, translate(sql));
    return preparedStatement(*it);
}

void Connection::fail(const QSqlQuery& q) {
    fail(m_driver ? m_driver->errorOf(q) : ProviderError{adoerr::Failure, q.lastError().text(), {}, 0, {}});
}

void Connection::beginReading() {
    requireIdle();
    ++m_reading;
}

void Connection::endReading() {
    if (m_reading > 0) --m_reading;
}

void Connection::requireIdle() const {
    if (m_reading > 0)
        throw RunTimeError(adoerr::StatementBusy,
                           err::textOf(adoerr::StatementBusy) +
                               QStringLiteral(" Program error: a statement was run while another one on the same "
                                              "connection still had unread results (the connection is busy)."),
                           QStringLiteral("Connection"));
}

void Connection::fail(const QSqlError& e) {
    fail(m_driver ? m_driver->errorOf(e) : ProviderError{adoerr::Failure, e.text(), {}, 0, {}});
}

void Connection::fail(const ProviderError& e) {
    m_errors.clear();
    m_errors.add(e);
    throw RunTimeError(e.number, e.description, e.source.isEmpty() ? QStringLiteral("Provider") : e.source);
}

void Connection::setDefaultDatabase(const QString& name) {
    m_defaultDatabase = name;
    if (m_open) {
        QSqlDatabase db = database();
        m_driver->applyDefaultDatabase(db, name);
    }
}

void Connection::setCommandTimeout(int seconds) {
    m_commandTimeout = seconds;
    m_timeoutSet = true;
    if (m_open) {
        QSqlDatabase db = database();
        m_driver->applyCommandTimeout(db, seconds);
    }
}

void Connection::setIsolationLevel(int level) {
    m_isolationLevel = level;
    m_isolationSet = true;
    if (m_open) {
        QSqlDatabase db = database();
        m_driver->applyIsolationLevel(db, level);
    }
}

void Connection::execute(const QString& sql, long* recordsAffected, int) {
    requireOpen();
    requireIdle();
    StatementGuard guard(*this);
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!m_driver->exec(q, m_driver->translate(sql), statementTimeout())) fail(q);
    guard.succeeded();
    if (recordsAffected) *recordsAffected = q.numRowsAffected();
    q.finish();
}

std::unique_ptr<Recordset> Connection::openSchema(int kind) {
    requireOpen();
    if (kind != 20)
        fail(ProviderError{err::NotSupported, QStringLiteral("Schema kind %1 is not supported.").arg(kind), {}, 0, {}});
    QList<QVariantList> rows;
    QSqlDatabase db = database();
    for (const auto& [name, type] : m_driver->tables(db))
        rows.append({QVariant(), QVariant(), name, type});
    auto rs = std::make_unique<Recordset>();
    rs->openRows({QStringLiteral("TABLE_CATALOG"), QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME"),
                  QStringLiteral("TABLE_TYPE")},
                 rows);
    return rs;
}

void Connection::beginTrans() {
    requireOpen();
    QSqlDatabase db = database();
    if (!m_driver->beginTransaction(db)) fail(db.lastError());
    m_inTransaction = true;
}

void Connection::commitTrans() {
    requireOpen();
    QSqlDatabase db = database();
    if (!db.commit()) fail(db.lastError());
    m_inTransaction = false;
}

void Connection::rollbackTrans() {
    requireOpen();
    QSqlDatabase db = database();
    m_inTransaction = false;
    if (!db.rollback()) fail(db.lastError());
}

void Connection::control(const QString& sql) {
    requireOpen();
    requireIdle();
    const auto e = engine();
    if (e == Engine::Sqlite || e == Engine::Jet) { // parsed once: a savepoint per document adds up
        QSqlQuery& q = preparedStatement(sql);
        if (!q.exec()) fail(q);
        q.finish();
        return;
    }
    QSqlQuery q(database());
    if (!q.exec(sql)) fail(q);
}

void Connection::savepoint(const QString& name) {
    control(engine() == Engine::SqlServer ? QStringLiteral("SAVE TRANSACTION ") + name : QStringLiteral("SAVEPOINT ") + name);
}

void Connection::rollbackToSavepoint(const QString& name) {
    control(engine() == Engine::SqlServer ? QStringLiteral("ROLLBACK TRANSACTION ") + name
                                          : QStringLiteral("ROLLBACK TO SAVEPOINT ") + name);
}

void Connection::releaseSavepoint(const QString& name) {
    // SQL Server and Oracle release a savepoint only with the transaction.
    const auto e = engine();
    if (e != Engine::SqlServer && e != Engine::Oracle) control(QStringLiteral("RELEASE SAVEPOINT ") + name);
}

namespace {
QString lockStatement(Engine e, const QString& name, bool take) {
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    quoted = QLatin1Char('\'') + quoted + QLatin1Char('\'');
    switch (e) {
    case Engine::PostgreSql:
        return QStringLiteral("SELECT pg_advisory_%1(hashtext(%2))")
            .arg(take ? QStringLiteral("lock") : QStringLiteral("unlock"), quoted);
    case Engine::SqlServer:
        return take ? QStringLiteral("EXEC sp_getapplock @Resource = %1, @LockMode = 'Exclusive', "
                                     "@LockOwner = 'Session', @LockTimeout = -1")
                          .arg(quoted)
                    : QStringLiteral("EXEC sp_releaseapplock @Resource = %1, @LockOwner = 'Session'").arg(quoted);
    case Engine::Oracle:
        // Held by the session, not released by a commit.
        return QStringLiteral("DECLARE h VARCHAR2(128); r INTEGER; BEGIN DBMS_LOCK.ALLOCATE_UNIQUE(%1, h); %2 END;")
            .arg(quoted, take ? QStringLiteral("r := DBMS_LOCK.REQUEST(h, DBMS_LOCK.X_MODE, DBMS_LOCK.MAXWAIT, FALSE);")
                              : QStringLiteral("r := DBMS_LOCK.RELEASE(h);"));
    case Engine::Sqlite:
    case Engine::Jet:
        break;
    }
    return QString();
}
} // namespace

void Connection::lockNamed(const QString& name) {
    const QString sql = lockStatement(*engine(), name, true);
    if (!sql.isEmpty()) control(sql);
}

void Connection::unlockNamed(const QString& name) {
    const QString sql = lockStatement(*engine(), name, false);
    if (!sql.isEmpty()) control(sql);
}

StatementGuard::StatementGuard(Connection& c) : m_c(c) {
    if (c.state() && c.inTransaction() && c.engine() == Engine::PostgreSql) {
        QSqlQuery q(c.database());
        m_active = q.exec(QStringLiteral("SAVEPOINT kv_statement"));
    }
}

StatementGuard::~StatementGuard() {
    if (!m_active || !m_c.state()) return;
    QSqlQuery q(m_c.database());
    q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT kv_statement"));
}

void StatementGuard::succeeded() {
    if (!m_active) return;
    m_active = false;
    QSqlQuery q(m_c.database());
    q.exec(QStringLiteral("RELEASE SAVEPOINT kv_statement"));
}

Transaction::~Transaction() {
    if (!m_done && m_c.state() && m_c.inTransaction()) {
        try {
            m_c.rollbackTrans();
        } catch (...) {
            // A lost connection has already discarded the transaction on the server.
        }
    }
}

void Transaction::commit() {
    m_c.commitTrans();
    m_done = true;
}

} // namespace kv

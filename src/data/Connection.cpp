#include "data/Connection.h"

#include "app/RunTimeError.h"
#include "data/LockStatements.h"
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

Connection::Connection() : m_name(nextConnectionName()), m_lockTimeout(kDefaultLockTimeoutSeconds) {}

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
    setLockTimeout(m_lockTimeout);
}

bool Connection::lost() const {
    return m_open && (m_lost || !QSqlDatabase::database(m_name, false).isOpen());
}

void Connection::reopen() {
    const QString cs = m_connectionString;
    close();
    open(cs);
    if (!m_defaultDatabase.trimmed().isEmpty()) setDefaultDatabase(m_defaultDatabase);
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
    m_lost = false;
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
    ProviderError shown = e;
    const std::optional<Engine> en = engine();
    const QString what = en == Engine::Jet ? QStringLiteral("the local sync store") : QStringLiteral("the ERP database");
    if (m_open && isLostConnection(e)) m_lost = true;
    if (en && isLockTimeout(*en, e)) {
        shown.description = lockedDescription(*en, m_lockTimeout, e.description);
    } else if (shown.description.trimmed().isEmpty()) {
        // A driver that lost its server answers every later statement with no words at all.
        shown.description =
            lost() ? QStringLiteral("the connection to %1 was lost (its server stopped or restarted, or the network "
                                    "failed): it is opened again at the next command")
                         .arg(what)
                   : QStringLiteral("%1 refused the statement and its driver (%2) gave no reason%3")
                         .arg(what, m_driver ? m_driver->qtDriver() : QStringLiteral("none"),
                              e.sqlState.isEmpty() ? QString() : QStringLiteral(" (state %1)").arg(e.sqlState));
    } else if (lost() && isLostConnection(e)) {
        shown.description += QStringLiteral(" - the connection to %1 is opened again at the next command").arg(what);
    }
    m_errors.clear();
    m_errors.add(shown);
    throw RunTimeError(shown.number, shown.description, shown.source.isEmpty() ? QStringLiteral("Provider") : shown.source);
}

void Connection::setDefaultDatabase(const QString& name) {
    m_defaultDatabase = name;
    if (m_open) {
        QSqlDatabase db = database();
        m_driver->applyDefaultDatabase(db, name, statementTimeout());
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

void Connection::setLockTimeout(int seconds) {
    m_lockTimeout = qMax(0, seconds);
    if (!m_open) return;
    QSqlDatabase db = database();
    m_driver->applyLockTimeout(db, m_lockTimeout, statementTimeout());
}

bool Connection::run(QSqlQuery& q, const QString& sql) const {
    return m_driver->exec(q, sql, statementTimeout());
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
    for (const auto& [name, type] : m_driver->tables(db, statementTimeout()))
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
    QSqlError why;
    if (!m_driver->beginTransaction(db, why)) fail(why);
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
    QSqlDatabase db = database();
    ProviderError why;
    if (!m_driver->control(db, sql, statementTimeout(), nullptr, why)) fail(why);
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

bool Connection::tryLockNamed(const QString& name) {
    const Engine e = *engine();
    const QString sql = tryLockStatement(e, name);
    if (sql.isEmpty()) return true;
    requireOpen();
    requireIdle();
    QSqlDatabase db = database();
    ProviderError why;
    int taken = 0;
    if (!m_driver->control(db, sql, statementTimeout(), &taken, why)) {
        if (e == Engine::Oracle && why.nativeError == kOracleLockBusy) return false;
        fail(why);
    }
    return taken == 1;
}

void Connection::unlockNamed(const QString& name) {
    const QString sql = unlockStatement(*engine(), name);
    if (!sql.isEmpty()) control(sql);
}

bool Connection::tryControl(const QString& sql) {
    QSqlDatabase db = database();
    ProviderError ignored;
    return m_driver->control(db, sql, statementTimeout(), nullptr, ignored);
}

StatementGuard::StatementGuard(Connection& c) : m_c(c) {
    if (c.state() && c.inTransaction() && c.engine() == Engine::PostgreSql)
        m_active = c.tryControl(QStringLiteral("SAVEPOINT kv_statement"));
}

StatementGuard::~StatementGuard() {
    if (m_active && m_c.state()) m_c.tryControl(QStringLiteral("ROLLBACK TO SAVEPOINT kv_statement"));
}

void StatementGuard::succeeded() {
    if (!m_active) return;
    m_active = false;
    m_c.tryControl(QStringLiteral("RELEASE SAVEPOINT kv_statement"));
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

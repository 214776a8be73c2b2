#include "cradle/SqliteFile.h"

#include "app/RunTimeError.h"
#include "cradle/HotSync.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <algorithm>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <sqlite3.h>

namespace kv::cradle {

namespace {

const QString kSource = QStringLiteral("kvhandheld");
// Another process (the program, a capture) may hold the file for a moment.
constexpr int kBusyTimeoutMs = 5000;

QString engineMessage(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

} // namespace

Database::Database(const QString& path, const QString& what, Trust trust, std::chrono::seconds workBudget)
    : m_path(QFileInfo(path).absoluteFilePath()), m_what(what), m_trust(trust) {
    if (!QFileInfo(path).isFile())
        throw RunTimeError(storeerr::FileNotFound, QStringLiteral("There is no %1 %2.").arg(what, m_path),
                           kSource);
    const int rc =
        sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    const auto refuse = [&](const RunTimeError& error) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw error;
    };
    if (rc == SQLITE_OK && trust == Trust::Untrusted) {
        m_budget = std::make_unique<WorkBudget>(workBudget);
        try {
            guardConnection(m_db, m_budget.get());
        } catch (const RunTimeError& e) {
            refuse(e);
        }
    }
    // The header is read by the first statement only: that is where "not a database" shows, and
    // where the journal of a sync that was killed is rolled back. The schema is loaded here too.
    if (rc != SQLITE_OK ||
        sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (m_budget && m_budget->ended()) refuse(m_budget->error());
        refuse(RunTimeError(storeerr::CannotOpen,
                            QStringLiteral("The %1 %2 cannot be opened as an SQLite database: %3.")
                                .arg(what, m_path, engineMessage(m_db)),
                            kSource));
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (trust == Trust::Untrusted) {
        try {
            exec(QStringLiteral("PRAGMA trusted_schema = OFF"));
            // The file's header may ask for any page cache; a connection's default is enough.
            exec(QStringLiteral("PRAGMA main.cache_size = -2000"));
            limitGrowth(QStringLiteral("main"), defaultGrowthLimit(QFileInfo(m_path).size()));
        } catch (const RunTimeError& e) {
            refuse(e);
        }
    }
}

Database::~Database() {
    sqlite3_close(m_db);
}

void Database::limitGrowth(const QString& schema, qint64 maxBytes) const {
    const QString name = quoteIdentifier(schema);
    const qint64 pageSize = value(QStringLiteral("PRAGMA %1.page_size").arg(name)).toLongLong();
    if (pageSize <= 0) fail(QStringLiteral("Cannot read the page size"));
    exec(QStringLiteral("PRAGMA %1.max_page_count = %2")
             .arg(name)
             .arg(std::max<qint64>(1, maxBytes / pageSize)));
}

void Database::throwIfWorkEnded() const {
    if (m_budget && m_budget->ended()) throw m_budget->error();
}

int Database::lastErrorCode() const {
    return sqlite3_extended_errcode(m_db);
}

void Database::fail(const QString& doing) const {
    throwIfWorkEnded();
    const long number = m_trust == Trust::Untrusted && refusedByContent(lastErrorCode())
                            ? syncerr::ContentRefused
                            : err::ProviderError;
    throw RunTimeError(number, QStringLiteral("%1 (%2 %3): %4").arg(doing, m_what, m_path, lastError()),
                       kSource);
}

void Database::exec(const QString& sql) const {
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("Cannot run \"%1\"").arg(sql));
}

QVariant Database::value(const QString& sql, const QVariantList& binds) const {
    Statement st(*this, sql);
    st.bindAll(binds);
    return st.next() ? st.value(0) : QVariant();
}

QString Database::lastError() const {
    return engineMessage(m_db);
}

qint64 Database::changes() const {
    return sqlite3_changes64(m_db);
}

Statement::Statement(const Database& db, const QString& sql) : m_db(db), m_sql(sql) {
    if (sqlite3_prepare_v2(db.handle(), sql.toUtf8().constData(), -1, &m_stmt, nullptr) != SQLITE_OK)
        db.fail(QStringLiteral("Cannot prepare \"%1\"").arg(sql));
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

void Statement::bind(int index, const QVariant& v) {
    int rc = SQLITE_OK;
    if (v.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(m_stmt, index, v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, index, v.toDouble());
            break;
        default: {
            const QByteArray text = v.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK)
        m_db.fail(QStringLiteral("Cannot bind parameter %1 of \"%2\"").arg(index).arg(m_sql));
}

void Statement::bindAll(const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values.at(i));
}

bool Statement::next() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    m_db.fail(QStringLiteral("Cannot run \"%1\"").arg(m_sql));
}

void Statement::run() {
    while (next()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QVariant Statement::value(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(m_stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_stmt, column);
    case SQLITE_NULL:
        return QVariant();
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                                 sqlite3_column_bytes(m_stmt, column));
    }
}

Transaction::Transaction(const Database& db) : m_db(db) {
    db.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction() {
    if (m_open) sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    if (sqlite3_exec(m_db.handle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        // A failed COMMIT (busy, disk full) can leave the transaction open: the destructor
        // rolls it back.
        m_db.fail(QStringLiteral("Cannot commit"));
    }
    m_open = false;
}

StoreProblem storeProblems(const Database& db) {
    QList<StoreGap> gaps;
    try {
        gaps = verifyStoreTables(db.handle(), db.trust());
    } catch (const RunTimeError&) {
        db.throwIfWorkEnded();
        throw;
    }
    QStringList missing, refused;
    for (const StoreGap& g : gaps)
        (g.kind == StoreGap::Missing ? missing : refused) << g.text();
    const QString subject = QStringLiteral("The %1 %2").arg(db.what(), db.path());
    const QString lacks = missing.join(QStringLiteral(", "));
    if (refused.isEmpty())
        return missing.isEmpty() ? StoreProblem{}
                                 : StoreProblem{syncerr::TablesMissing, subject + QStringLiteral(" lacks ") +
                                                                            lacks + QLatin1Char('.')};
    QString text = subject + QStringLiteral(" cannot be synced: ") + refused.join(QStringLiteral("; "));
    if (!missing.isEmpty()) text += QStringLiteral("; it lacks ") + lacks;
    return {syncerr::SchemaRefused,
            text + QStringLiteral(" (a sync copies only real tables, and runs no trigger of a handheld's).")};
}

} // namespace kv::cradle

#include "data/RowStream.h"

#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "data/LockStatements.h"

#include <optional>
#include <QDateTime>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>
#include <sqlite3.h>

namespace kv {

namespace {

[[noreturn]] void readFailure(const QString& what) {
    throw RunTimeError(adoerr::ErrorsInCommand, what, QStringLiteral("RowStream"));
}

// The stream's hold on its connection: from the open until the last row is read (or the
// stream goes), no other statement may run there.
class ReadingHold {
public:
    explicit ReadingHold(Connection& c) : m_c(c) { m_c.beginReading(); }
    ~ReadingHold() { done(); }
    void done() {
        if (m_held) m_c.endReading();
        m_held = false;
    }

private:
    Connection& m_c;
    bool m_held = true;
};

// An SQLite source read with the engine's own statement, on the connection's handle.
class SqliteRowStream : public RowStream {
public:
    SqliteRowStream(Connection& c, sqlite3* db, const QString& sql) : m_connection(c), m_reading(c) {
        const QByteArray text = sql.toUtf8();
        if (const int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, nullptr);
            rc != SQLITE_OK) {
            const QString why = QString::fromUtf8(sqlite3_errmsg(db));
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            fail(rc, why);
        }
        for (int i = 0; i < sqlite3_column_count(m_stmt); ++i)
            m_columns << QString::fromUtf8(sqlite3_column_name(m_stmt, i));
        m_db = db;
    }
    ~SqliteRowStream() override { sqlite3_finalize(m_stmt); }
    QStringList columns() const override { return m_columns; }
    bool next() override {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) return true;
        m_reading.done();
        if (rc == SQLITE_DONE) return false;
        fail(rc, QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    void bind(sqlite3_stmt* destination, int parameter, int column) const override {
        sqlite3_bind_value(destination, parameter, sqlite3_column_value(m_stmt, column));
    }
    QVariant value(int column) const override {
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_NULL: return QVariant();
        case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
        case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_stmt, column));
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
            const int size = sqlite3_column_bytes(m_stmt, column);
            return QVariant(QByteArray(data, size));
        }
        default: {
            // The text first, then its length in that form.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
            return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column)));
        }
        }
    }

private:
    // A file another program keeps locked is named as such, as the connection names it.
    [[noreturn]] void fail(int rc, const QString& why) const {
        ProviderError e;
        e.nativeError = rc;
        e.description = why;
        const Engine engine = m_connection.engine().value_or(Engine::Sqlite);
        readFailure(isLockTimeout(engine, e) ? lockedDescription(engine, m_connection.lockTimeout(), why) : why);
    }
    Connection& m_connection;
    ReadingHold m_reading;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    QStringList m_columns;
};

// Any other engine through Qt SQL. On PostgreSQL the rows come through a server-side cursor in
// batches, so a million rows never sit in memory at once.
class QueryRowStream : public RowStream {
public:
    QueryRowStream(Connection& c, const QString& sql) : m_connection(c), m_query(c.database()) {
        c.requireIdle();
        m_query.setForwardOnly(true);
        m_query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        m_cursor = c.engine() == Engine::PostgreSql;
        if (m_cursor) {
            // A transaction of the stream's own: a statement that fails in it (a missing view, a
            // revoked table, a time-out) is rolled back with it, even from here, so the
            // connection is sound for the next step.
            m_transaction.emplace(c);
            QSqlQuery declare(c.database());
            if (!c.run(declare, QStringLiteral("DECLARE kv_rows NO SCROLL CURSOR FOR ") + sql)) fail(declare);
            fetchBatch();
        } else if (!c.run(m_query, sql)) {
            fail(m_query);
        }
        m_reading.emplace(c);
        const QSqlRecord r = m_query.record();
        for (int i = 0; i < r.count(); ++i) m_columns << r.fieldName(i);
    }
    // Only reads happened: the transaction's rollback (by its own destructor, after the query's)
    // closes the cursor and is all it does.
    ~QueryRowStream() override {
        m_query.finish();
        m_reading.reset();
    }
    QStringList columns() const override { return m_columns; }
    bool next() override {
        for (;;) {
            if (m_query.next()) {
                ++m_inBatch;
                return true;
            }
            if (m_query.lastError().isValid()) fail(m_query);
            if (!m_cursor || m_inBatch < kBatch) {
                m_query.finish();
                if (m_reading) m_reading->done();
                return false;
            }
            fetchBatch();
        }
    }
    void bind(sqlite3_stmt* destination, int parameter, int column) const override {
        bindValue(destination, parameter, m_query.value(column));
    }
    QVariant value(int column) const override { return m_query.value(column); }

private:
    // Wide enough that the round trips of the fetches stay a small part of a large copy, small
    // enough that a batch of the widest rows stays a few megabytes.
    static constexpr int kBatch = 20000;
    void fetchBatch() {
        m_inBatch = 0;
        if (!m_connection.run(m_query, QStringLiteral("FETCH FORWARD %1 FROM kv_rows").arg(kBatch))) fail(m_query);
    }
    [[noreturn]] void fail(const QSqlQuery& q) { m_connection.fail(q); }

    Connection& m_connection;
    std::optional<Transaction> m_transaction; // destroyed after the query, whose cursor it ends
    QSqlQuery m_query;
    QStringList m_columns;
    bool m_cursor = false;
    int m_inBatch = 0;
    std::optional<ReadingHold> m_reading;
};

} // namespace

void bindValue(sqlite3_stmt* st, int p, const QVariant& v) {
    if (!v.isValid() || v.isNull()) {
        sqlite3_bind_null(st, p);
        return;
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool: sqlite3_bind_int(st, p, v.toBool() ? 1 : 0); return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: sqlite3_bind_int64(st, p, v.toLongLong()); return;
    case QMetaType::Double:
    case QMetaType::Float: sqlite3_bind_double(st, p, v.toDouble()); return;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        sqlite3_bind_blob(st, p, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::QDate: {
        const QByteArray t = v.toDate().toString(Qt::ISODate).toUtf8();
        sqlite3_bind_text(st, p, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::QDateTime: {
        const QByteArray t = v.toDateTime().toString(Qt::ISODate).toUtf8();
        sqlite3_bind_text(st, p, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        return;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        sqlite3_bind_text(st, p, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        return;
    }
    }
}

std::unique_ptr<RowStream> RowStream::open(Connection& connection, const QString& statement) {
    QSqlDatabase db = connection.database();
    const auto engine = connection.engine();
    if (engine == Engine::Sqlite || engine == Engine::Jet) {
        const QVariant h = db.driver()->handle();
        if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
            return std::make_unique<SqliteRowStream>(connection, *static_cast<sqlite3* const*>(h.constData()),
                                                     statement);
    }
    return std::make_unique<QueryRowStream>(connection, statement);
}

} // namespace kv

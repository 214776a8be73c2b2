#include "ErpWriter.h"

#include "app/RunTimeError.h"
#include "DemoErp.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace kv::erp {

namespace {

const QString kSource = QStringLiteral("kverp");

[[noreturn]] void refused(const QString& message, const QString& sql) {
    QString head = sql.simplified();
    if (head.size() > 160) head = head.left(160) + QStringLiteral(" ...");
    throw RunTimeError(erperr::Refused, QStringLiteral("%1 (in: %2)").arg(message, head), kSource);
}

void checkArity(const Row& row, qsizetype columns, const QString& object) {
    if (row.size() != columns)
        throw RunTimeError(erperr::Refused,
                           QStringLiteral("a row of %1 values for the %2 columns of %3")
                               .arg(row.size())
                               .arg(columns)
                               .arg(object),
                           kSource);
}

QString dateTimeText(const QVariant& v) {
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
    return v.toString();
}

QString insertPrefix(const ErpObject& object) {
    QStringList names;
    for (const ErpColumn& c : object.writtenColumns())
        names << c.name;
    return QStringLiteral("INSERT INTO %1 (%2) ").arg(object.name, names.join(QLatin1Char(',')));
}

QList<ColumnType> writtenTypes(const ErpObject& object) {
    QList<ColumnType> types;
    for (const ErpColumn& c : object.writtenColumns())
        types << c.type;
    return types;
}

class SqliteWriter : public ErpWriter {
public:
    explicit SqliteWriter(const QString& path) {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_close(m_db);
            m_db = nullptr;
            throw RunTimeError(erperr::CannotConnect,
                               QStringLiteral("Cannot create %1: %2").arg(path, message), kSource);
        }
        // A file nobody sees until it is complete: no journal on disk, no waiting for the disk.
        execute(QStringLiteral("PRAGMA journal_mode = MEMORY"));
        execute(QStringLiteral("PRAGMA synchronous = OFF"));
        execute(QStringLiteral("PRAGMA cache_size = -65536"));
        execute(QStringLiteral("BEGIN"));
    }
    ~SqliteWriter() override {
        sqlite3_finalize(m_insert);
        if (m_db && !m_committed) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }

    void execute(const QString& sql) override {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK) return;
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        refused(text, sql);
    }

    void beginRows(const ErpObject& object) override {
        m_object = object.name;
        m_types = writtenTypes(object);
        QStringList marks(m_types.size(), QStringLiteral("?"));
        m_sql = insertPrefix(object) + QStringLiteral("VALUES (") + marks.join(QLatin1Char(',')) +
                QLatin1Char(')');
        if (sqlite3_prepare_v2(m_db, m_sql.toUtf8().constData(), -1, &m_insert, nullptr) != SQLITE_OK)
            refused(QString::fromUtf8(sqlite3_errmsg(m_db)), m_sql);
    }

    void addRow(const Row& row) override {
        checkArity(row, m_types.size(), m_object);
        for (int i = 0; i < row.size(); ++i)
            bind(i + 1, row.at(i), m_types.at(i));
        if (sqlite3_step(m_insert) != SQLITE_DONE) refused(QString::fromUtf8(sqlite3_errmsg(m_db)), m_sql);
        sqlite3_reset(m_insert);
    }

    void endRows() override {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
    }

    QStringList existingObjects(const QStringList& names) override {
        QStringList found;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(m_db, "SELECT name FROM sqlite_master", -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            if (names.contains(name, Qt::CaseInsensitive)) found << name;
        }
        sqlite3_finalize(st);
        return found;
    }

    void commit() override {
        execute(QStringLiteral("COMMIT"));
        m_committed = true;
    }

private:
    void bind(int i, const QVariant& v, ColumnType type) {
        if (v.isNull()) {
            sqlite3_bind_null(m_insert, i);
            return;
        }
        switch (type) {
        case ColumnType::SmallInt:
        case ColumnType::Integer:
        case ColumnType::Flag:
        case ColumnType::Identity:
            sqlite3_bind_int64(m_insert, i, v.toLongLong());
            return;
        case ColumnType::Double:
        case ColumnType::Currency:
            sqlite3_bind_double(m_insert, i, v.toDouble());
            return;
        case ColumnType::Binary: {
            const QByteArray b = v.toByteArray();
            sqlite3_bind_blob(m_insert, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            return;
        }
        case ColumnType::Text:
        case ColumnType::Code:
        case ColumnType::Memo:
        case ColumnType::DateTime: {
            const QByteArray u = (type == ColumnType::DateTime ? dateTimeText(v) : v.toString()).toUtf8();
            sqlite3_bind_text(m_insert, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
            return;
        }
        }
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    bool m_committed = false;
    QString m_object;
    QString m_sql;
    QList<ColumnType> m_types;
};

QString quoted(QString s) {
    s.remove(QChar(0)); // PostgreSQL text cannot hold NUL
    return QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

// A batch of rows as one INSERT ... SELECT over unnest(), one array literal per column: the
// server reads arrays far faster than a VALUES list of the same rows.
class PostgresWriter : public ErpWriter {
public:
    static constexpr int kBatch = 1000;

    explicit PostgresWriter(const ConnInfo& info) {
        static QAtomicInt counter;
        m_name = QStringLiteral("kverp_%1").arg(counter.fetchAndAddRelaxed(1));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        if (!info.host.isEmpty()) db.setHostName(info.host);
        if (!info.port.isEmpty()) db.setPort(info.port.toInt());
        db.setDatabaseName(info.dbname);
        db.setUserName(info.user);
        db.setPassword(info.password);
        QStringList options = info.options;
        if (!info.hasOption(QStringLiteral("connect_timeout")))
            options << QStringLiteral("connect_timeout=15");
        db.setConnectOptions(options.join(QLatin1Char(';')));
        if (!db.open())
            throw RunTimeError(erperr::CannotConnect,
                               QStringLiteral("Cannot connect to PostgreSQL (%1): %2")
                                   .arg(info.describe(), db.lastError().text().trimmed()),
                               kSource);
        // The literals double their quotes and nothing else, which is right only with this on.
        execute(QStringLiteral("SET standard_conforming_strings = on"));
        execute(QStringLiteral("SET client_min_messages = warning"));
        if (!db.transaction()) refused(db.lastError().text(), QStringLiteral("BEGIN"));
    }
    ~PostgresWriter() override {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isOpen() && !m_committed) db.rollback();
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }

    void execute(const QString& sql) override {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        if (!q.exec(sql)) refused(q.lastError().databaseText().trimmed(), sql);
    }

    void beginRows(const ErpObject& object) override {
        m_object = object.name;
        m_types = writtenTypes(object);
        m_prefix = insertPrefix(object);
        m_columns = QStringList(m_types.size());
        m_count = 0;
    }

    void addRow(const Row& row) override {
        checkArity(row, m_types.size(), m_object);
        for (int i = 0; i < row.size(); ++i) {
            QString& column = m_columns[i];
            if (m_count) column += QLatin1Char(',');
            appendArrayElement(column, row.at(i), m_types.at(i));
        }
        if (++m_count == kBatch) flush();
    }

    void endRows() override { flush(); }

    QStringList existingObjects(const QStringList& names) override {
        QStringList literals;
        for (const QString& n : names)
            literals << quoted(n.toLower());
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        const QString sql =
            QStringLiteral("SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                           "WHERE n.nspname = current_schema() AND c.relname IN (%1) ORDER BY 1")
                .arg(literals.join(QLatin1Char(',')));
        if (!q.exec(sql)) refused(q.lastError().databaseText().trimmed(), sql);
        QStringList found;
        while (q.next())
            found << q.value(0).toString();
        return found;
    }

    void commit() override {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (!db.commit()) refused(db.lastError().text(), QStringLiteral("COMMIT"));
        m_committed = true;
    }

private:
    void flush() {
        if (m_count == 0) return;
        QString sql = m_prefix;
        sql += QStringLiteral("SELECT * FROM unnest(");
        for (int i = 0; i < m_columns.size(); ++i) {
            if (i) sql += QLatin1Char(',');
            sql += QStringLiteral("'{") + m_columns.at(i) + QStringLiteral("}'::") +
                   postgresArrayType(m_types.at(i));
            m_columns[i].clear();
        }
        sql += QLatin1Char(')');
        m_count = 0;
        execute(sql);
    }

    QString m_name;
    bool m_committed = false;
    QString m_object;
    QString m_prefix;
    QStringList m_columns; // the array elements gathered so far, one text per column
    int m_count = 0;
    QList<ColumnType> m_types;
};

} // namespace

QString postgresArrayType(ColumnType type) {
    switch (type) {
    case ColumnType::SmallInt:
    case ColumnType::Integer:
    case ColumnType::Flag:
    case ColumnType::Identity:
        return QStringLiteral("bigint[]");
    case ColumnType::Double:
        return QStringLiteral("float8[]");
    case ColumnType::Currency:
        return QStringLiteral("numeric[]");
    case ColumnType::DateTime:
        return QStringLiteral("timestamp[]");
    case ColumnType::Binary:
        return QStringLiteral("bytea[]");
    case ColumnType::Text:
    case ColumnType::Code:
    case ColumnType::Memo:
        return QStringLiteral("text[]");
    }
    return QStringLiteral("text[]");
}

void appendArrayElement(QString& out, const QVariant& v, ColumnType type) {
    if (v.isNull()) {
        out += QLatin1String("NULL");
        return;
    }
    QString text;
    switch (type) {
    case ColumnType::SmallInt:
    case ColumnType::Integer:
    case ColumnType::Flag:
    case ColumnType::Identity:
        out += QString::number(v.toLongLong());
        return;
    case ColumnType::Double:
        out += QString::number(v.toDouble(), 'g', 17);
        return;
    case ColumnType::Currency:
        out += QString::number(v.toDouble(), 'f', 4);
        return;
    case ColumnType::DateTime:
        text = dateTimeText(v);
        break;
    case ColumnType::Binary:
        text = QStringLiteral("\\x") + QString::fromLatin1(v.toByteArray().toHex());
        break;
    case ColumnType::Text:
    case ColumnType::Code:
    case ColumnType::Memo:
        text = v.toString();
        break;
    }
    // Quoted, so "NULL", blanks, braces and commas stay text; inside the array a backslash
    // takes the next character as it is; the whole array is one SQL literal, so ' is doubled.
    out += QLatin1Char('"');
    for (const QChar c : std::as_const(text)) {
        if (c.isNull()) continue; // PostgreSQL text cannot hold NUL
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        else if (c == QLatin1Char('\''))
            out += QLatin1Char('\'');
        out += c;
    }
    out += QLatin1Char('"');
}

std::unique_ptr<ErpWriter> openSqliteWriter(const QString& path) {
    return std::make_unique<SqliteWriter>(path);
}

std::unique_ptr<ErpWriter> openPostgresWriter(const ConnInfo& info) {
    return std::make_unique<PostgresWriter>(info);
}

} // namespace kv::erp

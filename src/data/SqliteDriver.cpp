#include "data/SqliteDriver.h"

#include "data/Dialect.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <QUrl>
#include <sqlite3.h>

namespace kv {

namespace {
ProviderError openFailure(const QString& state, const QString& description) {
    ProviderError p;
    p.number = adoerr::Failure;
    p.sqlState = state;
    p.nativeError = state.toInt();
    p.description = description;
    p.source = QStringLiteral("QSQLITE");
    return p;
}

constexpr int kBusyTimeoutMs = 10000;

// A writer waiting for another's lock looks again every 2 ms: SQLite's own handler sleeps 100 ms
// at a time once it has waited a while, and imports queued on one ERP one after another would
// each leave the file idle for most of that.
int waitBriefly(void* bound, int count) {
    if (qint64(count) * 2 >= *static_cast<const int*>(bound)) return 0;
    sqlite3_sleep(2);
    return 1;
}

sqlite3_stmt* statementOf(const QSqlQuery& query) {
    const QVariant v = query.result() ? query.result()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3_stmt*") != 0) return nullptr;
    return *static_cast<sqlite3_stmt* const*>(v.constData());
}
} // namespace

void SqliteDriver::open(QSqlDatabase& db, const ConnectionString& cs) const {
    // The store names its file as the data source; an ERP database in a file, as the database.
    const QString path = cs.value(QStringLiteral("Data Source"), cs.value(QStringLiteral("Database")));
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir())
        throw openFailure(QStringLiteral("3044"), QStringLiteral("'%1' is not a valid path.").arg(path));
    if (!info.exists())
        throw openFailure(QStringLiteral("3024"), QStringLiteral("Could not find file '%1'.").arg(path));

    // mode=rw: SQLite itself refuses to create the file, so no race can leave an empty store.
    db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=") + QString::number(kBusyTimeoutMs));
    const QString cannotOpen =
        QStringLiteral("The database engine cannot open the file '%1'. It is not a database, is damaged, "
                       "or you need permission to change its data.")
            .arg(path);
    // SQLite takes an empty file for an empty database: an ERP or a store emptied by a crash or
    // a full disk would then open, and a send would empty the store before any step failed.
    if (info.size() == 0) throw openFailure(QStringLiteral("3051"), cannotOpen);
    if (!db.open()) throw openFailure(QStringLiteral("3051"), cannotOpen);
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        db.close();
        throw openFailure(QStringLiteral("3051"), cannotOpen);
    }
    if (const QVariant h = db.driver()->handle(); h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        if (sqlite3* handle = *static_cast<sqlite3* const*>(h.constData())) sqlite3_busy_handler(handle, &waitBriefly, &m_busyMs);
    // The file's own journal mode and synchronous setting (FULL) stay: the import groups its
    // documents into few commits instead of making each commit unsafe on power loss.
}

SqliteDriver::SqliteDriver(Engine e) : m_engine(e), m_busyMs(kBusyTimeoutMs) {}

void SqliteDriver::applyLockTimeout(QSqlDatabase&, int seconds, int) const {
    m_busyMs = int(qMin<qint64>(qint64(seconds) * 1000, 1 << 30));
}

QString SqliteDriver::translate(const QString& sql) const {
    return dialect::toSqlite(sql);
}

int SqliteDriver::sizeOfDeclaredType(const QString& declared) {
    static const QRegularExpression withLength(QStringLiteral(R"(\(\s*(\d+)\s*(?:,\s*\d+\s*)?\))"));
    const QString t = declared.trimmed().toUpper();
    const auto m = withLength.match(t);
    if (m.hasMatch()) return m.captured(1).toInt();
    if (t.contains(QLatin1String("INT"))) return 4;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("NUMERIC")) || t.contains(QLatin1String("DECIMAL")) ||
        t.contains(QLatin1String("MONEY")) || t.startsWith(QLatin1String("DATE")))
        return 8;
    if (t.startsWith(QLatin1String("BOOL")) || t.startsWith(QLatin1String("BIT"))) return 2;
    if (t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
        t.contains(QLatin1String("MEMO")))
        return 536870910; // a text without a declared limit (memo)
    return 0;
}

int SqliteDriver::definedSize(const QSqlQuery& query, int column) const {
    sqlite3_stmt* stmt = statementOf(query);
    if (!stmt || column < 0 || column >= sqlite3_column_count(stmt)) return 0;
    const char* declared = sqlite3_column_decltype(stmt, column);
    return declared ? sizeOfDeclaredType(QString::fromUtf8(declared)) : 0;
}

int SqliteDriver::valueType(const QSqlQuery& query, int column) const {
    sqlite3_stmt* stmt = statementOf(query);
    const char* declared = stmt && column >= 0 && column < sqlite3_column_count(stmt)
                               ? sqlite3_column_decltype(stmt, column)
                               : nullptr;
    if (!declared) return EngineDriver::valueType(query, column);
    const QString t = QString::fromUtf8(declared).toUpper();
    if (m_engine == Engine::Sqlite &&
        (t.startsWith(QLatin1String("DATE")) || t.startsWith(QLatin1String("TIME"))))
        return QMetaType::QDateTime;
    if (t.startsWith(QLatin1String("BOOL")) || t.startsWith(QLatin1String("BIT"))) return QMetaType::Bool;
    if (t.contains(QLatin1String("INT"))) return QMetaType::LongLong;
    for (const char* n : {"REAL", "FLOA", "DOUB", "NUMERIC", "DECIMAL", "MONEY"})
        if (t.contains(QLatin1String(n))) return QMetaType::Double;
    return EngineDriver::valueType(query, column);
}

QVariant SqliteDriver::bindable(const QVariant& v) const {
    if (m_engine == Engine::Sqlite && v.metaType().id() == QMetaType::QDateTime) {
        // The same few dates again and again: formatting one asks for the time zone each time.
        thread_local QDateTime lastDate;
        thread_local QString lastText;
        const QDateTime d = v.toDateTime();
        if (lastText.isNull() || d != lastDate) {
            lastDate = d;
            lastText = d.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        }
        return lastText;
    }
    return v;
}

ProviderError SqliteDriver::errorOf(const QSqlError& e) const {
    ProviderError p = EngineDriver::errorOf(e);
    p.source = QStringLiteral("QSQLITE");
    return p;
}

bool SqliteDriver::beginTransaction(QSqlDatabase& db, QSqlError& why) const {
    // The store: read in groups as well.
    if (m_engine != Engine::Sqlite) return EngineDriver::beginTransaction(db, why);
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return true;
    why = q.lastError(); // the statement's, not the connection's (which holds none)
    return false;
}

} // namespace kv

#include "history/HistoryFile.h"

#include "app/RunTimeError.h"

#include <functional>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFileInfo>
#include <sqlite3.h>

namespace kv::history {

namespace {

constexpr const char* kTimeFormat = "yyyy-MM-ddTHH:mm:ss";

// The jobs table of a layout: SQLite cannot alter a CHECK, so a layout that takes a new direction
// builds the table again under another name and copies the rows over.
QString jobsTable(const QString& name, const QString& directions) {
    return QStringLiteral("CREATE TABLE %1 ("
                          " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                          " started_at TEXT NOT NULL," // local time, yyyy-MM-ddTHH:mm:ss
                          " ended_at TEXT NOT NULL,"
                          " device INTEGER NOT NULL,"
                          " device_name TEXT NOT NULL DEFAULT '',"
                          " direction TEXT NOT NULL CHECK (direction IN (%2)),"
                          " operator TEXT NOT NULL DEFAULT '',"
                          " outcome TEXT NOT NULL CHECK (outcome IN ('done', 'cancelled', 'failed')),"
                          " failed_steps TEXT NOT NULL DEFAULT ''," // step descriptions, one per line
                          " detail TEXT NOT NULL DEFAULT '',"
                          " imported INTEGER,"
                          " skipped INTEGER,"
                          " planilla TEXT);")
        .arg(name, directions);
}

const QString kJobsIndexes = QStringLiteral("CREATE INDEX jobs_by_device ON jobs (device, started_at);"
                                            "CREATE INDEX jobs_by_start ON jobs (started_at);");
const QString kJobColumns = QStringLiteral("id, started_at, ended_at, device, device_name, direction, operator, "
                                           "outcome, failed_steps, detail, imported, skipped, planilla");

// One element per layout version: a file is brought up to date by running every step past its
// user_version, inside one transaction.
const QStringList& layoutSteps() {
    static const QStringList steps{
        // 1: sends and receives.
        jobsTable(QStringLiteral("jobs"), QStringLiteral("'send', 'receive'")) + kJobsIndexes +
            QStringLiteral("CREATE TABLE job_tables ("
                           " job_id INTEGER NOT NULL REFERENCES jobs (id),"
                           " position INTEGER NOT NULL,"
                           " table_name TEXT NOT NULL,"
                           " row_count INTEGER NOT NULL,"
                           " failed INTEGER NOT NULL DEFAULT 0,"
                           " PRIMARY KEY (job_id, position));"
                           "CREATE TABLE job_documents ("
                           " job_id INTEGER NOT NULL REFERENCES jobs (id),"
                           " position INTEGER NOT NULL,"
                           " document_key TEXT NOT NULL,"
                           " imported INTEGER NOT NULL," // 1 imported, 0 skipped as already in the ERP
                           " PRIMARY KEY (job_id, position));"),
        // 2: exchanges, and the documents the ERP refused (imported = 2) with the reason. The ids
        // are kept: job_tables and job_documents name them.
        jobsTable(QStringLiteral("jobs_v2"), QStringLiteral("'send', 'receive', 'exchange'")) +
            QStringLiteral("INSERT INTO jobs_v2 (%1) SELECT %1 FROM jobs;"
                           "DROP TABLE jobs;"
                           "ALTER TABLE jobs_v2 RENAME TO jobs;")
                .arg(kJobColumns) +
            kJobsIndexes + QStringLiteral("ALTER TABLE job_documents ADD COLUMN reason TEXT NOT NULL DEFAULT '';"),
    };
    return steps;
}

// job_documents.imported
enum DocumentFate : qint64 { Skipped = 0, Imported = 1, Refused = 2 };

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql, std::function<void(const QString&)> fail)
        : m_db(db), m_fail(std::move(fail)) {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_st, nullptr) != SQLITE_OK)
            m_fail(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    ~Statement() { sqlite3_finalize(m_st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int i, const QString& v) {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(m_st, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int i, qint64 v) { sqlite3_bind_int64(m_st, i, v); }
    void bind(int i, std::optional<qint32> v) {
        if (v)
            sqlite3_bind_int64(m_st, i, *v);
        else
            sqlite3_bind_null(m_st, i);
    }
    // True while there is a row.
    bool step() {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) m_fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return false;
    }
    void reset() {
        sqlite3_reset(m_st);
        sqlite3_clear_bindings(m_st);
    }
    QString text(int c) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_st, c));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(m_st, c)) : QString();
    }
    qint64 integer(int c) const { return sqlite3_column_int64(m_st, c); }
    std::optional<qint32> optional(int c) const {
        if (sqlite3_column_type(m_st, c) == SQLITE_NULL) return std::nullopt;
        return qint32(sqlite3_column_int64(m_st, c));
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_st = nullptr;
    std::function<void(const QString&)> m_fail;
};

QDateTime timeOf(const QString& s) {
    return QDateTime::fromString(s, QLatin1String(kTimeFormat));
}

QStringList linesOf(const QString& s) {
    return s.isEmpty() ? QStringList() : s.split(QLatin1Char('\n'));
}

} // namespace

namespace {

// The stored words, in the order of the enumerations.
const char* const kDirectionWords[] = {"send", "receive", "exchange"};
const char* const kOutcomeWords[] = {"done", "cancelled", "failed"};

template <typename Enum, std::size_t N> std::optional<Enum> fromWord(const char* const (&words)[N], const QString& w) {
    for (std::size_t i = 0; i < N; ++i)
        if (w == QLatin1String(words[i])) return Enum(i);
    return std::nullopt;
}

} // namespace

QString directionWord(Direction d) {
    return QLatin1String(kDirectionWords[int(d)]);
}

QString outcomeWord(Outcome o) {
    return QLatin1String(kOutcomeWords[int(o)]);
}

std::optional<Direction> directionFromWord(const QString& w) {
    return fromWord<Direction>(kDirectionWords, w);
}

std::optional<Outcome> outcomeFromWord(const QString& w) {
    return fromWord<Outcome>(kOutcomeWords, w);
}

HistoryFile::HistoryFile(const QString& path, Mode mode) : m_path(path) {
    if (mode == Mode::Read && !QFileInfo(path).isFile())
        fail(QStringLiteral("there is no history file there"));
    // It names devices and clients: owner-only, also a file made or copied with another mode.
    // SQLite gives its journal the mode of the database. A failure here shows as SQLite's own.
    if (mode == Mode::Write) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            (void)!::fchmod(fd, 0600);
            ::close(fd);
        }
    }
    const int flags = mode == Mode::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    try {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) fail(QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
        sqlite3_busy_timeout(m_db, BusyTimeoutMs);
        // SQLite reads the header lazily: this is where a file that is no database shows.
        const int version = userVersion();
        if (version > SchemaVersion)
            fail(QStringLiteral("the file was written by a newer version of the program (layout %1, this one "
                                "knows %2)")
                     .arg(version)
                     .arg(SchemaVersion));
        if (mode == Mode::Write && version < SchemaVersion) migrate();
    } catch (...) {
        sqlite3_close_v2(m_db); // the destructor does not run for a constructor that throws
        throw;
    }
}

int HistoryFile::userVersion() const {
    Statement st(m_db, QStringLiteral("PRAGMA user_version"), [this](const QString& w) { fail(w); });
    return st.step() ? int(st.integer(0)) : 0;
}

HistoryFile::~HistoryFile() {
    sqlite3_close_v2(m_db);
}

void HistoryFile::fail(const QString& what) const {
    throw RunTimeError(err::PathFileAccess, QStringLiteral("%1: %2").arg(m_path, what),
                       QStringLiteral("Historial"));
}

void HistoryFile::exec(const QString& sql) const {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString why = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        fail(why);
    }
}

void HistoryFile::migrate() {
    // The version is read again inside the write lock: two programs creating the file at once
    // must not both build the tables.
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (int v = userVersion(); v < SchemaVersion; ++v)
            exec(layoutSteps().at(v));
        exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
        exec(QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

qint64 HistoryFile::append(const Record& r) {
    const auto failer = [this](const QString& w) { fail(w); };
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        Statement job(m_db,
                      QStringLiteral(
                          "INSERT INTO jobs (started_at, ended_at, device, device_name, direction, operator, "
                          "outcome, failed_steps, detail, imported, skipped, planilla) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                      failer);
        job.bind(1, r.startedAt.toString(QLatin1String(kTimeFormat)));
        job.bind(2, r.endedAt.toString(QLatin1String(kTimeFormat)));
        job.bind(3, qint64(r.device));
        job.bind(4, r.deviceName);
        job.bind(5, directionWord(r.direction));
        job.bind(6, r.operatorName);
        job.bind(7, outcomeWord(r.outcome));
        job.bind(8, r.failedSteps.join(QLatin1Char('\n')));
        job.bind(9, r.detail);
        job.bind(10, r.imported);
        job.bind(11, r.skipped);
        if (!r.planilla.isEmpty()) job.bind(12, r.planilla);
        job.step();
        const qint64 id = sqlite3_last_insert_rowid(m_db);

        Statement table(
            m_db,
            QStringLiteral("INSERT INTO job_tables (job_id, position, table_name, row_count, failed) "
                           "VALUES (?, ?, ?, ?, ?)"),
            failer);
        for (int i = 0; i < r.tables.size(); ++i) {
            table.bind(1, id);
            table.bind(2, qint64(i + 1));
            table.bind(3, r.tables[i].table);
            table.bind(4, r.tables[i].rows);
            table.bind(5, qint64(r.tables[i].failed ? 1 : 0));
            table.step();
            table.reset();
        }
        Statement doc(m_db,
                      QStringLiteral("INSERT INTO job_documents (job_id, position, document_key, imported, reason) "
                                     "VALUES (?, ?, ?, ?, ?)"),
                      failer);
        int position = 0;
        const auto addDocument = [&](const QString& key, DocumentFate fate, const QString& reason) {
            doc.bind(1, id);
            doc.bind(2, qint64(++position));
            doc.bind(3, key);
            doc.bind(4, qint64(fate));
            doc.bind(5, reason);
            doc.step();
            doc.reset();
        };
        for (const QString& key : r.importedKeys) addDocument(key, Imported, QString());
        for (const QString& key : r.skippedKeys) addDocument(key, Skipped, QString());
        for (const RefusedDocument& d : r.refused) addDocument(d.key, Refused, d.reason);
        exec(QStringLiteral("COMMIT"));
        return id;
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

QList<Record> HistoryFile::read(const Filter& filter) const {
    if (userVersion() == 0) return {}; // created, nothing written yet
    QString sql = QStringLiteral("SELECT %1 FROM jobs WHERE 1 = 1").arg(kJobColumns);
    if (filter.device) sql += QStringLiteral(" AND device = ?1");
    // Times are stored as ISO text, so a day compares as the prefix it is.
    if (filter.since) sql += QStringLiteral(" AND started_at >= ?2");
    sql += QStringLiteral(" ORDER BY started_at, id");
    return readJobs(sql, filter.device, filter.since);
}

QList<Record> HistoryFile::lastPerDevice() const {
    if (userVersion() == 0) return {};
    // Device by device through the (device, started_at) index: each step seeks the next device
    // number and its newest job, so the answer costs the devices, not the length of the history.
    const QString sql = QStringLiteral(
        "WITH RECURSIVE d (n) AS ("
        " SELECT MIN(device) FROM jobs"
        " UNION ALL SELECT (SELECT MIN(device) FROM jobs WHERE device > d.n) FROM d WHERE d.n IS NOT NULL)"
        " SELECT %1 FROM jobs WHERE id IN (SELECT (SELECT id FROM jobs WHERE device = d.n"
        " ORDER BY started_at DESC, id DESC LIMIT 1) FROM d WHERE d.n IS NOT NULL)"
        " ORDER BY device").arg(kJobColumns);
    return readJobs(sql, std::nullopt, std::nullopt);
}

QList<Record> HistoryFile::readJobs(const QString& sql, const std::optional<int>& device,
                                    const std::optional<QDate>& since) const {
    const auto failer = [this](const QString& w) { fail(w); };
    QList<Record> records;
    Statement jobs(m_db, sql, failer);
    if (device) jobs.bind(1, qint64(*device));
    if (since) jobs.bind(2, since->toString(Qt::ISODate));
    while (jobs.step()) {
        Record r;
        r.id = jobs.integer(0);
        r.startedAt = timeOf(jobs.text(1));
        r.endedAt = timeOf(jobs.text(2));
        r.device = int(jobs.integer(3));
        r.deviceName = jobs.text(4);
        r.direction = directionFromWord(jobs.text(5)).value_or(Direction::Send);
        r.operatorName = jobs.text(6);
        r.outcome = outcomeFromWord(jobs.text(7)).value_or(Outcome::Failed);
        r.failedSteps = linesOf(jobs.text(8));
        r.detail = jobs.text(9);
        r.imported = jobs.optional(10);
        r.skipped = jobs.optional(11);
        r.planilla = jobs.text(12);
        records << r;
    }

    Statement tables(
        m_db,
        QStringLiteral(
            "SELECT table_name, row_count, failed FROM job_tables WHERE job_id = ? ORDER BY position"),
        failer);
    // A file of layout 1 read without a write (so not brought up to date) has no reasons.
    Statement docs(m_db,
                   QStringLiteral("SELECT document_key, imported, %1 FROM job_documents WHERE job_id = ? "
                                  "ORDER BY position")
                       .arg(userVersion() < 2 ? QStringLiteral("''") : QStringLiteral("reason")),
                   failer);
    for (Record& r : records) {
        tables.bind(1, r.id);
        while (tables.step())
            r.tables << TableRows{tables.text(0), tables.integer(1), tables.integer(2) != 0};
        tables.reset();
        docs.bind(1, r.id);
        while (docs.step()) {
            switch (docs.integer(1)) {
            case Imported:
                r.importedKeys << docs.text(0);
                break;
            case Refused:
                r.refused << RefusedDocument{docs.text(0), docs.text(2)};
                break;
            default:
                r.skippedKeys << docs.text(0);
            }
        }
        docs.reset();
    }
    return records;
}

QList<int> HistoryFile::devices() const {
    const auto failer = [this](const QString& w) { fail(w); };
    QList<int> list;
    if (userVersion() == 0) return list;
    Statement st(m_db, QStringLiteral("SELECT DISTINCT device FROM jobs ORDER BY device"), failer);
    while (st.step())
        list << int(st.integer(0));
    return list;
}

} // namespace kv::history

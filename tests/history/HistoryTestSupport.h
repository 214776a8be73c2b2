#pragma once

#include "history/HistoryFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <sqlite3.h>

namespace kv::test {

inline QDateTime decemberAt(int day, int hour, int minute = 0) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute));
}

// A send that failed in two steps, with a detail on two lines.
inline history::Record sendJob(int device, const QDateTime& when) {
    history::Record r;
    r.startedAt = when;
    r.endedAt = when.addSecs(95);
    r.device = device;
    r.deviceName = QStringLiteral("Ruta %1").arg(device);
    r.direction = history::Direction::Send;
    r.operatorName = QStringLiteral("ana");
    r.tables = {{QStringLiteral("TA_BANCOS"), 6},
                {QStringLiteral("MA_CLIENTES"), 0, true},
                {QStringLiteral("MA_PRECIOS"), 1234567}};
    r.outcome = history::Outcome::Failed;
    r.failedSteps = {QStringLiteral("MA_CLIENTES"), QStringLiteral("TA_ZONAS")};
    r.detail = QStringLiteral("MA_CLIENTES: fila 3 rechazada\nTA_ZONAS: sin tabla");
    return r;
}

// A receive that imported two documents and skipped one.
inline history::Record receiveJob(int device, const QDateTime& when) {
    history::Record r;
    r.startedAt = when;
    r.endedAt = when.addSecs(30);
    r.device = device;
    r.deviceName = QStringLiteral("Ruta %1").arg(device);
    r.direction = history::Direction::Receive;
    r.operatorName = QStringLiteral("Íñigo");
    r.imported = 2;
    r.skipped = 1;
    r.importedKeys = {QStringLiteral("NP000100000001A"), QStringLiteral("OT000100000002A")};
    r.skippedKeys = {QStringLiteral("RM000100000003B")};
    r.planilla = QStringLiteral("000000000007X");
    return r;
}

// An exchange of a handheld that synced itself: documents in (one found already), rows out, and
// two documents the ERP refused, one reason on two lines.
inline history::Record exchangeJob(int device, const QDateTime& when) {
    history::Record r = receiveJob(device, when);
    r.endedAt = when.addSecs(4);
    r.direction = history::Direction::Exchange;
    r.operatorName.clear();
    r.tables = {{QStringLiteral("MA_CLIENTES"), 40}, {QStringLiteral("TA_ZONAS"), 3}};
    r.refused = {{QStringLiteral("NP000100000009A"), QStringLiteral("cliente 000099 inexistente")},
                 {QStringLiteral("OT000100000010A"), QStringLiteral("sin artículos\nen la orden")}};
    return r;
}

// A history file as the program of layout 1 left it (its statements as they were), with a send
// of two tables and a receive of one imported and one skipped document.
inline void writeLayoutOneHistory(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
        "CREATE TABLE jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, started_at TEXT NOT NULL, ended_at TEXT NOT NULL,"
        " device INTEGER NOT NULL, device_name TEXT NOT NULL DEFAULT '', direction TEXT NOT NULL CHECK (direction IN"
        " ('send', 'receive')), operator TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL CHECK (outcome IN ('done',"
        " 'cancelled', 'failed')), failed_steps TEXT NOT NULL DEFAULT '', detail TEXT NOT NULL DEFAULT '',"
        " imported INTEGER, skipped INTEGER, planilla TEXT);"
        "CREATE INDEX jobs_by_device ON jobs (device, started_at); CREATE INDEX jobs_by_start ON jobs (started_at);"
        "CREATE TABLE job_tables (job_id INTEGER NOT NULL REFERENCES jobs (id), position INTEGER NOT NULL, table_name"
        " TEXT NOT NULL, row_count INTEGER NOT NULL, failed INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (job_id, position));"
        "CREATE TABLE job_documents (job_id INTEGER NOT NULL REFERENCES jobs (id), position INTEGER NOT NULL,"
        " document_key TEXT NOT NULL, imported INTEGER NOT NULL, PRIMARY KEY (job_id, position));"
        "PRAGMA user_version = 1;"
        "INSERT INTO jobs VALUES (4, '2026-12-01T09:00:00', '2026-12-01T09:01:35', 3, 'Ruta 3', 'send', 'ana', 'done',"
        " '', '', NULL, NULL, NULL), (7, '2026-12-01T10:00:00', '2026-12-01T10:00:30', 2, 'Ruta 2', 'receive', 'ana',"
        " 'done', '', '', 1, 1, '000000000007X');"
        "INSERT INTO job_tables VALUES (4, 1, 'TA_BANCOS', 6, 0), (4, 2, 'MA_CLIENTES', 0, 1);"
        "INSERT INTO job_documents VALUES (7, 1, 'NP000100000001A', 1), (7, 2, 'RM000100000003B', 0);",
        nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

inline QByteArray digest(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Ways a history file can refuse to be written, as they happen on a workstation.
enum class Unwritable {
    FolderInTheWay, // a folder stands where the file should be
    NotADatabase,   // something else was saved under its name
    Locked,         // another program holds a write lock on it
    NewerLayout,    // a newer program version wrote it
};

inline const char* unwritableName(Unwritable u) {
    switch (u) {
    case Unwritable::FolderInTheWay:
        return "FolderInTheWay";
    case Unwritable::NotADatabase:
        return "NotADatabase";
    case Unwritable::Locked:
        return "Locked";
    case Unwritable::NewerLayout:
        return "NewerLayout";
    }
    return "";
}

// Makes the file at `path` unwritable in that way for the life of the object.
class UnwritableHistory {
public:
    UnwritableHistory(Unwritable kind, const QString& path) {
        switch (kind) {
        case Unwritable::FolderInTheWay:
            QDir().mkpath(path);
            break;
        case Unwritable::NotADatabase: {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(notADatabase());
            break;
        }
        case Unwritable::Locked:
            history::HistoryFile(path, history::HistoryFile::Mode::Write); // a valid, current file
            sqlite3_open(QFile::encodeName(path).constData(), &m_db);
            sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
            break;
        case Unwritable::NewerLayout:
            sqlite3_open(QFile::encodeName(path).constData(), &m_db);
            sqlite3_exec(m_db,
                         "CREATE TABLE jobs (id INTEGER PRIMARY KEY, future TEXT); PRAGMA user_version = 99;",
                         nullptr, nullptr, nullptr);
            sqlite3_close(m_db);
            m_db = nullptr;
            break;
        }
    }
    ~UnwritableHistory() {
        if (m_db) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(m_db);
        }
    }
    static QByteArray notADatabase() { return "Notas del turno de mañana: revisar el móvil 2.\n"; }

private:
    sqlite3* m_db = nullptr;
};

} // namespace kv::test

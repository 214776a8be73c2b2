#pragma once

#include <optional>
#include <QDateTime>
#include <QList>
#include <QStringList>

struct sqlite3;

namespace kv::history {

// The history of sends and receives: one record per job, kept in an SQLite file of its own in
// the application folder ("historial.db"), so no ERP or store trouble can lose it and no history
// trouble can touch them.

enum class Direction { Send, Receive, Exchange };
enum class Outcome { Done, Cancelled, Failed };

// The words stored in the file and printed by kvctl: "send"/"receive"/"exchange",
// "done"/"cancelled"/"failed".
QString directionWord(Direction d);
QString outcomeWord(Outcome o);
std::optional<Direction> directionFromWord(const QString& w);
std::optional<Outcome> outcomeFromWord(const QString& w);

// Rows a send wrote into one master table of the store; a failed step wrote none.
struct TableRows {
    QString table;
    qint64 rows = 0;
    bool failed = false;
    bool operator==(const TableRows&) const = default;
};

// A document the ERP refused in an exchange: it stays on the handheld, and why.
struct RefusedDocument {
    QString key;
    QString reason;
    bool operator==(const RefusedDocument&) const = default;
};

// An exchange (a handheld that syncs itself through kvcradle) fills in both halves: the documents
// it brought (imported, skipped as found in the ERP already, refused) and the rows it got back.
struct Record {
    qint64 id = 0; // given by the file on append
    QDateTime startedAt;
    QDateTime endedAt;
    int device = 0;
    QString deviceName;
    Direction direction = Direction::Send;
    QString operatorName;
    Outcome outcome = Outcome::Done;
    QStringList failedSteps; // send: the export steps that failed
    QString detail;          // why it failed or was cancelled, or a note on how it ran
    // Send and exchange: the master rows the handheld got.
    QList<TableRows> tables;
    // Receive and exchange (absent when the run never reached the import).
    std::optional<qint32> imported;
    std::optional<qint32> skipped;
    QStringList importedKeys;
    QStringList skippedKeys;
    QString planilla;
    QList<RefusedDocument> refused; // exchange: left on the handheld
};

struct Filter {
    std::optional<int> device;
    std::optional<QDate> since; // jobs started on that day or later
};

// One history file. Opening for writing creates it (and its tables) when missing and brings an
// older layout up to date; a file written by a newer program is refused rather than altered.
// Every failure throws RunTimeError.
class HistoryFile {
public:
    static QString fileName() { return QStringLiteral("historial.db"); }
    // The layout this program writes (PRAGMA user_version).
    static constexpr int SchemaVersion = 2;
    // How long a write waits for another program that holds the file; past that the write fails
    // and the job goes on without its record.
    static constexpr int BusyTimeoutMs = 1500;

    enum class Mode { Read, Write };
    HistoryFile(const QString& path, Mode mode);
    ~HistoryFile();
    HistoryFile(const HistoryFile&) = delete;
    HistoryFile& operator=(const HistoryFile&) = delete;

    // Appends one record, whole or not at all; returns its id.
    qint64 append(const Record& r);
    // The records that pass the filter, oldest first.
    QList<Record> read(const Filter& filter = {}) const;
    // The device numbers the history holds, ascending.
    QList<int> devices() const;
    // The newest record of each device (any direction or outcome), by device number.
    QList<Record> lastPerDevice() const;

private:
    void exec(const QString& sql) const;
    [[noreturn]] void fail(const QString& what) const;
    void migrate();
    int userVersion() const;
    QList<Record> readJobs(const QString& sql, const std::optional<int>& device,
                           const std::optional<QDate>& since) const;

    QString m_path;
    sqlite3* m_db = nullptr;
};

} // namespace kv::history

#pragma once

#include <chrono>
#include <optional>
#include <QList>
#include <QString>

namespace kv {

// A sync is under way while some process holds an flock on "kvhotsync.lock" in the application
// folder. The kernel drops the lock with its holder, so a killed sync never leaves the program
// believing a sync is still running.
//
// A sync can begin and end in a few milliseconds, between two looks at the lock. So the sync
// also numbers itself in "kvhotsync.state" beside the lock, while it holds the lock: one line
// "SEQUENCE GENERATION began" before it copies, rewritten to "copied" after its commit or to
// "refused" after a failure. A sync over the network first sends the handheld its answer and
// commits only once the handheld confirms it has it: meanwhile its line says "answered". GENERATION is the conduit registration it ran under. The file is
// replaced atomically and keeps the last syncs, so a waiting program that looks later still
// finds every sync since it began to wait.

// One sync as the state file records it.
struct SyncRecord {
    enum class State { Began, Answered, Copied, Refused };
    quint64 sequence = 0;
    quint64 generation = 0;
    State state = State::Began;
};

// The records of the state file in the folder (the application folder when empty), oldest
// first; empty when no sync has ever written one. Lines the program does not write are skipped.
QList<SyncRecord> readSyncRecords(const QString& folder = QString());

// The sync side: held by the cradle sync from before its first read of the registration until
// it is done.
class SyncLock {
public:
    static QString fileName() { return QStringLiteral("kvhotsync.lock"); }
    static QString stateFileName() { return QStringLiteral("kvhotsync.state"); }

    // Takes the lock in the folder (the application folder when empty). nullopt when another
    // sync still holds it after `wait`; throws RunTimeError when the lock file cannot be opened.
    static std::optional<SyncLock> tryTake(std::chrono::milliseconds wait = std::chrono::seconds(2),
                                           const QString& folder = QString());

    SyncLock(SyncLock&& other) noexcept;
    SyncLock& operator=(SyncLock&& other) noexcept;
    SyncLock(const SyncLock&) = delete;
    SyncLock& operator=(const SyncLock&) = delete;
    ~SyncLock();

    // Records the next sequence number as begun under the registration's generation; throws
    // RunTimeError when the state file cannot be written.
    quint64 began(quint64 generation);
    // Records the begun sync as answered: its copy is made and sent, and waits for the handheld's
    // confirmation before it commits. Throws RunTimeError when the state file cannot be written.
    void answered();
    // Records the begun sync as copied or refused. A failure to write is not reported: the
    // released lock tells the monitor the sync is over all the same.
    void ended(bool copied);

    void release();

private:
    SyncLock(int fd, QString folder) : m_fd(fd), m_folder(std::move(folder)) {}
    void write(const QList<SyncRecord>& records);
    int m_fd = -1;
    QString m_folder;
    std::optional<SyncRecord> m_current;
};

// The waiting side: one per waiting procedure. It answers True from the moment a sync began
// until it ended, and at least once for every sync that began after its first poll (a sync
// already under way at its first poll counts too), however short. With a generation, only
// syncs that ran under that registration count: another direction's or an older wait's sync
// never ends this wait.
class SyncMonitor {
public:
    // The application folder when empty; generation 0 counts every sync.
    explicit SyncMonitor(QString folder = QString(), quint64 generation = 0);
    ~SyncMonitor();
    SyncMonitor(const SyncMonitor&) = delete;
    SyncMonitor& operator=(const SyncMonitor&) = delete;

    // Throws RunTimeError when the lock file exists but cannot be examined.
    bool syncUnderWay();
    // After the answer turned False: whether the sync it reported committed its copy (a refused
    // or killed sync changed nothing).
    bool lastSyncCopied() const { return m_lastCopied; }
    // While syncUnderWay() answers True: the sync has sent the handheld its answer and waits for
    // the handheld to confirm it.
    bool awaitingConfirmation() const { return m_awaiting; }

    // Sleeps until the lock or the state file may have changed (a sync took or dropped the
    // lock, or wrote its record), or `ms` passed; true when woken by a change. Never spins.
    bool waitForChange(int ms);

private:
    QString m_folder;
    quint64 m_generation;
    bool m_started = false;
    quint64 m_lastSeen = 0;           // syncs up to this one are reported or do not count
    std::optional<quint64> m_current; // the sync reported under way
    bool m_lastCopied = false;
    bool m_awaiting = false;
    int m_notify = -1; // inotify descriptor on the folder
};

} // namespace kv

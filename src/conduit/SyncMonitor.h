#pragma once

#include <chrono>
#include <optional>
#include <QString>

namespace kv {

// A sync is under way while some process holds an flock on "kvhotsync.lock" in the application
// folder. The kernel drops the lock with its holder, so a killed sync never leaves the program
// believing a sync is still running.

// The sync side: held by kvhandheld hotsync from before its first change until it is done.
class SyncLock {
public:
    static QString fileName() { return QStringLiteral("kvhotsync.lock"); }

    // Takes the lock in the folder (the application folder when empty). nullopt when another
    // sync still holds it after `wait`; throws RunTimeError when the lock file cannot be opened.
    static std::optional<SyncLock> tryTake(std::chrono::milliseconds wait = std::chrono::seconds(2),
                                           const QString& folder = QString());

    SyncLock(SyncLock&& other) noexcept;
    SyncLock& operator=(SyncLock&& other) noexcept;
    SyncLock(const SyncLock&) = delete;
    SyncLock& operator=(const SyncLock&) = delete;
    ~SyncLock();

    void release();

private:
    explicit SyncLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// The waiting side: one per waiting procedure.
class SyncMonitor {
public:
    // The application folder when empty.
    explicit SyncMonitor(QString folder = QString());

    // True while a sync holds the lock. Throws RunTimeError when the lock file exists but cannot
    // be examined.
    bool syncUnderWay() const;

private:
    QString m_folder;
};

} // namespace kv

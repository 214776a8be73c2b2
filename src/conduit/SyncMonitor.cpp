#include "conduit/SyncMonitor.h"

#include "app/AppHome.h"
#include "app/AtomicFile.h"
#include "app/GeneralFunctions.h"
#include "app/RunTimeError.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <QFile>
#include <QThread>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace kv {

namespace {

// Path/File access error, as the error treatment shows it.
constexpr long kLockFileError = 75;
// Records the state file keeps: far more syncs than can pass between two looks of a wait.
constexpr int kRecordsKept = 32;

QString folderOf(const QString& folder) {
    return folder.isEmpty() ? AppHome::folder() : CarpetaAplicacion(folder);
}

QString lockPath(const QString& folder) {
    return folderOf(folder) + SyncLock::fileName();
}

[[noreturn]] void fail(const QString& path, int error) {
    throw RunTimeError(kLockFileError,
                       QStringLiteral("No se puede usar el archivo de sincronizacion %1: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(error))),
                       QStringLiteral("SyncMonitor"));
}

const char* stateWord(SyncRecord::State s) {
    switch (s) {
    case SyncRecord::State::Began:
        return "began";
    case SyncRecord::State::Answered:
        return "answered";
    case SyncRecord::State::Copied:
        return "copied";
    case SyncRecord::State::Refused:
        return "refused";
    }
    return "began";
}

std::optional<SyncRecord::State> stateOf(const QString& word) {
    for (auto s : {SyncRecord::State::Began, SyncRecord::State::Answered, SyncRecord::State::Copied,
                   SyncRecord::State::Refused})
        if (word == QLatin1String(stateWord(s))) return s;
    return std::nullopt;
}

// Begun and not yet over: copying, or answered and awaiting the handheld's confirmation.
bool notOver(const SyncRecord& r) {
    return r.state == SyncRecord::State::Began || r.state == SyncRecord::State::Answered;
}

// True while some process holds the sync lock.
bool lockHeld(const QString& folder) {
    const QString path = lockPath(folder);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return false; // no sync has ever run here
        fail(path, errno);
    }
    // A shared probe: it conflicts with a sync's exclusive lock, never with another monitor.
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    const int error = errno;
    ::close(fd);
    if (!free && error != EWOULDBLOCK) fail(path, error);
    return !free;
}

} // namespace

QList<SyncRecord> readSyncRecords(const QString& folder) {
    QList<SyncRecord> records;
    QFile f(folderOf(folder) + SyncLock::stateFileName());
    if (!f.open(QIODevice::ReadOnly)) return records;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QStringList w = QString::fromLatin1(raw).simplified().split(QLatin1Char(' '));
        if (w.size() != 3) continue;
        bool seqOk = false, genOk = false;
        SyncRecord r;
        r.sequence = w[0].toULongLong(&seqOk);
        r.generation = w[1].toULongLong(&genOk);
        const auto state = stateOf(w[2]);
        if (!seqOk || !genOk || !state) continue;
        r.state = *state;
        records << r;
    }
    return records;
}

std::optional<SyncLock> SyncLock::tryTake(std::chrono::milliseconds wait, const QString& folder) {
    const QString path = lockPath(folder);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fail(path, errno);
    // A monitor's probe holds a shared lock for an instant, so a busy lock is retried briefly.
    for (std::chrono::milliseconds waited{0};; waited += std::chrono::milliseconds(10)) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return SyncLock(fd, folder);
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            ::close(fd);
            fail(path, error);
        }
        if (waited >= wait) {
            ::close(fd);
            return std::nullopt;
        }
        QThread::msleep(10);
    }
}

SyncLock::SyncLock(SyncLock&& other) noexcept
    : m_fd(other.m_fd), m_folder(std::move(other.m_folder)), m_current(other.m_current) {
    other.m_fd = -1;
    other.m_current.reset();
}

SyncLock& SyncLock::operator=(SyncLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        m_folder = std::move(other.m_folder);
        m_current = other.m_current;
        other.m_fd = -1;
        other.m_current.reset();
    }
    return *this;
}

SyncLock::~SyncLock() {
    release();
}

void SyncLock::write(const QList<SyncRecord>& records) {
    QByteArray text;
    for (const SyncRecord& r : records)
        text += QByteArray::number(r.sequence) + ' ' + QByteArray::number(r.generation) + ' ' +
                stateWord(r.state) + '\n';
    writeFileAtomically(folderOf(m_folder) + stateFileName(), text, 0644, QStringLiteral("SyncMonitor"));
}

quint64 SyncLock::began(quint64 generation) {
    QList<SyncRecord> records = readSyncRecords(m_folder);
    const quint64 next = records.isEmpty() ? 1 : records.last().sequence + 1;
    m_current = SyncRecord{next, generation, SyncRecord::State::Began};
    records << *m_current;
    while (records.size() > kRecordsKept)
        records.removeFirst();
    write(records);
    return next;
}

void SyncLock::answered() {
    if (!m_current) return;
    QList<SyncRecord> records = readSyncRecords(m_folder);
    for (SyncRecord& r : records)
        if (r.sequence == m_current->sequence) r.state = SyncRecord::State::Answered;
    write(records);
}

void SyncLock::ended(bool copied) {
    if (!m_current) return;
    QList<SyncRecord> records = readSyncRecords(m_folder);
    for (SyncRecord& r : records)
        if (r.sequence == m_current->sequence)
            r.state = copied ? SyncRecord::State::Copied : SyncRecord::State::Refused;
    m_current.reset();
    try {
        write(records);
    } catch (const RunTimeError&) {
        // The lock's release still ends the sync for every monitor; it counts as not copied.
    }
}

void SyncLock::release() {
    if (m_current) ended(false);  // a sync left by an exception changed nothing
    if (m_fd >= 0) ::close(m_fd); // closing the descriptor drops the flock
    m_fd = -1;
}

SyncMonitor::SyncMonitor(QString folder, quint64 generation)
    : m_folder(std::move(folder)), m_generation(generation) {
    m_notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_notify >= 0 && ::inotify_add_watch(m_notify, QFile::encodeName(folderOf(m_folder)).constData(),
                                             IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        ::close(m_notify);
        m_notify = -1; // no notification: the wait still polls at its interval
    }
}

SyncMonitor::~SyncMonitor() {
    if (m_notify >= 0) ::close(m_notify);
}

bool SyncMonitor::syncUnderWay() {
    QList<SyncRecord> records = readSyncRecords(m_folder);
    bool held = lockHeld(m_folder);
    if (!held) records = readSyncRecords(m_folder); // a sync records its end before it lets go
    if (!m_started) {
        m_started = true;
        // A sync under way at the first look counts; one that is over does not.
        if (!records.isEmpty())
            m_lastSeen = records.last().sequence - (held && notOver(records.last()) ? 1 : 0);
    }
    if (m_current) {
        const SyncRecord* current = nullptr;
        for (const SyncRecord& r : records)
            if (r.sequence == *m_current) current = &r;
        const bool newer = !records.isEmpty() && records.last().sequence > *m_current;
        if (held && current && notOver(*current) && !newer) {
            m_awaiting = current->state == SyncRecord::State::Answered;
            return true;
        }
        m_awaiting = false;
        // Over: it recorded its end, a newer sync followed, or the lock is free (killed).
        m_lastCopied = current && current->state == SyncRecord::State::Copied;
        m_lastSeen = *m_current;
        m_current.reset();
        return false;
    }
    for (const SyncRecord& r : records) {
        if (r.sequence <= m_lastSeen) continue;
        if (m_generation == 0 || r.generation == m_generation) {
            m_current = r.sequence;
            m_awaiting = r.state == SyncRecord::State::Answered;
            return true; // reported at least once, even when it is already over
        }
        m_lastSeen = r.sequence;
    }
    return false;
}

bool SyncMonitor::waitForChange(int ms) {
    if (m_notify < 0) {
        QThread::msleep(ulong(ms));
        return false;
    }
    pollfd p{m_notify, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    alignas(inotify_event) char buffer[4096];
    bool relevant = false;
    for (;;) {
        const ssize_t n = ::read(m_notify, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            const QString name = e->len ? QFile::decodeName(e->name) : QString();
            if (name == SyncLock::fileName() || name == SyncLock::stateFileName()) relevant = true;
            at += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
    return relevant;
}

} // namespace kv

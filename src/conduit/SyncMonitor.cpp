#include "conduit/SyncMonitor.h"

#include "app/AppHome.h"
#include "app/GeneralFunctions.h"
#include "app/RunTimeError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <QFile>
#include <QThread>
#include <sys/file.h>
#include <unistd.h>

namespace kv {

namespace {

// Path/File access error, as the error treatment shows it.
constexpr long kLockFileError = 75;

QString lockPath(const QString& folder) {
    return (folder.isEmpty() ? AppHome::folder() : CarpetaAplicacion(folder)) + SyncLock::fileName();
}

[[noreturn]] void fail(const QString& path, int error) {
    throw RunTimeError(kLockFileError,
                       QStringLiteral("No se puede usar el archivo de sincronizacion %1: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(error))),
                       QStringLiteral("SyncMonitor"));
}

} // namespace

std::optional<SyncLock> SyncLock::tryTake(std::chrono::milliseconds wait, const QString& folder) {
    const QString path = lockPath(folder);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fail(path, errno);
    // A monitor's probe holds a shared lock for an instant, so a busy lock is retried briefly.
    for (std::chrono::milliseconds waited{0};; waited += std::chrono::milliseconds(10)) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return SyncLock(fd);
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

SyncLock::SyncLock(SyncLock&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

SyncLock& SyncLock::operator=(SyncLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

SyncLock::~SyncLock() {
    release();
}

void SyncLock::release() {
    if (m_fd >= 0) ::close(m_fd); // closing the descriptor drops the flock
    m_fd = -1;
}

SyncMonitor::SyncMonitor(QString folder) : m_folder(std::move(folder)) {}

bool SyncMonitor::syncUnderWay() const {
    const QString path = lockPath(m_folder);
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

} // namespace kv

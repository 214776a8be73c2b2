#include "app/AtomicFile.h"

#include "app/AtomicFileWriter.h"
#include "app/RunTimeError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <QFile>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

void throwFileError(const QString& action, const QString& path, const QString& reason,
                    const QString& source) {
    throw RunTimeError(err::PathFileAccess, QStringLiteral("Cannot %1 \"%2\": %3").arg(action, path, reason),
                       source);
}

void throwFileError(const QString& action, const QString& path, int errorNumber, const QString& source) {
    throwFileError(action, path, QString::fromLocal8Bit(std::strerror(errorNumber)), source);
}

void writeFileAtomically(const QString& path, QByteArrayView data, mode_t mode, const QString& source,
                         ModeOf applies) {
    AtomicFileWriter file(path, mode, source, applies);
    file.write(data);
    file.commit();
}

FileVersion::FileVersion(const QString& path, const QString& source) : m_path(path), m_source(source) {
    const auto fail = [&](int e) { throwFileError(QStringLiteral("read"), path, e, source); };
    // Non-blocking: a pipe in the file's place must fail the check below, not hang the open.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;
        fail(errno);
    }
    const int e = ::fstat(m_fd, &m_status) != 0 ? errno : S_ISDIR(m_status.st_mode) ? EISDIR : 0;
    if (e == 0 && S_ISREG(m_status.st_mode)) return;
    ::close(m_fd); // the destructor does not run for a constructor that throws
    m_fd = -1;
    if (e != 0) fail(e);
    throwFileError(QStringLiteral("read"), path, QStringLiteral("not a regular file"), source);
}

FileVersion::~FileVersion() {
    if (m_fd >= 0) ::close(m_fd);
}

QByteArray FileVersion::readAll() const {
    QByteArray bytes;
    if (m_fd < 0) return bytes;
    bytes.reserve(qsizetype(m_status.st_size));
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(m_fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwFileError(QStringLiteral("read"), m_path, errno, m_source);
        if (n == 0) return bytes;
        bytes.append(buffer, n);
        at += n;
    }
}

QByteArray FileVersion::contents(const QString& path, const QString& source) {
    return FileVersion(path, source).readAll();
}

FileLock::FileLock(const QString& lockPath, const QString& source, int waitLimitMs) {
    m_fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) throwFileError(QStringLiteral("lock"), lockPath, errno, source);
    const int mode = waitLimitMs < 0 ? LOCK_EX : LOCK_EX | LOCK_NB;
    for (int waited = 0; ::flock(m_fd, mode) != 0;) {
        const int e = errno;
        if (e == EINTR) continue;
        if (e == EWOULDBLOCK && waited < waitLimitMs) {
            ::usleep(10000);
            waited += 10;
            continue;
        }
        ::close(m_fd);
        throwFileError(QStringLiteral("lock"), lockPath, e, source);
    }
}

std::unique_ptr<FileLock> FileLock::tryTake(const QString& lockPath, const QString& source) {
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throwFileError(QStringLiteral("lock"), lockPath, errno, source);
    int result;
    while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result == 0) return std::unique_ptr<FileLock>(new FileLock(fd));
    const int e = errno;
    ::close(fd);
    if (e == EWOULDBLOCK) return nullptr;
    throwFileError(QStringLiteral("lock"), lockPath, e, source);
}

FileLock::~FileLock() {
    ::close(m_fd); // releases the lock
}

} // namespace kv

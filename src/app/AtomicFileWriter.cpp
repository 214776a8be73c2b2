#include "app/AtomicFileWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

// Flushes the folder so the rename itself survives a crash; nothing to report if it cannot.
void syncFolder(const QByteArray& file) {
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(file)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const QString& path, mode_t mode, const QString& source, ModeOf applies)
    : m_path(path), m_source(source) {
    const QFileInfo info(path);
    m_target = QFile::encodeName(info.isSymLink() ? info.symLinkTarget() : path);
    struct stat old {};
    const bool exists = ::stat(m_target.constData(), &old) == 0;
    if (!exists && errno != ENOENT) fail(errno);
    if (exists && S_ISDIR(old.st_mode)) fail(EISDIR);
    m_temp = m_target + ".XXXXXX";
    m_fd = ::mkostemp(m_temp.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_temp.clear();
        fail(errno);
    }
    if (exists) (void)!::fchown(m_fd, old.st_uid, old.st_gid); // only root may; others keep theirs anyway
    if (::fchmod(m_fd, exists && applies == ModeOf::NewFile ? (old.st_mode & 07777) : mode) != 0) fail(errno);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_temp.isEmpty()) ::unlink(m_temp.constData());
}

void AtomicFileWriter::fail(int error) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty()) ::unlink(m_temp.constData());
    m_temp.clear();
    throwFileError(QStringLiteral("write"), m_path, error ? error : EIO, m_source);
}

void AtomicFileWriter::write(QByteArrayView data) {
    if (m_fd < 0) fail(EBADF);
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : EIO);
        p += n;
        left -= n;
        m_written += n;
    }
}

QByteArray AtomicFileWriter::peek(qint64 offset, qint64 size) const {
    QByteArray bytes(qsizetype(qMax<qint64>(0, qMin(size, m_written - offset))), Qt::Uninitialized);
    qsizetype got = 0;
    while (m_fd >= 0 && got < bytes.size()) {
        const ssize_t n = ::pread(m_fd, bytes.data() + got, size_t(bytes.size() - got), off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

void AtomicFileWriter::commit() {
    if (m_fd < 0) fail(EBADF);
    if (::fsync(m_fd) != 0) fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) fail(errno);
    if (::rename(m_temp.constData(), m_target.constData()) != 0) fail(errno);
    m_temp.clear();
    syncFolder(m_target);
}

} // namespace kv

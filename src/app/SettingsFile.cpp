#include "app/SettingsFile.h"

#include "app/AppHome.h"
#include "app/AtomicFile.h"
#include "app/GeneralFunctions.h"
#include "app/IniFile.h"
#include "app/Operator.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

const QString kRead = QStringLiteral("LeerIni");
const QString kWrite = QStringLiteral("GrabarIni");
const QString kReadAction = QStringLiteral("read");

// What tells one version of a file from another without reading it. A replacement by
// GrabarIni brings a new inode; any write changes the times.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    qint64 modified = 0; // ns
    qint64 changed = 0;  // ns
    bool operator==(const Stamp&) const = default;
};

qint64 nanoseconds(const timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// File times advance in coarse ticks (milliseconds; seconds on some file systems): a file that
// changed this close to the moment it was read may change again under the same stamp, so its
// stamp is trusted only once it is older than that.
constexpr qint64 kStampTrustedAfterNs = 2'000'000'000;

// One file's contents as last read, and their parse, shared by every read until the file changes.
struct Snapshot {
    Stamp stamp;
    qint64 checkedAt = 0; // when the stamp was taken (ns, wall clock)
    QByteArray bytes;
    std::shared_ptr<const IniDocument> doc;
};

QMutex cacheMutex;
QHash<QString, Snapshot> cache; // by path; the program uses very few settings files
constexpr qsizetype kCacheLimit = 32;

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

QByteArray readAll(int fd, off_t sizeHint, const QString& path, const QString& source) {
    QByteArray bytes;
    bytes.reserve(qsizetype(sizeHint));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwFileError(kReadAction, path, errno, source);
        if (n == 0) return bytes;
        bytes.append(buffer, n);
    }
}

// The file as it is now, parsed again only when it changed. A missing file reads as empty.
Snapshot load(const QString& path, const QString& source) {
    // Non-blocking: a pipe in the file's place must fail the check below, not hang the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return Snapshot{{}, 0, {}, std::make_shared<IniDocument>()};
        throwFileError(kReadAction, path, errno, source);
    }
    const FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throwFileError(kReadAction, path, errno, source);
    if (S_ISDIR(st.st_mode)) throwFileError(kReadAction, path, EISDIR, source);
    if (!S_ISREG(st.st_mode)) throwFileError(kReadAction, path, QStringLiteral("not a regular file"), source);

    const Stamp stamp{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 checkedAt = nanoseconds(now);
    {
        const QMutexLocker lock(&cacheMutex);
        const auto it = cache.constFind(path);
        if (it != cache.cend() && it->stamp == stamp &&
            it->checkedAt - stamp.modified >= kStampTrustedAfterNs)
            return *it;
    }

    const QByteArray bytes = readAll(fd, st.st_size, path, source);
    const QMutexLocker lock(&cacheMutex);
    auto it = cache.find(path);
    if (it != cache.end() && it->bytes == bytes) {
        it->stamp = stamp;
        it->checkedAt = checkedAt;
        return *it;
    }
    if (cache.size() >= kCacheLimit) cache.clear();
    return *cache.insert(path, Snapshot{stamp, checkedAt, bytes,
                                        std::make_shared<const IniDocument>(IniDocument::parse(bytes))});
}

// After a write the new file's stamp is unknown: the next read compares its bytes with these
// and, finding them equal, keeps the parse.
void remember(const QString& path, const QByteArray& bytes, IniDocument doc) {
    const QMutexLocker lock(&cacheMutex);
    if (cache.size() >= kCacheLimit) cache.clear();
    cache.insert(path, Snapshot{{}, 0, bytes, std::make_shared<const IniDocument>(std::move(doc))});
}

// A settings file that exists but cannot be read is told to the operator once per run; its
// values then read as missing.
void tellUnreadable(const QString& path, const RunTimeError& e) {
    static QMutex mutex;
    static QSet<QString> told;
    {
        const QMutexLocker lock(&mutex);
        if (told.contains(path)) return;
        told.insert(path);
    }
    op().messageBox(QStringLiteral("No se puede leer el archivo de configuración:\r%1\r"
                                   "Se usan los valores por omisión y no se guardará nada en él.")
                        .arg(e.description()),
                    mb::Exclamation, QStringLiteral("Aviso al Usuario"));
}

} // namespace

QString RutaIni(const QString& file) {
    if (file.trimmed().isEmpty())
        throw RunTimeError(err::InvalidProcedureCall, QStringLiteral("The settings file name is empty"));
    return QDir::isAbsolutePath(file) ? QDir::cleanPath(file) : AppHome::file(file);
}

QString LeerIni(const QString& file, const QString& section, const QString& key,
                const QVariant& defaultValue) {
    const QString path = RutaIni(file);
    std::shared_ptr<const IniDocument> doc;
    try {
        doc = load(path, kRead).doc;
    } catch (const RunTimeError& e) {
        tellUnreadable(path, e);
        return TextoNoNulo(defaultValue);
    }
    const auto value = doc->value(section, key);
    return value ? *value : TextoNoNulo(defaultValue);
}

void ComprobarIni(const QString& file) {
    load(RutaIni(file), kRead);
}

void GrabarIni(const QString& file, const QString& section, const QString& key, const QString& value) {
    IniDocument::checkEntry(section, key, value);
    const QString path = RutaIni(file);
    const FileLock lock(path + QStringLiteral(".lock"), kWrite);
    const Snapshot current = load(path, kWrite);
    IniDocument doc = *current.doc;
    doc.setValue(section, key, value);
    const QByteArray bytes = doc.bytes();
    if (bytes == current.bytes) return; // already stored: leave the file and its times alone
    // It holds passwords: owner-only after every write, also a file made or copied with another mode.
    writeFileAtomically(path, bytes, S_IRUSR | S_IWUSR, kWrite, ModeOf::Always);
    remember(path, bytes, std::move(doc));
}

} // namespace kv

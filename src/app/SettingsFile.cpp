#include "app/SettingsFile.h"

#include "app/AppHome.h"
#include "app/AtomicFile.h"
#include "app/GeneralFunctions.h"
#include "app/IniFile.h"
#include "app/Operator.h"

#include <ctime>
#include <memory>
#include <QDir>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <sys/stat.h>

namespace kv {

namespace {

const QString kRead = QStringLiteral("LeerIni");
const QString kWrite = QStringLiteral("GrabarIni");

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

// The file as it is now, parsed again only when it changed. A missing file reads as empty.
Snapshot loadSnapshot(const QString& path, const QString& source) {
    const FileVersion file(path, source);
    if (!file.found()) return Snapshot{{}, 0, {}, std::make_shared<IniDocument>()};
    const struct stat& st = file.status();
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

    const QByteArray bytes = file.readAll();
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

// The same, refused as unreadable when it reads as damaged: its defaults would stand in for
// what the lost part held.
Snapshot load(const QString& path, const QString& source) {
    Snapshot snapshot = loadSnapshot(path, source);
    if (const QString why = snapshot.doc->damage(); !why.isEmpty())
        throw RunTimeError(err::PathFileAccess, QStringLiteral("The settings file \"%1\" is damaged: %2").arg(path, why),
                           source);
    return snapshot;
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

#include "UnreadableFile.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::test {

namespace {
const char* const kDevice = "/dev/zero";

// The damaged kinds' bytes; none for the others.
QByteArray damagedBytes(const std::string& kind) {
    if (kind == "emptied") return QByteArray("");
    if (kind == "bom_only") return QByteArray("\xEF\xBB\xBF");
    if (kind == "binary_junk") return QByteArray("[General]\nBaseDeDatos=x\n\0\x01\x7F\xFE\x13\0junk", 34);
    if (kind == "cut_off") return QByteArray("[PARAMETROS PALM N\xC2\xBA 1]\nNOMBRE=Ruta\nREPAR");
    return QByteArray();
}

bool isDamagedKind(const std::string& kind) {
    return kind == "emptied" || kind == "bom_only" || kind == "binary_junk" || kind == "cut_off";
}
} // namespace

bool makeUnreadable(const QString& path, const std::string& kind) {
    const QByteArray p = QFile::encodeName(path);
    if (isDamagedKind(kind)) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(damagedBytes(kind)) == damagedBytes(kind).size();
    }
    if (kind == "directory") return QDir().mkpath(path);
    if (kind == "fifo") return ::mkfifo(p.constData(), 0600) == 0;
    if (kind == "device_link") return ::symlink(kDevice, p.constData()) == 0;
    if (kind == "no_permission") {
        if (::geteuid() == 0) return false;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write("[General]\nBaseDeDatos=/x\n") < 0) return false;
        f.close();
        return ::chmod(p.constData(), 0) == 0;
    }
    return false;
}

bool stillUnreadable(const QString& path, const std::string& kind) {
    const QByteArray p = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(p.constData(), &st) != 0) return false;
    if (isDamagedKind(kind)) {
        QFile f(path);
        return S_ISREG(st.st_mode) && f.open(QIODevice::ReadOnly) && f.readAll() == damagedBytes(kind);
    }
    if (kind == "directory") return S_ISDIR(st.st_mode) && QDir(path).isEmpty();
    if (kind == "fifo") return S_ISFIFO(st.st_mode);
    if (kind == "device_link") return S_ISLNK(st.st_mode) && QFile::symLinkTarget(path) == QLatin1String(kDevice);
    if (kind == "no_permission") return S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0;
    return false;
}

} // namespace kv::test

#include "app/LaunchSource.h"

#include "app/LaunchString.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {

namespace {

// The file's launch string: its text without the line ends an editor leaves. A file others can
// read or write is refused, as ssh refuses such a key: the password would be anyone's.
ResolvedLaunch fromFile(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {QString(), QStringLiteral("the launch file %1 cannot be read: %2")
                               .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    if (!S_ISREG(st.st_mode)) return {QString(), QStringLiteral("the launch file %1 is not a file").arg(path)};
    if ((st.st_mode & 077) != 0 || st.st_uid != ::getuid())
        return {QString(),
                QStringLiteral("the launch file %1 must be owner-only (chmod 600 %1): it holds the ERP password").arg(path)};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {QString(), QStringLiteral("the launch file %1 cannot be read: %2").arg(path, f.errorString())};
    const QString text = QString::fromUtf8(f.read(64 * 1024));
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return {oneLine.trimmed(), QString()};
}

} // namespace

ResolvedLaunch resolveLaunch(const LaunchSource& source) {
    ResolvedLaunch r;
    if (!source.text.isEmpty()) r.text = source.text;
    else if (!source.file.isEmpty()) r = fromFile(source.file);
    else r.text = qEnvironmentVariable("KVCONTROL_LAUNCH");
    if (!r.error.isEmpty()) return r;

    const QString password = qEnvironmentVariable("KVCONTROL_PASSWORD");
    const QString absent = QStringLiteral("\x01");
    const bool hasPassword = launchValue(r.text, QStringLiteral("@Password"), absent) != absent;
    if (!password.isEmpty() && !r.text.isEmpty() && !hasPassword) {
        if (password.contains(QLatin1Char(';')))
            return {QString(), QStringLiteral("KVCONTROL_PASSWORD cannot hold \";\", the launch string's separator")};
        QString text = r.text;
        if (!text.trimmed().endsWith(QLatin1Char(';'))) text += QLatin1Char(';');
        r.text = text + QStringLiteral("@Password=") + password + QLatin1Char(';');
    }
    return r;
}

} // namespace kv

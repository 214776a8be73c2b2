#include "app/AppHome.h"

#include "app/GeneralFunctions.h"

#include <QDir>
#include <QFileInfo>

namespace kv {

QString AppHome::folder() {
    QString dir = qEnvironmentVariable("KVCONTROL_HOME");
    if (dir.trimmed().isEmpty()) {
        // The desktop's data folder, as every Linux program keeps its files; a relative
        // XDG_DATA_HOME is invalid and ignored, as the base-directory rules say.
        QString data = qEnvironmentVariable("XDG_DATA_HOME");
        if (data.isEmpty() || QDir::isRelativePath(data)) data = QDir::homePath() + QStringLiteral("/.local/share");
        dir = data + QStringLiteral("/kvcontrol");
    }
    dir = QFileInfo(dir).absoluteFilePath();
    QDir().mkpath(dir);
    return CarpetaAplicacion(dir);
}

QString AppHome::file(const QString& name) {
    return folder() + name;
}

void AppHome::set(const QString& dir) {
    qputenv("KVCONTROL_HOME", QFileInfo(dir).absoluteFilePath().toLocal8Bit());
}

} // namespace kv

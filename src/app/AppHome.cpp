#include "app/AppHome.h"

#include "app/GeneralFunctions.h"

#include <QDir>
#include <QFileInfo>

namespace kv {

QString AppHome::folder() {
    QString dir = qEnvironmentVariable("KVCONTROL_HOME");
    if (dir.trimmed().isEmpty()) dir = QDir::homePath() + QStringLiteral("/.local/share/kvcontrol");
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

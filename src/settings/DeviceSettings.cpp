#include "settings/DeviceSettings.h"

#include "app/AppHome.h"
#include "app/SettingsFile.h"

#include <QDir>
#include <QLocale>
#include <cmath>

namespace kv::settings {

QString deviceSection(int device) {
    return QStringLiteral("PARAMETROS PALM Nº ") + QString::number(device);
}

QString readDevice(int device, const QString& key, const QString& fallback) {
    return LeerIni(File, deviceSection(device), key, fallback).trimmed();
}

void writeDevice(int device, const QString& key, const QString& value) {
    GrabarIni(File, deviceSection(device), key, value);
}

QString deviceDisplayName(int device) {
    // Only a device never named is "Nº n"; a name saved empty or as blanks is an empty line.
    return LeerIni(File, deviceSection(device), Nombre, QStringLiteral("Nº ") + QString::number(device)).trimmed();
}

DeviceConnection readDeviceConnection(int device) {
    return {readDevice(device, BaseDeDatos), readDevice(device, Usuario), readDevice(device, Contrasena),
            readDevice(device, Servidor)};
}

QString storePath() {
    // A relative path is the application folder's own file, so a copied folder keeps its store.
    const QString path = LeerIni(File, General, QStringLiteral("BaseDeDatos"), QStringLiteral("kvpalmsync.mdb"));
    return path.trimmed().isEmpty() || QDir::isAbsolutePath(path.trimmed()) ? path : AppHome::file(path);
}

bool solicitaBase() {
    return LeerIni(File, General, QStringLiteral("SolicitaBase"), QStringLiteral("no"))
               .compare(QStringLiteral("si"), Qt::CaseInsensitive) == 0;
}

QString singleText(float value) {
    // The shortest text that reads back as the same single-precision number.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    return c.toString(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<float> readPosition(const QString& key, float fallback) {
    const QString text = LeerIni(File, Posicionamiento, key, singleText(fallback)).trimmed();
    bool ok = false;
    // Files written on a workstation with a decimal comma read the same.
    const double v = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return float(v);
}

void writePosition(const QString& key, float twips) {
    GrabarIni(File, Posicionamiento, key, singleText(twips));
}

} // namespace kv::settings

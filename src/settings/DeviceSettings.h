#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kv {

// What the program keeps in "CN000pr.INI": where the local sync store is, where the console
// window was, and one parameter record per handheld. All access goes through LeerIni/GrabarIni.
namespace settings {

inline const QString File = QStringLiteral("CN000pr.INI");
inline const QString General = QStringLiteral("General");
inline const QString Posicionamiento = QStringLiteral("Posicionamiento");

// Keys of a device section, in the order the parameters dialog lists its fields.
inline const QString Nombre = QStringLiteral("NOMBRE");
inline const QString Servidor = QStringLiteral("SERVIDOR");
inline const QString BaseDeDatos = QStringLiteral("BASE DE DATOS");
inline const QString Usuario = QStringLiteral("USUARIO");
inline const QString Contrasena = QStringLiteral("CONTRASEÑA");
inline const QString Reparto = QStringLiteral("REPARTO");
inline const QString Cliente = QStringLiteral("CLIENTE");

// "PARAMETROS PALM Nº " followed by the number, without leading zeros or blanks.
QString deviceSection(int device);

// A device value, trimmed (the program uses every device value trimmed).
QString readDevice(int device, const QString& key, const QString& fallback = QString());
// Stores a device value exactly as given.
void writeDevice(int device, const QString& key, const QString& value);
// The tile caption's name: NOMBRE trimmed (empty when stored empty or blank), "Nº " and the
// number only when the key is missing.
QString deviceDisplayName(int device);

struct DeviceConnection {
    QString baseDeDatos, usuario, contrasena, servidor;
};
DeviceConnection readDeviceConnection(int device);

// "General": the local sync store path (as read; default the application folder followed by
// "kvpalmsync.mdb") and whether the operator must locate the store at every start.
QString storePath();
bool solicitaBase();

// "Posicionamiento": window position and size in twips as single-precision numbers. A value
// that is not a number gives nullopt (the window keeps that property).
std::optional<float> readPosition(const QString& key, float fallback);
void writePosition(const QString& key, float twips);
// The text a single-precision value is stored as.
QString singleText(float value);

} // namespace settings
} // namespace kv

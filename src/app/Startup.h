#pragma once

#include "app/LaunchString.h"

#include <QString>

namespace kv {

// The program-wide values start-up sets and the rest of the program reads.
struct ProgramValues {
    QString usuarioLogeado; // the user actually connected
    QString caja = QStringLiteral("1");
    QString carpeta;        // the application folder, ending with "/"
    // Lookup settings handed to the lookup class.
    QString lookupConnString;
    bool usarMascarasConsultas = false;
    QString rutaMascaraConsultas;
};
ProgramValues& program();

// Reads the launch string and opens the ERP database (asking through the connection dialog
// when it names no server). Returns whether the ERP connection was made; without it the
// program ends. `writeFiles` false leaves a missing lookup map file unwritten (a check that
// must change nothing).
bool LeerParametrosInicio(const QString& commandText, const QString& connString = QString(),
                          int cursorLocation = 3, bool writeFiles = true);
// Opens the local sync store named by the settings file (asking for it when it is missing).
void AbrirBaseLocal();
// The whole start-up before the console: both steps. Returns false when the program must end.
bool IniciarPrograma(const QString& launchString);

// The status bar's panels 2 and 3: "USUARIO: " and the user (or empty), "Versión " and the version.
QString panelUsuario();
QString panelVersion();

// Starts another program of the suite: "shell:" + program name; the launch string is handed to
// it as one argument. Returns the process id, 0 when it could not start.
qint64 MenuExes(const QString& opcion, const QString& parametroAdicional);

} // namespace kv

#pragma once

#include <QString>
#include <QStringList>

namespace kv {

// The launch string the suite's programs start each other with: ";"-separated items, each a
// key beginning with "@", "=" and a value.
struct LaunchValues {
    QString server;   // "@Server"; a leading "#" marks an Oracle server
    QString dbName;   // "@DbName"
    QString user;     // "@Usuario"
    QString password; // "@Password"
    QString caja;     // "@Caja", default "1"
    QString motor;    // "@Motor": sqlserver (default), oracle, postgresql, sqlite
};

// The value of one key: found without regard to case, only where the next non-blank character
// after the key is "=" (so "@Usuario" is not found inside "@UsuarioLogeado"); the text up to
// the next ";", with every "=" removed and trimmed; empty when no ";" follows; `absent` when the
// key does not occur.
QString launchValue(const QString& text, const QString& key, const QString& absent = QString());
LaunchValues readLaunchString(const QString& text);

// The launch string of a program started by the suite: its whole command line, the arguments
// joined with blanks (a suite program may pass it as one argument or split at its blanks).
QString launchStringFromArguments(const QStringList& arguments);

// The host part of a server text: after the first "/", before the first ":".
QString NormalizarServidor(const QString& server);

// The launch string written to start another program of the suite.
struct LaunchContext {
    QString server, dbName, user, password, loggedUser, caja, motor;
};
QString buildLaunchString(const LaunchContext& c, const QString& parametroAdicional);

} // namespace kv

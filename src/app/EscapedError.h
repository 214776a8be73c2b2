#pragma once

#include <QString>
#include <QTextStream>
#include <exception>

namespace kv {

// An error no trap handled that reached a command handler, the event loop or a tool's main. It
// is shown through the error treatment with the procedure's name, and the program goes on (or
// the tool ends with status 1): never an abort.

// The error prompt with an OK button only: nothing is left to retry or ignore.
void MostrarError(std::exception_ptr error, const QString& procedure);
// A tool's form of it, "TITLE: TEXT" on err. Returns the exit status, 1.
int ReportarError(QTextStream& err, std::exception_ptr error, const QString& procedure);

} // namespace kv

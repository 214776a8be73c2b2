#pragma once

#include <QString>
#include <QVariant>

namespace kv {

// The service library's settings-file object. `file` is a bare name such as "CN000pr.INI",
// meaning that file in the application folder, or an absolute path. The layout is the one
// IniDocument describes; files are read as UTF-8 or Windows-1252 and written as UTF-8.

// The stored text, or the default as text ("" for Null, "1234.5" for the number 1234.5) when the
// file, the section or the key does not exist. A file that exists but cannot be read (a folder or
// a pipe in its place, no permission, a link to a device) or reads as damaged (IniDocument::damage:
// emptied, binary data, cut off) reads as missing, and the operator is told once why.
QString LeerIni(const QString& file, const QString& section, const QString& key,
                const QVariant& defaultValue = QVariant());

// Stores the value exactly as given, creating the file (owner-only), the section and the key as
// needed. The file is replaced as a whole, under a lock that other writers of it also take, so a
// crash or a concurrent writer never leaves it half written. Throws RunTimeError, writing
// nothing, for names or a value the file cannot hold or a file that cannot be written.
void GrabarIni(const QString& file, const QString& section, const QString& key, const QString& value);

// Throws RunTimeError naming the file when it exists but cannot be read or reads as damaged: for
// callers whose defaults would widen what they do (an export without its filters).
void ComprobarIni(const QString& file);

// Where a settings file name leads.
QString RutaIni(const QString& file);

} // namespace kv

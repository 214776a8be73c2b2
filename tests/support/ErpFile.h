#pragma once

#include <QString>
#include <QStringList>

namespace kv::test {

// Creates an SQLite file and runs the statements on it, in order (the test fails on the first
// that does not run).
void makeSqliteDatabase(const QString& path, const QStringList& statements);

// Points the program's ERP data-access object at an SQLite file and opens it, as start-up
// does for an ERP database in a file.
void connectErpFile(const QString& path);

} // namespace kv::test

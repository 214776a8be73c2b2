#pragma once

#include <QList>
#include <QString>

namespace kv {

// What a column of an ERP object must hold for the program to write or read it.
enum class ColumnUse { Any, Number, Date };

struct ObjectColumns {
    QString object;
    QList<QPair<QString, ColumnUse>> columns;
    // The statement the receive opens on the object, as written in the program (its "?" bound
    // with the values read); empty for objects the receive does not open.
    QString statement;
    bool written = false; // the receive adds rows to it
};

// The ERP objects the receive reads and writes, each with every column its column maps assign
// (or, for the client, read), as DocumentImport and LineImport name them.
const QList<ObjectColumns>& importObjects();
// The statement the receive opens on an object of importObjects(), by the object's name.
const QString& importStatement(const char* object);

} // namespace kv

#pragma once

#include <QList>
#include <QString>

namespace kv {

// What a column of an ERP object must hold for the program to write or read it.
enum class ColumnUse { Any, Number, Date };

struct ObjectColumns {
    QString object;
    QList<QPair<QString, ColumnUse>> columns;
};

// The ERP objects the receive reads and writes, each with every column its column maps assign
// (or, for the client, read), as DocumentImport and LineImport name them.
const QList<ObjectColumns>& importObjects();

} // namespace kv

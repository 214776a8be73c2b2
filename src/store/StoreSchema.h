#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kv {

// The column types of the local sync store, as the file database it stands for knows them.
// Text is text(n); LongText has no declared limit; Double is an 8-byte float; Integer is a 32-bit
// signed integer; Boolean holds 0 or 1; Date is an ISO "YYYY-MM-DD" text, not checked, because a
// handheld may leave anything there and the import has to cope with it.
enum class ColumnKind { Text, LongText, Double, Integer, Boolean, Date };

struct StoreColumn {
    QString name;
    ColumnKind kind = ColumnKind::Text;
    int length = 0; // the n of text(n); 0 for every other kind
    bool nullable = true;

    // "text(4)", "long text", "double", "integer", "Boolean" or "date".
    QString typeName() const;
};

struct StoreTable {
    // master: refilled by every send; document: brought home by a receive; open items: read
    // by the handheld only.
    enum Kind { Master, Document, OpenItems };

    QString name;
    Kind kind = Master;
    QList<StoreColumn> columns; // in the order the export fills them / the handheld holds them
    QString keySpec;            // exactly as registered with the conduit: "0:IDLISTA,1:NOMBRE,..."
    QStringList keyColumns;     // the column names of keySpec, in its order

    // The column named `name` in any letter case, or nullptr.
    const StoreColumn* column(const QString& name) const;
};

// "master", "document" or "open items".
QString kindName(StoreTable::Kind kind);

// The sixteen tables in the order the conduit registers them.
const QList<StoreTable>& storeTables();

// The table named `name` in any letter case, or nullptr.
const StoreTable* findStoreTable(const QString& name);

// The statements that create `table` in an SQLite database: CREATE TABLE with one named CHECK
// per column rule, then the UNIQUE index over its key columns.
QStringList storeTableStatements(const StoreTable& table);
// The same table with only its key columns (as declared in the store) and the same UNIQUE index:
// what decides, with the store's own words, whether two rows would share a key.
QStringList storeKeyStatements(const StoreTable& table);

// An SQL identifier in double quotes ("DEBE-HABER" needs them).
QString quoteIdentifier(const QString& name);

} // namespace kv

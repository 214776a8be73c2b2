#pragma once

#include "ErpSchema.h"

#include <memory>

namespace kv::erp {

struct ConnInfo;

// Where the objects and rows go: everything between open and commit() is one transaction,
// and a writer destroyed without commit() leaves nothing behind. Failures throw RunTimeError.
class ErpWriter {
public:
    virtual ~ErpWriter() = default;
    virtual void execute(const QString& sql) = 0;
    // Rows of one object, in the order of its written columns; rows go in batches, so a refused
    // row may only be reported at the next addRow or at endRows.
    virtual void beginRows(const ErpObject& object) = 0;
    virtual void addRow(const Row& row) = 0;
    virtual void endRows() = 0;
    // The names among `names` (any letter case) that the database holds already.
    virtual QStringList existingObjects(const QStringList& names) = 0;
    virtual void commit() = 0;
};

// A new SQLite database at `path`, which must not exist yet: each row through one prepared
// statement.
std::unique_ptr<ErpWriter> openSqliteWriter(const QString& path);

// A PostgreSQL database: rows as INSERT statements of a thousand rows each, the values written
// as literals (one round trip per thousand rows instead of per row).
std::unique_ptr<ErpWriter> openPostgresWriter(const ConnInfo& info);

// How a batch carries a column: an array of this type, one element per row.
QString postgresArrayType(ColumnType type);
// Appends a value as an element of that array inside a single-quoted SQL literal (NULL for Null).
void appendArrayElement(QString& out, const QVariant& value, ColumnType type);

} // namespace kv::erp

#pragma once

#include <QStringList>
#include <QVariant>
#include <memory>

struct sqlite3_stmt;

namespace kv {

class Connection;

// The rows of a statement read one at a time, for copying into an SQLite file without holding
// the result whole: an SQLite source is read through the engine itself (its values go across
// unchanged), PostgreSQL through a server-side cursor fetched in batches, ODBC forward-only.
class RowStream {
public:
    virtual ~RowStream() = default;

    // The statement is sent as given (already in the engine's dialect). Throws RunTimeError.
    static std::unique_ptr<RowStream> open(Connection& connection, const QString& statement);

    virtual QStringList columns() const = 0;
    // Moves to the next row; false after the last. Throws RunTimeError when reading fails.
    virtual bool next() = 0;
    // Binds column `column` of the current row to parameter `parameter` of an SQLite statement;
    // the destination column's affinity and checks do the conversion.
    virtual void bind(sqlite3_stmt* destination, int parameter, int column) const = 0;
    // Column `column` of the current row as a value (Null: a null QVariant; binary: QByteArray).
    virtual QVariant value(int column) const = 0;
};

// Binds a value to parameter `parameter` of an SQLite statement: Null, integers, reals, binary
// data as a blob, dates as ISO text, anything else as its text.
void bindValue(sqlite3_stmt* statement, int parameter, const QVariant& value);

} // namespace kv

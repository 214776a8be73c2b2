#pragma once

#include <QString>

namespace kv::dialect {

// The program writes its statements in the SQL Server dialect. These pure functions rewrite a
// statement for the engine that receives it; text inside quoted literals is never touched.

// SQLite: TOP n becomes LIMIT n, [name] becomes "name", DELETE * FROM becomes DELETE FROM,
// ISNULL( becomes IFNULL(, LEN( becomes LENGTH(.
QString toSqlite(const QString& sql);

} // namespace kv::dialect

#pragma once

#include <QString>

namespace kv::dialect {

// The program writes its statements in the SQL Server dialect. These pure functions rewrite a
// statement for the engine that receives it; text inside quoted literals is never touched.

// A TOP that LIMIT cannot express (PERCENT, WITH TIES, over a UNION) throws RunTimeError 5.
// SQLite: TOP n becomes LIMIT n (closing the query or subquery it belongs to), [name] becomes "name", DELETE
// * FROM becomes DELETE FROM, ISNULL( becomes IFNULL(, LEN( becomes LENGTH(, CHARINDEX(a, b) becomes INSTR(b,
// a).
QString toSqlite(const QString& sql);

// PostgreSQL: as for SQLite, and ISNULL( becomes COALESCE(, LIKE becomes ILIKE (the ERP compares
// texts without regard to case), CHARINDEX(a, b) becomes STRPOS(b, a), and [name] becomes an
// unquoted name (the ERP's objects are created unquoted, so they fold to lower case).
QString toPostgres(const QString& sql);

// A text as a quoted literal of any of the dialects: its apostrophes doubled.
inline QString literal(const QString& text) {
    QString t = text;
    return QLatin1Char('\'') + t.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

} // namespace kv::dialect

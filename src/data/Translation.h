#pragma once

#include "data/Engine.h"

#include <QString>

namespace kv {

// The program's statements are written in the SQL Server dialect and name the ERP's tables
// directly. These two rewrites of DB_Dll adapt a statement before it reaches the database; both
// are pure functions of the text and of the object's gEsAdmin / gConnString, which the caller
// passes. Every search and replacement ignores letter case and replaces every occurrence, and
// none looks inside a quoted literal: a value from outside, quoted with its apostrophes doubled,
// comes out as it went in (on Oracle a literal that is a whole date becomes TO_DATE).

// Sends a user who is not an administrator to the restricted SS_ synonyms of the accounting and
// treasury objects, and removes the "@Admin_" markers with which a statement asks for the real
// object (a name written right after the marker keeps its own name). For an administrator only
// the markers are removed.
QString SS_TSinonimos(const QString& sql, bool esAdmin);

// Rewrites a SQL Server statement for Oracle (TOP as ROWNUM, LEN, [name], date literals,
// CHARINDEX, CONVERT, empty-text comparisons, date style 103, SUBSTRING, ISNULL) when the
// connection string names Oracle; on any other connection the statement is returned as it is.
// Throws RunTimeError 5 for a TOP clause with no blank after its row count and for a single
// quote that is never closed.
QString ORACLE_Dicc(const QString& valor, const QString& connString);

// A statement (SQL Server dialect) in the dialect of `engine`: Oracle's ORACLE_Dicc,
// PostgreSQL's and SQLite's rewrites, SQL Server's as written.
QString dialectFor(Engine engine, const QString& sql);
// A statement exactly as the data layer sends it: the synonyms (for a user who is not an
// administrator), then the engine's dialect.
QString statementAsSent(const QString& sql, Engine engine, bool esAdmin);

} // namespace kv

#pragma once

#include "data/Engine.h"

#include <QString>

namespace kv {

// The statements that ask an ERP server, reading only, whether the connected user may do what
// the program will do: add rows to an object, and take the import's named lock. Each returns one
// row: the first column 1 when the user may, 0 when not; the second, when not empty, names what
// else is missing (PostgreSQL: the sequences an insert draws from). Pure text per engine, so each
// engine's statement is checked without its server. Empty on SQLite, where writing is a matter of
// the file itself.

// `name` is the object as the program's INSERT names it (PostgreSQL: the quoted lower-case name;
// SQL Server and Oracle: the plain name).
QString insertPrivilegeStatement(Engine e, const QString& name);
// The import's lock: Oracle's DBMS_LOCK needs EXECUTE; the other engines' locks need nothing
// (empty).
QString importLockPrivilegeStatement(Engine e);

} // namespace kv

#pragma once

#include "sync/SyncRun.h"

#include <QString>

namespace kv {

class Recordset;

// The documents of the local sync store into the ERP database: each one the ERP does not hold
// yet is written whole (header and lines, in one transaction), the others are counted as left
// out, and a summary message ends the import.
void ImportarComprobantes(SyncRunState& run);

// The duplicate tests, on the ERP connection: the ordinary document / the control-sheet row.
bool ExisteComprobante(const QString& tc, const QString& sucursal, const QString& numero, const QString& letra);
bool ExistePlanilla(const QString& tc, const QString& sucursal, const QString& numero, const QString& letra);

// The next control-sheet number: "0000" + 8 digits + "X", from the highest one stored.
QString NuevaPlanilla();
// The number that follows a stored maximum (characters 5 to 12, as they are read).
QString planillaAfter(const QString& maximum);

// The parts of a document key: type (2), branch (4), number (8), letter (1), by position.
struct DocumentKey {
    QString tc, sucursal, numero, letra;
    QString idComprobante() const { return sucursal + numero + letra; }
};
DocumentKey splitKey(const QString& key);
// What the duplicate test looks for: the type code and number as the import writes them.
DocumentKey writtenKey(SyncRunState& run, Recordset& docs, const DocumentKey& k);
bool unusableKey(const QString& key);

// A column name written in the program as a literal, as text: converted once, since the same
// literals name the columns of every document and line.
const QString& columnName(const char* column);

// A value from the handheld inside a quoted literal: its apostrophes doubled.
QString sqlText(const QString& value);
// A column's value turned into text; Null cannot be (error 94, "Invalid use of Null").
QString textOf(const QVariant& value);

} // namespace kv

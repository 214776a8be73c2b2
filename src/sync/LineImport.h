#pragma once

#include "sync/DocumentImport.h"

namespace kv {

class Recordset;

// A document's lines from the local sync store into the ERP: task lines for work orders, and
// for orders, delivery notes and quotes control-sheet lines (control-sheet mode) or supply
// lines. `lines` is positioned on the document's first line; it is read to its end.
void ImportarTareas(SyncRunState& run, const DocumentKey& key, Recordset& lines);
void ImportarDetalle(SyncRunState& run, const DocumentKey& key, Recordset& lines);

} // namespace kv

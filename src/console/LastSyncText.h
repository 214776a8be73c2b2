#pragma once

#include "history/HistoryFile.h"

namespace kv {

// What a device's tile says about its last sync (`last` null: it never synced), in two parts
// that the tile shows on two rows: "Última sincronización: 11/12 17:05" and "intercambio correcto".
struct LastSyncText {
    QString when;
    QString outcome; // empty when it never synced
    // Both on one line: "Última sincronización: 11/12 17:05 · intercambio correcto".
    QString line() const;
};

LastSyncText lastSyncText(const history::Record* last);

} // namespace kv

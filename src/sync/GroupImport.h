#pragma once

#include "sync/DocumentImport.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace kv {

class Recordset;
struct ColumnIndex;

// What the documents of a group read from the ERP and the store, each read once for the whole
// group instead of once per document.
struct GroupReads {
    int first = 0;                    // the place of the group's first document
    int count = 0;                    // how many follow from there
    QList<bool> exists;               // by place in the group: the ERP holds the document already
    QStringList clientColumns;        // the client lookup's columns, as the engine names them
    std::shared_ptr<const ColumnIndex> clientIndex;
    QHash<QString, QVariantList> clients; // by the code as the document holds it
    QStringList lineColumns;
    std::shared_ptr<const ColumnIndex> lineIndex;
    QHash<QString, QList<QVariantList>> lines; // by document key, in the order the store gives them
};

// The documents from `docs`'s current place (at most `most`) that can be written as one group,
// and what they read; `docs` is left where it was. A group ends before a document whose key the
// engines cannot be given, one that names no key or client, and one whose written key repeats
// one of the group's (the engine decides how those compare). Throws when a read fails.
GroupReads readGroup(SyncRunState& run, Recordset& docs, int most);

// The rows kept while the group was written, as few statements as the engine allows.
void writeKeptRows(SyncRunState& run, Recordset& newDoc, Recordset& newSheet);
// Back to writing each row at once, the kept ones forgotten.
void stopKeepingRows(SyncRunState& run, Recordset& newDoc, Recordset& newSheet);

// A document's client as a group read it; fails as a lookup that finds no row would.
void openGroupClient(const GroupReads& group, const QString& code, Recordset& client);

} // namespace kv

#pragma once

#include <QElapsedTimer>
#include <QString>

namespace kv {

class Connection;

// The import's writes on the ERP connection, grouped: one transaction holds many documents, each
// inside a savepoint of its own, so a document is whole or absent while the disk is flushed once
// per group instead of once per document. A group is committed after kGroupDocuments documents
// or kGroupMilliseconds, whichever comes first, so another program's writes wait little.
//
// Another import on the same ERP (another process, another workstation) waits for this one: a
// named lock of the database is held for the length of the import, and on SQLite each group
// takes the file's write lock as it begins. The duplicate test of a document runs inside its
// group, so it always sees what any import has written.
class ImportBatch {
public:
    static constexpr int kGroupDocuments = 500;
    static constexpr int kGroupMilliseconds = 250;

    // `reads`, when given, is read inside a transaction of its own that follows the groups, so
    // its file is not locked and checked again for every statement.
    explicit ImportBatch(Connection& erp, Connection* reads = nullptr) : m_c(erp), m_reads(reads) {}
    ~ImportBatch() { leave(); }
    ImportBatch(const ImportBatch&) = delete;
    ImportBatch& operator=(const ImportBatch&) = delete;

    // Waits for and takes the import lock of the ERP, and opens the first group.
    void lock();
    // Opens the group when none is open, then the document's savepoint.
    void beginDocument();
    // The document is whole: its savepoint is released and a full group committed.
    void documentDone();
    // The document is given up: everything it wrote is undone, the group goes on.
    void dropDocument();
    // Commits the group and releases the lock.
    void finish();
    // The import is left: the document being written is undone, the whole ones committed, the
    // lock released. Never throws: a lost connection has already undone the group itself.
    void leave();

private:
    void openGroup();
    void commit();

    Connection& m_c;
    Connection* m_reads;
    bool m_locked = false;
    bool m_inDocument = false;
    int m_documents = 0;
    QElapsedTimer m_since;
};

} // namespace kv

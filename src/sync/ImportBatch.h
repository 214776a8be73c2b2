#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace kv {

class Connection;

// The import's writes on the ERP connection, grouped: one transaction holds many documents, each
// inside a savepoint of its own, so a document is whole or absent while the disk is flushed once
// per group instead of once per document. A group is committed after kGroupDocuments documents
// or kGroupMilliseconds, whichever comes first, so another program's writes wait little.
//
// Another import on the same ERP (another process, another workstation) waits for this one: a
// named lock of the database is held while the import writes, and on SQLite each group takes the
// file's write lock as it begins. The duplicate test of a document runs inside its group, so it
// always sees what any import has written.
//
// Nothing is held while a person is asked: pause() commits the whole documents and gives the
// lock back, and the next document takes it again. A document counts only once its group is
// committed: `committed` hears of each group's documents then, and of no others.
class ImportBatch {
public:
    static constexpr int kGroupDocuments = 500;
    static constexpr int kGroupMilliseconds = 250;

    struct Entry {
        QString key;
        bool skipped = false; // found in the ERP already
    };
    using Committed = std::function<void(const QList<Entry>&)>;

    // `reads`, when given, is read inside a transaction of its own that follows the groups, so
    // its file is not locked and checked again for every statement. `lockWaitSeconds` bounds the
    // wait for another import's lock.
    ImportBatch(Connection& erp, Connection* reads, int lockWaitSeconds, Committed committed);
    ~ImportBatch() { leave(); }
    ImportBatch(const ImportBatch&) = delete;
    ImportBatch& operator=(const ImportBatch&) = delete;

    // How often a wait for another import's lock looks again: a person waiting is served every
    // 200 ms; handhelds that exchange on their own queue on the lock one after another, and each
    // look missed is time the ERP's import stands idle.
    void setLockPoll(int milliseconds) { m_lockPoll = milliseconds; }
    // Takes the import lock of the ERP and opens the first group. While another import holds the
    // lock the status window says so; after the bound it fails with that reason.
    void lock();
    // Opens the group when none is open (taking the lock again after a pause), then the
    // document's savepoint. `row` is the document's place among those being imported. True when
    // the lock was taken again after a pause: another import may have written meanwhile.
    bool beginDocument(int row);
    // The document is whole: its savepoint is released and a full group committed.
    void documentDone(const QString& key);
    // The document is in the ERP already: nothing of it is kept, it counts as left out.
    void documentSkipped(const QString& key);
    // The document is given up: everything it wrote is undone, the group goes on.
    void dropDocument();
    // Many documents written together, inside one savepoint, so they are whole or absent
    // together: between beginGroup and groupDone, beginDocument opens nothing, documentDone and
    // documentSkipped note the document for groupDone, and dropDocument undoes the whole group.
    // While one is open a failure is not shown to anyone (ImportPrompts): the group is undone and
    // its documents are written again one at a time.
    bool beginGroup(int row);
    void groupDone();
    bool inGroup() const { return m_grouped; }
    // Commits the group and releases the lock.
    void finish();
    // Before a person is asked: the document being written is undone, the whole ones committed,
    // the lock released. Never throws. When the group could not be committed (its documents are
    // not in the ERP), the place of its first document, so they can be written again.
    std::optional<int> pause();
    // The import is left: as pause(), never throws.
    void leave();

    bool inDocument() const { return m_inDocument; }

private:
    void openGroup();
    void commit();
    void takeLock();
    void releaseLock();
    void rollbackGroup();

    Connection& m_c;
    Connection* m_reads;
    int m_lockWait;
    int m_lockPoll = 200;
    Committed m_committed;
    bool m_locked = false;
    bool m_paused = false;
    bool m_inDocument = false;
    bool m_grouped = false;
    QList<Entry> m_groupEntries; // the open group of documents written together
    QList<Entry> m_pending; // the open group's documents
    int m_groupRow = -1;    // the place of its first one
    std::optional<int> m_lostRow;
    QElapsedTimer m_since;
    void commitWhenFull();
};

} // namespace kv

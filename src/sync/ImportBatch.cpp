#include "sync/ImportBatch.h"

#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "data/Engine.h"

#include <QThread>
#include <utility>

namespace kv {

namespace {
const QString kLock = QStringLiteral("kvcontrol document import");
const QString kDocument = QStringLiteral("kv_document");
} // namespace

ImportBatch::ImportBatch(Connection& erp, Connection* reads, int lockWaitSeconds, Committed committed)
    : m_c(erp), m_reads(reads), m_lockWait(lockWaitSeconds), m_committed(std::move(committed)) {}

void ImportBatch::takeLock() {
    if (m_locked) return;
    if (!m_c.tryLockNamed(kLock)) {
        // Another workstation imports into this ERP: wait for it, saying so, within the bound.
        StatusWindow& status = op().statusWindow();
        const QString waiting = QStringLiteral("another import of this ERP is under way");
        status.showTexts(waiting, QStringLiteral("waiting for it, at most %1 s").arg(m_lockWait));
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            op().processEvents();
            if (waited.hasExpired(qint64(m_lockWait) * 1000))
                throw RunTimeError(err::ProviderError,
                                   waiting + QStringLiteral(": waited %1 s for it (ImportLockTimeout in CN000pr.INI, "
                                                            "section \"General\")")
                                                 .arg(m_lockWait),
                                   QStringLiteral("ImportarComprobantes"));
            QThread::msleep(m_lockPoll);
            if (m_c.tryLockNamed(kLock)) break;
        }
    }
    m_locked = true;
}

void ImportBatch::releaseLock() {
    if (!m_locked) return;
    m_locked = false;
    m_c.unlockNamed(kLock);
}

void ImportBatch::lock() {
    takeLock();
    // On SQLite the first group's write lock is the import lock: what is read before the first
    // document (the control-sheet number) is read under it as well.
    openGroup();
}

void ImportBatch::openGroup() {
    if (m_c.inTransaction()) return;
    takeLock();
    if (m_reads && !m_reads->inTransaction()) m_reads->beginTrans();
    // On SQLite the file's write lock is the import lock: the group waits for it as long as for
    // another import's, then the statements go back to their own bound.
    struct WaitAsForTheImportLock {
        Connection& c;
        const bool fileLock;
        const int statements;
        WaitAsForTheImportLock(Connection& c, int seconds)
            : c(c), fileLock(c.engine() == Engine::Sqlite), statements(c.lockTimeout()) {
            if (fileLock) c.setLockTimeout(seconds);
        }
        ~WaitAsForTheImportLock() {
            if (fileLock) c.setLockTimeout(statements);
        }
    } wait(m_c, m_lockWait);
    m_c.beginTrans();
    m_pending.clear();
    m_groupRow = -1;
    m_since.start();
}

bool ImportBatch::beginDocument(int row) {
    if (m_grouped) return false;
    const bool again = m_paused;
    openGroup();
    m_paused = false;
    if (m_pending.isEmpty() && m_groupRow < 0) m_groupRow = row;
    m_c.savepoint(kDocument);
    m_inDocument = true;
    return again;
}

bool ImportBatch::beginGroup(int row) {
    const bool again = beginDocument(row);
    m_grouped = true;
    m_groupEntries.clear();
    return again;
}

void ImportBatch::groupDone() {
    if (!m_grouped) return;
    m_c.releaseSavepoint(kDocument);
    m_grouped = false;
    m_inDocument = false;
    m_pending.append(std::exchange(m_groupEntries, {}));
    commitWhenFull();
}

void ImportBatch::commitWhenFull() {
    if (m_pending.size() >= kGroupDocuments || m_since.hasExpired(kGroupMilliseconds)) commit();
}

void ImportBatch::documentDone(const QString& key) {
    if (m_grouped) {
        m_groupEntries.append({key, false});
        return;
    }
    if (!m_inDocument) return;
    m_c.releaseSavepoint(kDocument);
    m_inDocument = false;
    m_pending.append({key, false});
    commitWhenFull();
}

void ImportBatch::documentSkipped(const QString& key) {
    if (m_grouped) {
        m_groupEntries.append({key, true});
        return;
    }
    dropDocument();
    m_pending.append({key, true});
}

void ImportBatch::dropDocument() {
    m_grouped = false;
    m_groupEntries.clear();
    if (!m_inDocument) return;
    m_inDocument = false;
    m_c.rollbackToSavepoint(kDocument);
    m_c.releaseSavepoint(kDocument);
}

void ImportBatch::rollbackGroup() {
    for (Connection* c : {&m_c, m_reads}) {
        try {
            if (c && c->state() && c->inTransaction()) c->rollbackTrans();
        } catch (...) {
            // A lost connection has already undone the transaction on the server.
        }
    }
}

void ImportBatch::commit() {
    if (m_c.state() && m_c.inTransaction()) {
        try {
            m_c.commitTrans();
        } catch (...) {
            // Never committed again: after a failed commit some engines would report a second one
            // as done over a transaction that is gone. The group's documents are not in the ERP.
            m_lostRow = m_groupRow;
            m_pending.clear();
            rollbackGroup();
            throw;
        }
    }
    const QList<Entry> done = std::exchange(m_pending, {});
    m_groupRow = -1;
    if (!done.isEmpty() && m_committed) m_committed(done);
    if (m_reads && m_reads->state() && m_reads->inTransaction()) m_reads->commitTrans();
}

void ImportBatch::finish() {
    commit();
    releaseLock();
}

std::optional<int> ImportBatch::pause() {
    try {
        dropDocument();
        commit();
    } catch (...) {
        if (!m_lostRow) m_lostRow = m_groupRow;
        m_pending.clear();
        rollbackGroup();
    }
    try {
        releaseLock();
    } catch (...) {
        // The session's end releases it on the server.
    }
    m_locked = false;
    m_inDocument = false;
    m_paused = true;
    std::optional<int> lost = std::exchange(m_lostRow, std::nullopt);
    if (lost && *lost < 0) lost.reset(); // a group without documents lost nothing
    return lost;
}

void ImportBatch::leave() {
    pause();
}

} // namespace kv

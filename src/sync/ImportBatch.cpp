#include "sync/ImportBatch.h"

#include "data/Connection.h"

namespace kv {

namespace {
const QString kLock = QStringLiteral("kvcontrol document import");
const QString kDocument = QStringLiteral("kv_document");
} // namespace

void ImportBatch::lock() {
    if (!m_locked) {
        m_c.lockNamed(kLock);
        m_locked = true;
    }
    // On SQLite the first group's write lock is the import lock: what is read before the first
    // document (the control-sheet number) is read under it as well.
    openGroup();
}

void ImportBatch::openGroup() {
    if (m_c.inTransaction()) return;
    if (m_reads && !m_reads->inTransaction()) m_reads->beginTrans();
    m_c.beginTrans();
    m_documents = 0;
    m_since.start();
}

void ImportBatch::beginDocument() {
    openGroup();
    m_c.savepoint(kDocument);
    m_inDocument = true;
}

void ImportBatch::documentDone() {
    if (!m_inDocument) return;
    m_c.releaseSavepoint(kDocument);
    m_inDocument = false;
    ++m_documents;
    if (m_documents >= kGroupDocuments || m_since.hasExpired(kGroupMilliseconds)) commit();
}

void ImportBatch::dropDocument() {
    if (!m_inDocument) return;
    m_inDocument = false;
    m_c.rollbackToSavepoint(kDocument);
    m_c.releaseSavepoint(kDocument);
}

void ImportBatch::commit() {
    if (m_c.state() && m_c.inTransaction()) m_c.commitTrans();
    if (m_reads && m_reads->state() && m_reads->inTransaction()) m_reads->commitTrans();
}

void ImportBatch::finish() {
    commit();
    if (m_locked) {
        m_locked = false;
        m_c.unlockNamed(kLock);
    }
}

void ImportBatch::leave() {
    try {
        dropDocument();
        finish();
    } catch (...) {
        for (Connection* c : {&m_c, m_reads}) {
            try {
                if (c && c->state() && c->inTransaction()) c->rollbackTrans();
            } catch (...) {
            }
        }
        m_locked = false; // the session's end releases it on the server
    }
}

} // namespace kv

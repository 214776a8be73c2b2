#pragma once

#include "app/Trap.h"
#include "sync/SyncRun.h"

#include <QList>
#include <QString>

namespace kv {

class ImportBatch;
class Recordset;

// Where the import goes on after a person was asked: `row` is the place of the document it
// writes next, from its start (the one that failed, or the first of a group the ERP could not
// commit).
struct ImportRestart {
    int row;
};

// A statement failed while documents were written together (ImportBatch::beginGroup): nobody is
// asked; the group is undone and its documents written again one at a time, where a failure is
// treated as below.
struct GroupFailed {};

// The import's error treatment, in force on the run's trap while the import runs. Before the
// person is asked, the batch is paused: the document being written is undone, the whole ones are
// committed and the ERP's lock is given back, so no other program waits on the answer. Then:
// - Abort (or any leaving answer) ends the import as it is;
// - Retry writes the document again from its start (or the lost group from its first document);
// - Ignore writes the document again from its start, this time going on past the statement that
//   failed, as long as it fails with the same error number (an answer given once is not asked
//   again; the engine's words may differ, naming a new row's generated values).
// Outside a document (between documents, the summary) the answer applies to the statement alone,
// as everywhere else, unless a group was lost: Retry then writes it again.
//
// When nobody can be asked (SyncRunState::unattended) the treatment answers itself: a document
// whose own values the ERP refuses (a constraint, a type, a length) is undone, named in the run's
// `leftOut` with the reason, and the import goes on with the next one; any other failure (the
// connection lost, the lock not got in time, a statement the ERP cannot run at all, a failure
// outside a document) leaves the import, the whole documents committed.
class ImportPrompts {
public:
    ImportPrompts(SyncRunState& run, ImportBatch& batch, const Recordset& docs);
    ~ImportPrompts();
    ImportPrompts(const ImportPrompts&) = delete;
    ImportPrompts& operator=(const ImportPrompts&) = delete;

    // A document's work begins: its statements are counted from here, the same at every attempt.
    void documentBegins();

private:
    int handle(const RunTimeError& e);
    int answerUnattended(const RunTimeError& e, bool inDocument, int row);

    struct Ignored {
        int row;
        SyncRunState::Statement statement;
        long number;
    };
    SyncRunState& m_run;
    ImportBatch& m_batch;
    const Recordset& m_docs;
    Trap::Handler m_ask; // the run's own, which asks the person
    QList<Ignored> m_ignored;
};

} // namespace kv

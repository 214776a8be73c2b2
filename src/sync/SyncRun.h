#pragma once

#include "app/Trap.h"
#include "history/HistoryFile.h"

#include <QHash>
#include <QStringList>
#include <memory>

namespace kv {

class Recordset;
struct GroupReads;

// The receive direction ("Enviar Datos PC"): one run for one handheld that makes sure the ERP
// database is open, registers the conduit for receiving, waits for the cradle sync, switches
// the conduit off and imports the documents the sync brought into the local sync store. It holds
// the wait lock from before it registers the conduit until the conduit is off; only a sync of
// this device's handheld under this run's registration ends its wait.

enum class RunOutcome {
    Imported,         // the import reached its summary
    ConnectionFailed, // the ERP connection could not be opened
    Cancelled,        // the operator cancelled before the sync began
    Left,             // the run was left through the error treatment
    Busy,             // another send or receive was waiting: nothing was done, nothing recorded
};

// What one run shares with its import and line routines.
struct SyncRunState {
    explicit SyncRunState(Trap& t) : trap(t) {}
    Trap& trap;
    bool planillaMode = false; // control-sheet mode ("GM_UsaPlanillaControl" = "SI")
    // Documents counted once their group is committed, never before: the counts, the keys and
    // the history name exactly what the ERP holds.
    qint32 imported = 0;
    qint32 skipped = 0;
    QString planilla; // the control-sheet number of this import
    QStringList importedKeys;
    QStringList skippedKeys;
    QStringList refusedKeys; // keys that cannot be given to the engines as read
    // Nobody can be asked (a handheld that syncs on its own): a document the ERP refuses is left
    // out and named in `leftOut`, and a failure of the ERP itself ends the import.
    bool unattended = false;
    QList<history::RefusedDocument> leftOut;
    QString currentKey; // the document being written
    // The line targets, opened by the first document that needs one and kept for the others.
    QHash<QString, std::shared_ptr<Recordset>> lineTargets;
    // While documents are written together: what their duplicate tests, client lookups and lines
    // read, fetched for all of them at once; and their rows kept to be written together.
    const GroupReads* group = nullptr;
    bool deferInserts = false;
    // The statement being run: where it is written in the program and how many times that place
    // has run in the document so far. A document written again after a prompt knows its
    // statements by it at every attempt, whatever was skipped the second time.
    struct Statement {
        const void* site = nullptr;
        int occurrence = 0;
        bool operator==(const Statement&) const = default;
    };
    Statement current;
    QHash<const void*, int> occurrences; // of the document being written
};

// Thrown when the operator leaves the run through the error treatment: it unwinds to the run,
// rolling back the document being written on the way.
struct RunLeft {};

// Runs one statement under the run's trap; leaving the run throws RunLeft. The statement is
// handed on by reference: an import runs millions of them, and wrapping each one's captures in a
// std::function of its own would allocate every time.
template <class Statement>
void runStatement(SyncRunState& run, Statement&& statement) {
    static const char site = 0; // one for each statement written in the program
    struct Current {
        SyncRunState& run;
        SyncRunState::Statement outer;
        ~Current() { run.current = outer; }
    } current{run, run.current};
    run.current = {&site, ++run.occurrences[&site]};
    auto* s = &statement;
    if (!run.trap.step([s] { (*s)(); })) throw RunLeft{};
}

RunOutcome ActualizaDatos_KVControl(int device, bool receive = true);
// The ERP connection of the program: the open one as it is, otherwise device `device`'s own
// (its settings), opened under the run's error treatment. Whether it is open.
bool openDeviceErp(SyncRunState& run, int device);
// Control-sheet mode, read from the ERP's configuration under the run's error treatment.
bool readPlanillaMode(SyncRunState& run);
// The import alone, on the open ERP and store connections (what the run does after the sync).
RunOutcome importDocuments(SyncRunState& run);

} // namespace kv

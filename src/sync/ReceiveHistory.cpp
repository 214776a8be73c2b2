#include "sync/ReceiveHistory.h"

namespace kv {

history::Record receiveRecord(history::Record job, RunOutcome outcome, const SyncRunState& run) {
    using history::Outcome;
    // Counts only once the import began: before it they say nothing about this run.
    if (!run.planilla.isEmpty() || run.imported || run.skipped) {
        job.imported = run.imported;
        job.skipped = run.skipped;
        job.importedKeys = run.importedKeys;
        job.skippedKeys = run.skippedKeys;
        job.planilla = run.planilla;
    }
    switch (outcome) {
    case RunOutcome::Imported:
        job.outcome = Outcome::Done;
        break;
    case RunOutcome::Cancelled:
        job.outcome = Outcome::Cancelled;
        job.detail = QStringLiteral("Cancelado por el Usuario antes de la sincronización");
        break;
    case RunOutcome::Busy: // never recorded: a refusal changes nothing
        job.outcome = Outcome::Cancelled;
        break;
    case RunOutcome::ConnectionFailed:
        job.outcome = Outcome::Failed;
        job.detail = QStringLiteral("No se pudo conectar con la Base de Datos del ERP");
        break;
    case RunOutcome::Left:
        job.outcome = Outcome::Failed;
        job.detail = run.trap.leavingError() ? run.trap.leavingError()->description()
                                             : QStringLiteral("Se abandonó por el tratamiento de errores");
        break;
    }
    return job;
}

} // namespace kv

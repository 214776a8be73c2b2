#include "console/SendHistory.h"

#include "export/ExportTasks.h"

namespace kv {

void addExportSteps(history::Record& job, const QList<StepOutcome>& steps) {
    for (int i = 0; i < steps.size() && i < exportSteps().size(); ++i) {
        const ExportStep& step = exportSteps().at(i);
        const StepOutcome& o = steps.at(i);
        if (o.executionResult == 1) job.failedSteps << step.description;
        if (o.executionResult == 1 && !o.error.isEmpty())
            job.detail += (job.detail.isEmpty() ? QString() : QStringLiteral("\n")) + step.description +
                          QStringLiteral(": ") + o.error;
        if (!step.destination.isEmpty())
            job.tables << history::TableRows{step.destination, o.rows, o.executionResult == 1};
    }
}

history::Record sendRecord(history::Record job, const SendResult& result) {
    using history::Outcome;
    addExportSteps(job, result.steps);
    if (!result.exported) {
        job.outcome = Outcome::Failed;
    } else if (!result.wait) {
        job.outcome = Outcome::Done;
        job.detail = QStringLiteral("Exportación sin esperar la sincronización");
    } else if (*result.wait == WaitOutcome::Completed) {
        job.outcome = Outcome::Done;
    } else if (*result.wait == WaitOutcome::Cancelled) {
        job.outcome = Outcome::Cancelled;
        job.detail = QStringLiteral("Cancelado por el Usuario antes de la sincronización");
    } else {
        job.outcome = Outcome::Failed;
        job.detail = QStringLiteral("La espera de la sincronización se abandonó por un error");
    }
    return job;
}

} // namespace kv

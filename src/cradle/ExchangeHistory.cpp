#include "cradle/ExchangeHistory.h"

#include "history/JobHistory.h"

namespace kv {

history::Record exchangeRecord(const ExchangeReport& r, history::Outcome outcome, const QString& detail) {
    history::Record job = history::startJob(r.device, history::Direction::Exchange);
    if (r.startedAt.isValid()) job.startedAt = r.startedAt;
    job.outcome = outcome;
    job.detail = detail;
    if (r.importBegan) {
        job.imported = qint32(r.imported.size());
        job.skipped = qint32(r.existing.size());
        job.importedKeys = r.imported;
        job.skippedKeys = r.existing;
        job.planilla = r.planilla;
        job.refused = r.refused;
    }
    job.tables = r.tables;
    job.failedSteps = r.failedSteps;
    return job;
}

} // namespace kv

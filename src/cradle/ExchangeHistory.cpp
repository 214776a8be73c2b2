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
        for (const ExchangeReport::Refused& d : r.refused)
            job.refused.append({d.key, d.reason});
    }
    for (const ExchangeReport::Rows& t : r.tables)
        job.tables << history::TableRows{t.table, t.rows, t.failed};
    job.failedSteps = r.failedSteps;
    return job;
}

} // namespace kv

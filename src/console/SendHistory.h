#pragma once

#include "console/SendCommand.h"
#include "history/HistoryFile.h"

namespace kv {

// The history record of a send that has ended (a refused one has none): rows per master table
// from the export steps, and the outcome -- failed when a step failed or the sync wait was left
// through the error treatment, cancelled when the operator cancelled the wait before the sync
// began.
history::Record sendRecord(history::Record job, const SendResult& result);
// The export's part of a record: the rows of each master table, the failed steps and their
// reasons. For every job that exports (a send, a handheld's exchange).
void addExportSteps(history::Record& job, const QList<StepOutcome>& steps);

} // namespace kv

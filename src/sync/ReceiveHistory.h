#pragma once

#include "history/HistoryFile.h"
#include "sync/SyncRun.h"

namespace kv {

// The history record of a receive that has ended: the documents imported and skipped, with
// their keys, and the control-sheet number as far as the import got; failed with the reason
// when the ERP could not be reached or the run was left through the error treatment.
history::Record receiveRecord(history::Record job, RunOutcome outcome, const SyncRunState& run);

} // namespace kv

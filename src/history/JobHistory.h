#pragma once

#include "history/HistoryFile.h"

namespace kv::history {

// The program's history: "historial.db" in the application folder.
QString historyPath();

// A record for a job starting now: the time (Clock), the device and its display name, the
// direction and the operator logged in.
Record startJob(int device, Direction direction);

// Appends the job's record with its end time. Never throws and never stops the job: when the
// history cannot be written the operator is told once per program run, and the job goes on.
// Returns whether the record was written.
bool recordJob(Record r);
// Records the sync of a send that did not wait (kvctl send --no-wait), when it happens: the
// device, the tables the handheld got with their rows. As recordJob, it never throws.
bool recordSyncWithoutWait(int device, const QList<TableRows>& tables);
// The next failure is told again (a new program run; tests).
void resetFailureNotice();

// The history, oldest first; empty when nothing was ever recorded. Throws RunTimeError when the
// file cannot be read.
QList<Record> readHistory(const Filter& filter = {});
QList<int> historyDevices();
// The newest record of each device, by device number; empty when nothing was ever recorded.
// Throws RunTimeError when the file cannot be read.
QList<Record> lastSyncs();

// One record on one line, as kvctl prints it.
QString historyLine(const Record& r);
// The list dialog's columns for one record, and their titles.
QStringList historyColumns(const Record& r);
QStringList historyColumnTitles();

} // namespace kv::history

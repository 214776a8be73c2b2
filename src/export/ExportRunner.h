#pragma once

#include "export/ExportTasks.h"

#include <QList>
#include <QString>
#include <functional>

namespace kv {

class Connection;
class StepProgress;

// How a step ended, as the runner reads it back.
struct StepOutcome {
    int executionResult = 0; // 1: failure
    int executionStatus = 1; // 4: completed
    qint64 rows = 0;         // rows copied (copy steps)
    QString error;           // why it failed
};

// The step list the export shows (program-wide, reused by the next export).
StepProgress& exportProgress();

// Runs the package: empties the master tables of the store at `storePath` and refills them from
// the ERP connection (`erp`), each copy step in one transaction, showing every step in the step
// progress window. Returns each step's outcome in position order. A step that fails is marked
// "Error" and the following steps still run, except the copy into a table the delete step could
// not empty: it is not run and fails with "not copied: the table could not be emptied", so the
// delete step's cause stands alone instead of under a duplicate-key error for every old row. A
// copy step names each row the store refuses (its table, key and column). An Interrupted thrown
// by the operator's processEvents (before each step's commit, every thousand rows) ends the
// export there, the step under way rolled back.
QList<StepOutcome> EjecutarExportacion(const QString& storePath, const QString& clientFilter,
                                       const QString& priceListFilter, Connection& erp);
// The same on a connection of its own made like the ERP data-access object's.
QList<StepOutcome> EjecutarExportacion(const QString& storePath, const QString& clientFilter,
                                       const QString& priceListFilter);

// Shows one executed step's outcome in the progress window.
void ActualizarEstadoPaso(int position, const StepOutcome& outcome);

// The descriptions of the steps that failed.
QStringList failedSteps(const QList<StepOutcome>& outcomes);

} // namespace kv

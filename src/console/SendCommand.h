#pragma once

#include "conduit/HotSyncWait.h"
#include "export/ExportRunner.h"

#include <QStringList>
#include <optional>

namespace kv {

// The send command ("Enviar Datos PALM"): the device's filters, the export into the local sync
// store, the sync wait and "Proceso Finalizado!!!".
struct SendResult {
    bool exported = false;  // every export step finished
    QStringList failedSteps;
    bool synced = false;    // the sync wait completed (not cancelled)
    QList<StepOutcome> steps;         // each export step's outcome, in position order
    std::optional<WaitOutcome> wait;  // how the sync wait ended; none when it did not run
    bool busy = false;                // another send or receive was under way: nothing was done
};

// waitForSync false stops after the export (kvctl send --no-wait), leaving the conduit
// registered for the device with no one waiting: its next sync takes the export and records
// itself. The send holds the wait lock from its export to the end of its sync wait: while another
// send or a receive is under way it is refused with a message and changes nothing, the history
// included. The conduit is off during the export and stays off when it fails. Every other send,
// however it ends, leaves one record in the history; one stopped from outside (Interrupted) is
// recorded as cancelled with the reason before the exception goes on.
SendResult EnviarDatosPalm(int device, bool waitForSync = true);

} // namespace kv

#pragma once

#include <QStringList>

namespace kv {

// The send command ("Enviar Datos PALM"): the device's filters, the export into the local sync
// store, the sync wait and "Proceso Finalizado!!!".
struct SendResult {
    bool exported = false;  // every export step finished
    QStringList failedSteps;
    bool synced = false;    // the sync wait completed (not cancelled)
};

// waitForSync false stops after the export (kvctl send --no-wait).
SendResult EnviarDatosPalm(int device, bool waitForSync = true);

} // namespace kv

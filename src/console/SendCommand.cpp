#include "console/SendCommand.h"

#include "app/AppHome.h"
#include "app/AtomicFile.h"
#include "app/Operator.h"
#include "conduit/HotSyncWait.h"
#include "console/ExportFilters.h"
#include "console/SendHistory.h"
#include "data/DB_Dll.h"
#include "export/ExportRunner.h"
#include "history/JobHistory.h"

namespace kv {

namespace {

SendResult send(int device, bool waitForSync) {
    SendResult result;
    // A second send would empty and refill the store under the first one's sync.
    const auto sending =
        FileLock::tryTake(AppHome::file(QStringLiteral("kvsend.lock")), QStringLiteral("EnviarDatosPalm"));
    if (!sending) {
        result.busy = true;
        op().messageBox(QStringLiteral("Hay otro envío de datos en curso en este equipo.\r"
                                       "Espere a que termine y vuelva a enviar."),
                        mb::Critical, QStringLiteral("Aviso al Usuario"));
        return result;
    }
    const ExportFilters filters = buildExportFilters(device);
    const QList<StepOutcome> outcomes = EjecutarExportacion(LocalDb().gDBName, filters.client, filters.priceList);
    result.steps = outcomes;
    result.failedSteps = failedSteps(outcomes);
    result.exported = result.failedSteps.isEmpty();
    if (!result.exported) {
        // A sync now would replace the handheld's tables with the incomplete ones: stop here.
        op().messageBox(QStringLiteral("No se completaron los pasos de la exportación: %1.\r"
                                       "El dispositivo no se sincronizó; corrija el problema y vuelva a enviar.")
                            .arg(result.failedSteps.join(QStringLiteral(", "))),
                        mb::Critical, QStringLiteral("Aviso al Usuario"));
        return result;
    }
    if (!waitForSync) return result;
    result.wait = EsperarHotSync();
    result.synced = *result.wait == WaitOutcome::Completed;
    op().messageBox(QStringLiteral("Proceso Finalizado!!!"), mb::Information, QStringLiteral("Aviso al Usuario"));
    return result;
}

} // namespace

SendResult EnviarDatosPalm(int device, bool waitForSync) {
    history::Record job = history::startJob(device, history::Direction::Send);
    try {
        const SendResult result = send(device, waitForSync);
        history::recordJob(sendRecord(std::move(job), result));
        return result;
    } catch (const RunTimeError& e) {
        job.outcome = history::Outcome::Failed;
        job.detail = e.description();
        history::recordJob(std::move(job));
        throw;
    }
}

} // namespace kv

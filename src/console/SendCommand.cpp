#include "console/SendCommand.h"

#include "app/Interruption.h"
#include "app/Operator.h"
#include "conduit/Conducto.h"
#include "conduit/HotSyncWait.h"
#include "conduit/WaitLock.h"
#include "console/ExportFilters.h"
#include "console/SendHistory.h"
#include "data/DB_Dll.h"
#include "export/ExportRunner.h"
#include "history/JobHistory.h"

namespace kv {

namespace {

// The send under its wait lock; `result` holds what it got to, also when it is interrupted.
void send(int device, bool waitForSync, SendResult& result) {
    // The store being rewritten is never synced: the conduit stays off from here until the wait
    // registers it again, and after a failed export.
    // A conduit never registered has nothing to switch off.
    if (const qint32 code = conduitConfig().SetEnableStatus(kConduitName, 0);
        code != uc::ConduitNotFound && !MensajeConducto(code).isEmpty())
        op().messageBox(MensajeConducto(code), mb::Critical, QStringLiteral("Aviso al Operador"));
    ErpDb().reopenIfLost(); // a server restarted since the last command
    const ExportFilters filters = buildExportFilters(device);
    result.steps = EjecutarExportacion(LocalDb().gDBName, filters.client, filters.priceList);
    result.failedSteps = failedSteps(result.steps);
    result.exported = result.failedSteps.isEmpty();
    if (!result.exported) {
        // A sync now would replace the handheld's tables with the incomplete ones: stop here.
        op().messageBox(QStringLiteral("No se completaron los pasos de la exportación: %1.\r"
                                       "El dispositivo no se sincronizó; corrija el problema y vuelva a enviar.")
                            .arg(result.failedSteps.join(QStringLiteral(", "))),
                        mb::Critical, QStringLiteral("Aviso al Usuario"));
        return;
    }
    // A signal during the last step is noticed here at the latest: the export is whole, and
    // nothing is registered for it.
    op().processEvents();
    if (!waitForSync) {
        // No one waits: the handheld's next sync takes the export and records itself.
        RegistrarEnvioSinEspera(device);
        return;
    }
    result.wait = EsperarHotSync(device);
    result.synced = *result.wait == WaitOutcome::Completed;
    op().messageBox(QStringLiteral("Proceso Finalizado!!!"), mb::Information, QStringLiteral("Aviso al Usuario"));
}

} // namespace

SendResult EnviarDatosPalm(int device, bool waitForSync) {
    SendResult result;
    history::Record job = history::startJob(device, history::Direction::Send);
    try {
        // A second send or a receive would re-register the conduit under this one's wait, or
        // empty and refill the store under its sync. A refusal changes nothing, the history neither.
        const auto waiting = TomarEspera(QStringLiteral("EnviarDatosPalm"));
        if (!waiting) {
            result.busy = true;
            return result;
        }
        send(device, waitForSync, result);
        history::recordJob(sendRecord(std::move(job), result));
        return result;
    } catch (const Interrupted& stopped) {
        job = sendRecord(std::move(job), result);
        job.outcome = history::Outcome::Cancelled;
        job.detail = stopped.reason();
        history::recordJob(std::move(job));
        throw;
    } catch (const RunTimeError& e) {
        job.outcome = history::Outcome::Failed;
        job.detail = e.description();
        history::recordJob(std::move(job));
        throw;
    }
}

} // namespace kv

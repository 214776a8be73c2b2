#include "sync/SyncRun.h"

#include "app/Cfg.h"
#include "app/GeneralFunctions.h"
#include "app/Interruption.h"
#include "app/Operator.h"
#include "conduit/Conducto.h"
#include "conduit/HotSyncWait.h"
#include "conduit/WaitLock.h"
#include "data/DB_Dll.h"
#include "history/JobHistory.h"
#include "settings/DeviceSettings.h"
#include "sync/DocumentImport.h"
#include "sync/ReceiveHistory.h"

namespace kv {

bool openDeviceErp(SyncRunState& run, int device) {
    DB_Dll& erp = ErpDb();
    if (erp.gOpenFlag) return true;
    runStatement(run, [&] {
        erp.gProveedor = DB_Dll::pSQLOLEDB();
        const settings::DeviceConnection c = settings::readDeviceConnection(device);
        erp.gDBName = c.baseDeDatos;
        erp.gUsuario = c.usuario;
        erp.gUserPassWord = c.contrasena;
        erp.gServidor = c.servidor;
        erp.OpenServerADODB(false, 3, QString(), true);
    });
    return erp.gOpenFlag;
}

bool readPlanillaMode(SyncRunState& run) {
    // Read under the run's own error treatment, so an Abort ends the run.
    runStatement(run, [&] {
        run.planillaMode =
            CfgValue(QStringLiteral("GM_UsaPlanillaControl")).compare(QStringLiteral("SI"), Qt::CaseInsensitive) == 0;
    });
    return run.planillaMode;
}

RunOutcome importDocuments(SyncRunState& run) {
    try {
        ImportarComprobantes(run);
        return RunOutcome::Imported;
    } catch (const RunLeft&) {
        return RunOutcome::Left;
    }
}

namespace {

RunOutcome receive(int device, SyncRunState& run) {
    Trap& trap = run.trap;
    StatusWindow& status = op().statusWindow();
    try {
        // A server restarted since the last command: its connection is opened again first.
        runStatement(run, [] { ErpDb().reopenIfLost(); });
        // 1. Control-sheet mode.
        readPlanillaMode(run);
        // 2. The ERP connection: the open one as it is, otherwise the device's own.
        if (!openDeviceErp(run, device)) {
            op().messageBox(QStringLiteral("Atención No se pudo conectar con la Base de Datos de VELTRO,verifique "
                                           "los parámetros y vuelva a intentarlo!!!"),
                            mb::Critical, QStringLiteral("Aviso al Operador!!!"));
            return RunOutcome::ConnectionFailed;
        }
        // 3. Register for receiving; 4. wait for the sync.
        quint64 generation = 0;
        runStatement(run, [&] { RegistrarConducto(true, device, &generation); });
        bool cancel = false;
        SyncMonitor monitor(QString(), generation);
        const WaitOutcome waited = CicloEsperaHotSync(cancel, monitor, trap);
        if (waited == WaitOutcome::Left) throw RunLeft{};
        if (waited == WaitOutcome::Cancelled) {
            runStatement(run, [&] { status.close(); });
            runStatement(run, [] {
                op().messageBox(QStringLiteral("Cancelado por el Usuario!!!!"), mb::Critical,
                                QStringLiteral("Aviso al Operador!!!"));
            });
            runStatement(run, [&] { status.close(); });
            return RunOutcome::Cancelled;
        }
        // 5. Counts; 6. the conduit off; 7. the import; 8. the window closed.
        run.imported = 0;
        run.skipped = 0;
        runStatement(run, [] { DesactivarConducto(); });
        ImportarComprobantes(run);
        runStatement(run, [&] { status.close(); });
        return RunOutcome::Imported;
    } catch (const RunLeft&) {
        // A run left through the error treatment closes its status window too.
        Trap::silent().step([&] { status.close(); });
        return RunOutcome::Left;
    }
}

} // namespace

RunOutcome ActualizaDatos_KVControl(int device, bool) {
    Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
    SyncRunState run(trap);
    history::Record job = history::startJob(device, history::Direction::Receive);
    try {
        // A refusal changes nothing, the history neither.
        const auto waiting = TomarEspera(QStringLiteral("ActualizaDatos_KVControl"));
        if (!waiting) return RunOutcome::Busy;
        const RunOutcome outcome = receive(device, run);
        history::recordJob(receiveRecord(std::move(job), outcome, run));
        return outcome;
    } catch (const Interrupted& stopped) {
        job = receiveRecord(std::move(job), RunOutcome::Cancelled, run);
        job.detail = stopped.reason();
        history::recordJob(std::move(job));
        throw;
    } catch (const RunTimeError& e) {
        job = receiveRecord(std::move(job), RunOutcome::Left, run);
        job.detail = e.description();
        history::recordJob(std::move(job));
        throw;
    }
}

} // namespace kv

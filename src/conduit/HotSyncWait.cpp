#include "conduit/HotSyncWait.h"

#include "app/Operator.h"
#include "conduit/Conducto.h"

#include <functional>

namespace kv {

namespace {

// Lets the interface process its pending events until the next poll is due or the monitor's
// files change.
void pauseBetweenPolls(SyncMonitor& monitor) {
    for (int slept = 0; slept < kPollIntervalMs; slept += kEventSliceMs) {
        op().processEvents();
        if (monitor.waitForChange(kEventSliceMs)) return;
    }
}

WaitOutcome bothPhases(bool& cancelRequest, SyncMonitor& monitor, Trap& trap, StatusWindow& status,
                       const std::function<void()>& pause) {
    bool underWay = false;
    for (;;) {
        if (!trap.step([&] { underWay = monitor.syncUnderWay(); })) return WaitOutcome::Left;
        if (underWay) break;
        if (!trap.step([&] {
                cancelRequest =
                    status.showTexts(QStringLiteral("Esperando Conexión"),
                                     QStringLiteral("Si Aún no lo ha hecho, Pulse el Botón de HotSync"),
                                     QStringLiteral("Del Dispositivo Móvil"));
            }))
            return WaitOutcome::Left;
        if (cancelRequest) return WaitOutcome::Cancelled;
        if (!trap.step(pause)) return WaitOutcome::Left;
    }

    if (!trap.step([&] { status.offerCancel(false); })) return WaitOutcome::Left;
    for (;;) {
        if (!trap.step([&] { underWay = monitor.syncUnderWay(); })) return WaitOutcome::Left;
        if (!underWay) return WaitOutcome::Completed;
        if (!trap.step([&] {
                // A handheld over the network has its answer and has yet to say it stored it.
                cancelRequest = monitor.awaitingConfirmation()
                                    ? status.showTexts(QStringLiteral("Sincronizando Datos"),
                                                       QStringLiteral("Respuesta enviada al dispositivo"),
                                                       QStringLiteral("Esperando su confirmación"))
                                    : status.showTexts(QStringLiteral("Sincronizando Datos"),
                                                       QStringLiteral("Esta operacion puede Tardar unos Minutos"),
                                                       QString(""));
            }))
            return WaitOutcome::Left;
        if (cancelRequest) return WaitOutcome::Completed;
        if (!trap.step(pause)) return WaitOutcome::Left;
    }
}

} // namespace

WaitOutcome CicloEsperaHotSync(bool& cancelRequest, SyncMonitor& monitor, Trap& trap) {
    StatusWindow& status = op().statusWindow();
    cancelRequest = false;
    if (!trap.step([&] { status.open(QStringLiteral("Syncronizacion de Datos"), true); }))
        return WaitOutcome::Left;
    if (!trap.step([&] { status.offerCancel(true); })) return WaitOutcome::Left;

    const auto pause = [&] { pauseBetweenPolls(monitor); };
    for (;;) {
        const WaitOutcome outcome = bothPhases(cancelRequest, monitor, trap, status, pause);
        if (outcome != WaitOutcome::Completed || cancelRequest || monitor.lastSyncCopied()) return outcome;
        // The sync changed nothing: the person at the cradle has to press again.
        if (!trap.step([&] { status.offerCancel(true); })) return WaitOutcome::Left;
    }
}

WaitOutcome EsperarHotSync(qint32 device) {
    Trap trap = Trap::prompting(QString());
    StatusWindow& status = op().statusWindow();
    quint64 generation = 0;
    if (!trap.step([&] { RegistrarConducto(false, device, &generation); })) return WaitOutcome::Left;

    bool cancelRequest = false;
    SyncMonitor monitor(QString(), generation);
    const WaitOutcome outcome = CicloEsperaHotSync(cancelRequest, monitor, trap);
    if (outcome == WaitOutcome::Left) {
        // The procedure ends here; its window must not outlive it.
        Trap::silent().step([&] { status.close(); });
        return outcome;
    }
    if (outcome == WaitOutcome::Cancelled) {
        trap.step([&] { status.close(); });
        return trap.left() ? WaitOutcome::Left : outcome;
    }
    if (!trap.step([] { DesactivarConducto(); })) {
        Trap::silent().step([&] { status.close(); });
        return WaitOutcome::Left;
    }
    if (!trap.step([&] { status.close(); })) return WaitOutcome::Left;
    if (!trap.step([] {
            op().messageBox(QStringLiteral("Se sincronizaron los datos con exito!!!"),
                            mb::Question + mb::OkOnly, QStringLiteral("Aviso al opeador"));
        }))
        return WaitOutcome::Left;
    return WaitOutcome::Completed;
}

} // namespace kv

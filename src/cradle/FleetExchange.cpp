#include "cradle/FleetExchange.h"

#include "app/Clock.h"
#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "app/Trap.h"
#include "console/ExportFilters.h"
#include "console/SendHistory.h"
#include "cradle/HandheldDevice.h"
#include "data/DB_Dll.h"
#include "data/Recordset.h"
#include "cradle/HandheldDocuments.h"
#include "export/ExportRunner.h"
#include "sync/SyncRun.h"

#include <QDir>

namespace kv {

namespace {

using Stage = ExchangeReport::Stage;

void stopAt(ExchangeReport& r, Stage stage, const RunTimeError& e) {
    r.stage = stage;
    r.errorNumber = e.number();
    r.errorText = e.description();
}

void stopAt(ExchangeReport& r, Stage stage, const QString& why) {
    stopAt(r, stage, RunTimeError(0, why, QStringLiteral("exchange")));
}

// The private store as the import and the export see it: the program's local sync store.
bool openPrivateStore(const QString& path) {
    DB_Dll& local = LocalDb();
    local.gDBName = path;
    local.gProveedor = DB_Dll::pJETOLEDB40();
    local.OpenLocalADODB(QString(), QStringLiteral("User Id"), QStringLiteral("Password"));
    return local.gCnn.state();
}

// The highest number of each document type the ERP holds at the device's branch, so a handheld
// that starts afresh as this device (a new phone) never gives a number the ERP holds already.
QMap<QString, qint64> lastNumbersInErp(const QString& branch, bool planillaMode) {
    DB_Dll& erp = ErpDb();
    Recordset rs;
    erp.AbrirConsulta(QStringLiteral("SELECT TC, MAX(IDCOMPROBANTE) FROM %1 WHERE IDCOMPROBANTE LIKE ? GROUP BY TC")
                          .arg(planillaMode ? QStringLiteral("GM_V_MV_PLANILLA_CAB") : QStringLiteral("V_MV_CPTE")),
                      {branch + QLatin1Char('%')}, rs);
    QMap<QString, qint64> numbers;
    for (; !rs.eof(); rs.moveNext()) {
        // IDCOMPROBANTE: the branch, eight digits, the letter.
        bool ok = false;
        const qint64 n = rs.fields().item(1).value().toString().mid(4, 8).toLongLong(&ok);
        if (ok) numbers[rs.fields().item(0).value().toString().trimmed()] = n;
    }
    erp.CierraRecordset(rs);
    return numbers;
}

// Step 1 on the ERP: false when the ERP failed (the report says why).
bool importInto(ExchangeReport& r, qint32 device, QMap<QString, qint64>& lastNumbers) {
    // Nobody answers: the first failure outside a document's own values leaves the import.
    Trap trap([](const RunTimeError&) { return mb::Abort; });
    SyncRunState run(trap);
    run.unattended = true;
    const auto erpFailed = [&](const QString& otherwise) {
        if (const RunTimeError* e = trap.leavingError()) stopAt(r, Stage::Erp, *e);
        else stopAt(r, Stage::Erp, otherwise);
        return false;
    };
    try {
        if (!openDeviceErp(run, device))
            return erpFailed(QStringLiteral("the ERP database of device %1 could not be opened").arg(device));
        readPlanillaMode(run);
        if (trap.left()) return erpFailed(QStringLiteral("the ERP's configuration could not be read"));
        r.importBegan = true;
        const RunOutcome outcome = importDocuments(run);
        r.imported = run.importedKeys;
        r.existing = run.skippedKeys;
        r.refused = run.leftOut;
        r.planilla = run.planilla;
        if (outcome != RunOutcome::Imported) return erpFailed(QStringLiteral("the import was left"));
        lastNumbers = lastNumbersInErp(cradle::branchOf(device), run.planillaMode);
    } catch (const RunLeft&) {
        return erpFailed(QStringLiteral("the ERP failed"));
    } catch (const RunTimeError& e) {
        stopAt(r, Stage::Erp, e);
        return false;
    }
    return true;
}

// Step 2: false when a step failed.
bool exportFrom(ExchangeReport& r, qint32 device, const QString& storePath) {
    QList<StepOutcome> steps;
    try {
        const ExportFilters filters = buildExportFilters(device);
        steps = EjecutarExportacion(storePath, filters.client, filters.priceList, ErpDb().gCnn);
    } catch (const RunTimeError& e) {
        stopAt(r, ErpDb().gCnn.lost() ? Stage::Erp : Stage::Export, e);
        return false;
    }
    // The rows and failed steps as a send's history has them.
    history::Record done;
    addExportSteps(done, steps);
    r.tables = done.tables;
    r.failedSteps = done.failedSteps;
    if (r.failedSteps.isEmpty()) return true;
    stopAt(r, ErpDb().gCnn.lost() ? Stage::Erp : Stage::Export,
           QStringLiteral("export steps failed: %1").arg(done.detail.replace(QLatin1Char('\n'), QStringLiteral("; "))));
    return false;
}

} // namespace

ExchangeReport runExchange(qint32 device, const QString& folder, std::chrono::seconds workBudget) {
    ExchangeReport r;
    r.device = device;
    r.startedAt = Clock::now();
    const QDir dir(folder);
    const QString handheld = dir.filePath(QStringLiteral("handheld.db"));
    const QString store = dir.filePath(QStringLiteral("store.db"));
    try {
        takeDocuments(handheld, store, device, workBudget);
    } catch (const RunTimeError& e) {
        stopAt(r, Stage::File, e);
        return r;
    }
    if (!openPrivateStore(store)) {
        stopAt(r, Stage::Answer, QStringLiteral("the exchange's own store could not be opened"));
        return r;
    }
    QMap<QString, qint64> lastNumbers;
    if (!importInto(r, device, lastNumbers)) return r;
    if (!exportFrom(r, device, store)) return r;
    try {
        answerHandheld(handheld, store, r.imported + r.existing, {cradle::branchOf(device), lastNumbers}, workBudget);
    } catch (const RunTimeError& e) {
        stopAt(r, Stage::Answer, e);
    }
    return r;
}

} // namespace kv

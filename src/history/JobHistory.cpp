#include "history/JobHistory.h"

#include "app/AppHome.h"
#include "app/Clock.h"
#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "app/Startup.h"
#include "settings/DeviceSettings.h"

#include <QFileInfo>

namespace kv::history {

namespace {

bool& failureTold() {
    static bool told = false;
    return told;
}

QString joined(const QStringList& items) {
    return items.join(QStringLiteral(", "));
}

// How one reader words what a job moved: kvctl's line in English, the list window in Spanish.
struct Wording {
    const char* failedTable;           // instead of a failed table's rows
    const char* rows;                  // before the tables
    const char* imported;              // %1 the count, then the keys
    const char* skipped;               // the same, joined to the imported part
    const char* sheet;                 // %1 the control sheet, joined to the imported part
    const char* refused;               // %1 the count, then the keys with their reasons
    const char* open;                  // around a list of keys
    const char* close;
    bool emptyList;                    // whether an empty list of keys is shown
};

const Wording kLineWords{"failed", "rows: ", "imported %1", ", skipped %1", ", control sheet %1",
                         "refused %1", " [", "]", true};
const Wording kColumnWords{"error", "Filas: ", "Importados: %1", "; omitidos: %1", "; planilla Nº %1",
                           "Rechazados: %1", " (", ")", false};

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString counted(const Wording& w, const char* format, qsizetype count, const QStringList& keys) {
    QString text = QString::fromUtf8(format).arg(count);
    if (w.emptyList || !keys.isEmpty())
        text += QString::fromUtf8(w.open) + joined(keys) + QString::fromUtf8(w.close);
    return text;
}

// What the job moved, in the order it happened: the documents that came in, the rows that went
// out, the documents left on the handheld. A send has only rows, a receive only documents; an
// exchange may have all three.
QStringList movedParts(const Record& r, const Wording& w) {
    QStringList parts;
    if (r.direction != Direction::Send && r.imported) {
        QString documents = counted(w, w.imported, *r.imported, r.importedKeys) +
                            counted(w, w.skipped, r.skipped.value_or(0), r.skippedKeys);
        if (!r.planilla.isEmpty()) documents += QString::fromUtf8(w.sheet).arg(r.planilla);
        parts << documents;
    }
    if (r.direction != Direction::Receive && !r.tables.isEmpty()) {
        QStringList tables;
        for (const TableRows& t : r.tables)
            tables << t.table + QLatin1Char(' ') + (t.failed ? QString::fromUtf8(w.failedTable) : QString::number(t.rows));
        parts << QString::fromUtf8(w.rows) + joined(tables);
    }
    if (!r.refused.isEmpty()) {
        QStringList keys;
        for (const RefusedDocument& d : r.refused) keys << d.key + QStringLiteral(": ") + oneLine(d.reason);
        parts << counted(w, w.refused, r.refused.size(), keys);
    }
    return parts;
}

} // namespace

QString historyPath() {
    return AppHome::file(HistoryFile::fileName());
}

Record startJob(int device, Direction direction) {
    Record r;
    r.startedAt = Clock::now();
    r.device = device;
    r.direction = direction;
    r.operatorName = program().usuarioLogeado;
    try {
        r.deviceName = settings::deviceDisplayName(device);
    } catch (const RunTimeError&) {
        // The name only decorates the record; the number identifies the device.
    }
    return r;
}

bool recordJob(Record r) {
    r.endedAt = Clock::now();
    try {
        HistoryFile(historyPath(), HistoryFile::Mode::Write).append(r);
        return true;
    } catch (const RunTimeError& e) {
        if (!failureTold()) {
            failureTold() = true;
            op().messageBox(
                QStringLiteral("No se pudo guardar el historial de envíos y recepciones (%1).\r"
                               "El proceso continúa normalmente; este aviso no se repetirá hasta que "
                               "vuelva a iniciar el programa.\r\r%2")
                    .arg(HistoryFile::fileName(), e.description()),
                mb::Exclamation, QStringLiteral("Aviso al Usuario"));
        }
        return false;
    }
}

bool recordSyncWithoutWait(int device, const QList<TableRows>& tables) {
    Record r = startJob(device, Direction::Send);
    r.tables = tables;
    r.detail = QStringLiteral("Sincronizado por el HotSync del móvil; el envío no esperaba la sincronización");
    return recordJob(std::move(r));
}

void resetFailureNotice() {
    failureTold() = false;
}

QList<Record> readHistory(const Filter& filter) {
    // Looking at the history never creates it.
    if (!QFileInfo::exists(historyPath())) return {};
    return HistoryFile(historyPath(), HistoryFile::Mode::Read).read(filter);
}

QList<int> historyDevices() {
    if (!QFileInfo::exists(historyPath())) return {};
    return HistoryFile(historyPath(), HistoryFile::Mode::Read).devices();
}

QList<Record> lastSyncs() {
    if (!QFileInfo::exists(historyPath())) return {};
    return HistoryFile(historyPath(), HistoryFile::Mode::Read).lastPerDevice();
}

QString historyLine(const Record& r) {
    QString line = r.startedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("  device ") +
                   QString::number(r.device);
    if (!r.deviceName.isEmpty()) line += QStringLiteral(" (") + r.deviceName + QLatin1Char(')');
    line += QStringLiteral("  ") + directionWord(r.direction).leftJustified(7) + QStringLiteral("  by ") +
            (r.operatorName.isEmpty() ? QStringLiteral("-") : r.operatorName) + QStringLiteral("  ") +
            outcomeWord(r.outcome);
    if (!r.failedSteps.isEmpty()) line += QStringLiteral("  failed steps: ") + joined(r.failedSteps);
    if (!r.detail.isEmpty()) line += QStringLiteral("  (") + oneLine(r.detail) + QLatin1Char(')');
    for (const QString& part : movedParts(r, kLineWords)) line += QStringLiteral("  ") + part;
    return line;
}

QStringList historyColumnTitles() {
    return {QStringLiteral("Fecha"),    QStringLiteral("Móvil"),     QStringLiteral("Operación"),
            QStringLiteral("Operador"), QStringLiteral("Resultado"), QStringLiteral("Detalle")};
}

QStringList historyColumns(const Record& r) {
    static const QString outcomes[] = {QStringLiteral("Finalizado"), QStringLiteral("Cancelado"),
                                       QStringLiteral("Con errores")};
    static const QString operations[] = {QStringLiteral("Envío"), QStringLiteral("Recepción"),
                                         QStringLiteral("Intercambio")};
    QStringList detail;
    if (!r.failedSteps.isEmpty()) detail << QStringLiteral("Pasos con error: ") + joined(r.failedSteps);
    if (!r.detail.isEmpty()) detail << r.detail;
    detail << movedParts(r, kColumnWords);
    const QString device = r.deviceName.isEmpty() ? QString::number(r.device)
                                                  : QStringLiteral("%1 - %2").arg(r.device).arg(r.deviceName);
    return {r.startedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
            device,
            operations[int(r.direction)],
            r.operatorName,
            outcomes[int(r.outcome)],
            detail.join(QStringLiteral(". "))};
}

} // namespace kv::history

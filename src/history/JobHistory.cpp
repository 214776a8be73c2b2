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

QString tablesText(const Record& r, const QString& failedWord) {
    QStringList parts;
    for (const TableRows& t : r.tables)
        parts << t.table + QLatin1Char(' ') + (t.failed ? failedWord : QString::number(t.rows));
    return joined(parts);
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

QString historyLine(const Record& r) {
    QString line = r.startedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("  device ") +
                   QString::number(r.device);
    if (!r.deviceName.isEmpty()) line += QStringLiteral(" (") + r.deviceName + QLatin1Char(')');
    line += QStringLiteral("  ") + directionWord(r.direction).leftJustified(7) + QStringLiteral("  by ") +
            (r.operatorName.isEmpty() ? QStringLiteral("-") : r.operatorName) + QStringLiteral("  ") +
            outcomeWord(r.outcome);
    if (!r.failedSteps.isEmpty()) line += QStringLiteral("  failed steps: ") + joined(r.failedSteps);
    if (!r.detail.isEmpty())
        line += QStringLiteral("  (") +
                QString(r.detail)
                    .replace(QLatin1Char('\r'), QLatin1Char(' '))
                    .replace(QLatin1Char('\n'), QLatin1Char(' ')) +
                QLatin1Char(')');
    if (r.direction == Direction::Send) {
        if (!r.tables.isEmpty()) line += QStringLiteral("  rows: ") + tablesText(r, QStringLiteral("failed"));
    } else if (r.imported) {
        line += QStringLiteral("  imported %1 [%2], skipped %3 [%4]")
                    .arg(*r.imported)
                    .arg(joined(r.importedKeys))
                    .arg(r.skipped.value_or(0))
                    .arg(joined(r.skippedKeys));
        if (!r.planilla.isEmpty()) line += QStringLiteral(", control sheet ") + r.planilla;
    }
    return line;
}

QStringList historyColumnTitles() {
    return {QStringLiteral("Fecha"),    QStringLiteral("Móvil"),     QStringLiteral("Operación"),
            QStringLiteral("Operador"), QStringLiteral("Resultado"), QStringLiteral("Detalle")};
}

QStringList historyColumns(const Record& r) {
    static const QString outcomes[] = {QStringLiteral("Finalizado"), QStringLiteral("Cancelado"),
                                       QStringLiteral("Con errores")};
    QStringList detail;
    if (!r.failedSteps.isEmpty()) detail << QStringLiteral("Pasos con error: ") + joined(r.failedSteps);
    if (!r.detail.isEmpty()) detail << r.detail;
    if (r.direction == Direction::Send) {
        if (!r.tables.isEmpty()) detail << QStringLiteral("Filas: ") + tablesText(r, QStringLiteral("error"));
    } else if (r.imported) {
        QString counts = QStringLiteral("Importados: %1").arg(*r.imported);
        if (!r.importedKeys.isEmpty())
            counts += QStringLiteral(" (") + joined(r.importedKeys) + QLatin1Char(')');
        counts += QStringLiteral("; omitidos: %1").arg(r.skipped.value_or(0));
        if (!r.skippedKeys.isEmpty())
            counts += QStringLiteral(" (") + joined(r.skippedKeys) + QLatin1Char(')');
        if (!r.planilla.isEmpty()) counts += QStringLiteral("; planilla Nº ") + r.planilla;
        detail << counts;
    }
    const QString device = r.deviceName.isEmpty() ? QString::number(r.device)
                                                  : QStringLiteral("%1 - %2").arg(r.device).arg(r.deviceName);
    return {r.startedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
            device,
            r.direction == Direction::Send ? QStringLiteral("Envío") : QStringLiteral("Recepción"),
            r.operatorName,
            outcomes[int(r.outcome)],
            detail.join(QStringLiteral(". "))};
}

} // namespace kv::history

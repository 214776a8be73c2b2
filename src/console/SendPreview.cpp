#include "console/SendPreview.h"

#include "app/Operator.h"
#include "app/Trap.h"
#include "data/DB_Dll.h"
#include "data/RowStream.h"
#include "export/CopyPlan.h"
#include "export/ExportTasks.h"
#include "export/StoreKeys.h"

#include <algorithm>

namespace kv {

namespace {

// The alias a derived table needs on SQL Server and PostgreSQL; written without AS, which
// Oracle refuses for a table alias.
QString derived(const QString& select, const QString& statement) {
    return select + QStringLiteral(" FROM (") + statement + QStringLiteral(") PREVIEW_ROWS");
}

const ExportStep& pricesStep() {
    for (const ExportStep& s : exportSteps())
        if (s.destination == QLatin1String("MA_PRECIOS")) return s;
    return exportSteps().last();
}

} // namespace

SendPreview previewExport(const ExportFilters& filters, Connection& erp) {
    SendPreview p;
    p.filters = filters;
    for (const ExportStep& step : exportSteps()) {
        if (step.destination.isEmpty()) continue; // the delete step
        TableCount count{step.destination, 0, 0};
        QStringList refusals;
        {
            auto rows = openCopySource(step, filters.client, filters.priceList, erp);
            const CopyPlan plan(step, rows->columns());
            StoreKeys keys(plan);
            while (rows->next()) {
                ++count.rows;
                QString refusal = plan.refusal(*rows);
                // A row the store takes on its values may still repeat a key taken before it.
                if (refusal.isEmpty()) {
                    const QString taken = keys.take(*rows);
                    if (!taken.isEmpty()) refusal = plan.refusal(*rows, taken);
                }
                if (refusal.isEmpty()) continue;
                if (refusals.size() < kListedRefusals) refusals << refusal;
                ++count.refused;
            }
        }
        if (count.refused > 0) p.refusals << refusedRowsMessage(refusals, count.refused);
        p.tables << count;
    }
    Recordset lists;
    lists.open(derived(QStringLiteral("SELECT DISTINCT IdLista"),
                       sourceStatement(pricesStep(), filters.client, filters.priceList)),
               erp);
    for (; !lists.eof(); lists.moveNext()) {
        const QVariant v = lists[0].value();
        if (!isNull(v)) p.priceLists << v.toString().trimmed();
    }
    std::sort(p.priceLists.begin(), p.priceLists.end());
    p.priceLists.removeDuplicates();
    return p;
}

SendPreview previewDevice(int device) {
    return previewExport(buildExportFilters(device), ErpDb().gCnn);
}

SendPreview previewFilters(const QString& reparto, const QString& cliente) {
    return previewExport(exportFiltersFor(reparto.trimmed(), cliente.trimmed()), ErpDb().gCnn);
}

QString previewText(const SendPreview& preview) {
    QString text = QStringLiteral("Con estos filtros el Móvil recibiría:\r");
    for (const TableCount& t : preview.tables)
        text += QStringLiteral("%1: %2 filas\r").arg(t.table).arg(t.rows);
    text += QStringLiteral("Listas de precios: ") + (preview.priceLists.isEmpty()
                                                         ? QStringLiteral("ninguna")
                                                         : preview.priceLists.join(QStringLiteral(", ")));
    if (!preview.refusals.isEmpty())
        text += QStringLiteral("\rFilas que el envío rechazaría (el envío fallaría):\r") +
                preview.refusals.join(QLatin1Char('\r')).replace(QLatin1Char('\n'), QLatin1Char('\r'));
    return text;
}

void VistaPrevia(const QString& reparto, const QString& cliente) {
    Trap trap = Trap::prompting(QStringLiteral("VistaPrevia"));
    SendPreview preview;
    if (!trap.step([&] { ErpDb().reopenIfLost(); }) || !trap.step([&] { preview = previewFilters(reparto, cliente); }) ||
        trap.lastIgnored())
        return;
    op().messageBox(previewText(preview), mb::Information, QStringLiteral("Vista Previa del Envío"));
}

} // namespace kv

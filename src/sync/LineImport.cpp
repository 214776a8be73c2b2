#include "sync/LineImport.h"

#include "app/GeneralFunctions.h"
#include "app/Operator.h"
#include "data/DB_Dll.h"
#include "sync/ImportTargets.h"

namespace kv {

namespace {

// The loop both routines share: open the target, then one new target row per local line.
void copyLines(SyncRunState& run, const QString& targetQuery, const QString& progressText, Recordset& lines,
               const QList<QPair<const char*, std::function<QVariant(Recordset&)>>>& map) {
    DB_Dll& erp = ErpDb();
    StatusWindow& status = op().statusWindow();
    std::shared_ptr<Recordset>& kept = run.lineTargets[targetQuery];
    if (!kept) kept = std::make_shared<Recordset>();
    Recordset& target = *kept;
    if (!target.state())
        runStatement(run, [&] { erp.AbrirConsulta(targetQuery, {}, target, &erp.gCnn, lock::Optimistic); });
    target.setDeferred(run.deferInserts);
    bool empty = true;
    runStatement(run, [&] { empty = lines.bof(); });
    if (empty) return;
    for (;;) {
        bool atEnd = true;
        runStatement(run, [&] { atEnd = lines.eof(); });
        if (atEnd) break;
        runStatement(run, [&] { target.addNew(); });
        for (const auto& entry : map) // not a structured binding: clang before 16 cannot capture one
            runStatement(run, [&] { target.setValue(columnName(entry.first), entry.second(lines)); });
        runStatement(run, [&] { target.update(); });
        runStatement(run, [&] { status.showTexts(progressText, TextoAvance()); });
        runStatement(run, [&] { lines.moveNext(); });
    }
}

QVariant local(Recordset& line, const char* column) {
    return line.value(columnName(column));
}
QVariant guarded(Recordset& line, const char* column) {
    return ValorNoNulo(local(line, column));
}
QVariant trimmed(Recordset& line, const char* column) {
    return TextoNoNulo(local(line, column)).trimmed();
}

} // namespace

void ImportarTareas(SyncRunState& run, const DocumentKey& k, Recordset& lines) {
    copyLines(run, importStatement("V_MV_CpteTareas"), QStringLiteral("Actualizando Detalle de Tareas"),
              lines,
              {{"TC", [&](Recordset&) { return QVariant(k.tc); }},
               {"IdComprobante", [&](Recordset&) { return QVariant(k.idComprobante()); }},
               {"IdComplemento", [](Recordset&) { return QVariant(0); }},
               {"IdTarea", [](Recordset& l) { return QVariant(CodigoAncho(textOf(local(l, "MV_CPTE_DET_IDTAREA")), 4)); }},
               {"Descripcion", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_DESCRIPCION"); }},
               {"Horas", [](Recordset& l) { return local(l, "MV_CPTE_DET_HORAS"); }},
               {"valorhora", [](Recordset& l) { return local(l, "MV_CPTE_DET_PRECIO"); }},
               {"valorHora_S_Iva", [](Recordset& l) { return local(l, "MV_CPTE_DET_PRECIO"); }},
               {"Total", [](Recordset& l) { return local(l, "MV_CPTE_DET_TOTAL"); }},
               {"EXENTO", [](Recordset&) { return QVariant(0); }},
               {"descripcionadicional", [](Recordset& l) { return local(l, "MV_CPTE_DET_DESCR_ADIC_tarea"); }}});
}

void ImportarDetalle(SyncRunState& run, const DocumentKey& k, Recordset& lines) {
    const QString progress = QStringLiteral("Actualizando Detalle de Insumos");
    if (run.planillaMode) {
        copyLines(run, importStatement("GM_V_MV_PLANILLA_DETALLE"), progress, lines,
                  {{"TC", [&](Recordset&) { return QVariant(k.tc); }},
                   {"IdComprobante", [&](Recordset&) { return QVariant(k.idComprobante()); }},
                   {"Item", [](Recordset& l) { return guarded(l, "MV_CPTE_DET_ITEM"); }},
                   {"IdCliente", [](Recordset& l) { return guarded(l, "MV_CPTE_DET_IDcliente"); }},
                   {"Fecha", [](Recordset& l) { return guarded(l, "MV_CPTE_DET_FECHA"); }},
                   {"FECHA_ENTREGA", [](Recordset& l) { return guarded(l, "MV_CPTE_DET_FECHA_ENTREGA"); }},
                   {"IdArticulo",
                    [](Recordset& l) { return QVariant(CodigoAncho(textOf(local(l, "MV_CPTE_DET_IDarticulo")), 25)); }},
                   {"Descripcion", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_DESCRIPCION"); }},
                   {"descuento", [](Recordset& l) { return guarded(l, "MV_CPTE_DET_dto"); }},
                   {"Cantidad", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_CANTIDAD"); }},
                   {"IdUnidad", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_UNIDAD"); }},
                   {"precio", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_PRECIO"); }},
                   {"precio_S_IVA", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_PRECIO_S_IVA"); }},
                   {"IMPORTE_IVA", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_IMP_IVA"); }},
                   {"IMPORTE_IMP_INT", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_IMP_INT"); }},
                   {"Total", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_TOTAL"); }}});
        return;
    }
    copyLines(run, importStatement("V_MV_CpteInsumos"), progress, lines,
              {{"TC", [&](Recordset&) { return QVariant(k.tc); }},
               {"IdComprobante", [&](Recordset&) { return QVariant(k.idComprobante()); }},
               {"IdComplemento", [](Recordset&) { return QVariant(0); }},
               {"IdArticulo",
                [](Recordset& l) { return QVariant(CodigoAncho(textOf(local(l, "MV_CPTE_DET_IDarticulo")), 25)); }},
               {"Descripcion", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_DESCRIPCION"); }},
               {"Cantidad", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_CANTIDAD"); }},
               {"IdUnidad", [](Recordset& l) { return QVariant(CodigoAncho(trimmed(l, "MV_CPTE_DET_UNIDAD").toString(), 4)); }},
               {"Impuestos", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_IMP_INT"); }},
               {"Importe", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_PRECIO"); }},
               {"Importe_S_IVA", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_PRECIO_S_IVA"); }},
               {"Total", [](Recordset& l) { return trimmed(l, "MV_CPTE_DET_TOTAL"); }}});
}

} // namespace kv

#include "sync/DocumentImport.h"

#include "app/Clock.h"
#include "app/GeneralFunctions.h"
#include "app/Operator.h"
#include "data/DB_Dll.h"
#include "sync/LineImport.h"

#include <optional>

namespace kv {

namespace {

bool hasSupplyLines(const QString& tc) {
    for (const char* code : {"RM", "NP", "PR"})
        if (tc.compare(QLatin1String(code), Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool existsIn(const QString& view, const DocumentKey& k) {
    DB_Dll& erp = ErpDb();
    Recordset rs;
    erp.AbrirRecordset(QStringLiteral("SELECT * FROM ") + view + QStringLiteral(" WHERE TC = '") +
                           sqlText(CodigoAncho(k.tc, 4)) + QStringLiteral("' AND IDCOMPROBANTE = '") +
                           sqlText(k.idComprobante()) + QStringLiteral("'"),
                       rs, &erp.gCnn, cursor::ForwardOnly, lock::ReadOnly);
    const bool found = !rs.bof();
    erp.CierraRecordset(rs);
    return found;
}

// One document's lines, by its key, on the local sync store.
void openLines(const QString& key, Recordset& lines) {
    DB_Dll& local = LocalDb();
    local.AbrirRecordset(QStringLiteral("SELECT * FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL = '") + sqlText(key) +
                             QStringLiteral("'"),
                         lines, &local.gCnn, cursor::ForwardOnly, lock::ReadOnly);
}

void importLines(SyncRunState& run, const DocumentKey& k, const QString& key) {
    Recordset lines;
    runStatement(run, [&] { openLines(key, lines); });
    if (k.tc.compare(QStringLiteral("OT"), Qt::CaseInsensitive) == 0) ImportarTareas(run, k, lines);
    else if (hasSupplyLines(k.tc)) ImportarDetalle(run, k, lines);
}

// Column map A: a row of the control sheet.
void addSheetRow(SyncRunState& run, Recordset& doc, Recordset& sheet) {
    auto set = [&](const char* column, const std::function<QVariant()>& value) {
        runStatement(run, [&] { sheet.setValue(QLatin1String(column), value()); });
    };
    auto local = [&](const char* column) { return doc.value(QLatin1String(column)); };
    runStatement(run, [&] { sheet.addNew(); });
    set("id_planilla", [&] { return QVariant(run.planilla); });
    set("Fecha_planilla", [] { return QVariant(Clock::today()); });
    set("IdVendedor", [] { return QVariant(); });
    set("Fecha", [&] { return ValorNoNulo(local("MV_CPTE_FECHA")); });
    set("FECHA_ENTREGA", [&] { return ValorNoNulo(local("MV_CPTE_FECHA_ENTREGA")); });
    set("TC", [&] { return QVariant(TextoNoNulo(local("MV_CPTE_TIPOREG")).trimmed()); });
    set("IdComprobante", [&] { return QVariant(TextoNoNulo(local("MV_CPTE_IDCOMPROBANTE")).trimmed()); });
    set("ClasePrecio", [&] { return ValorNoNulo(local("MV_CPTE_CLASEPRECIO")); });
    set("descuento", [&] { return ValorNoNulo(local("MV_CPTE_DTOGLOBAL")); });
    set("IdCliente", [&] { return ValorNoNulo(local("MV_CPTE_IDCLIENTE")); });
    set("ITEMS", [&] { return ValorNoNulo(local("MV_CPTE_ITEMS")); });
    set("Importe_S_IVA", [&] { return ValorNoNulo(local("MV_CPTE_IMPORTE_S_IVA")); });
    set("IMPORTE_TOTAL", [&] { return ValorNoNulo(local("MV_CPTE_IMPORTE_TOTAL")); });
    runStatement(run, [&] { sheet.update(); });
}

// Column map B: an ordinary document, enriched with the client's data.
void addDocument(SyncRunState& run, const DocumentKey& k, Recordset& doc, Recordset& target) {
    DB_Dll& erp = ErpDb();
    Recordset client;
    auto set = [&](const char* column, const std::function<QVariant()>& value) {
        runStatement(run, [&] { target.setValue(QLatin1String(column), value()); });
    };
    auto local = [&](const char* column) { return doc.value(QLatin1String(column)); };
    auto cli = [&](const char* column) { return ValorNoNulo(client.value(QLatin1String(column))); };
    runStatement(run, [&] { target.addNew(); });
    set("TC", [&] { return QVariant(k.tc.trimmed()); });
    set("IdComprobante", [&] { return QVariant(k.idComprobante()); });
    set("IdComplemento", [] { return QVariant(0); });
    set("Fecha", [&] { return local("MV_CPTE_FECHA"); });
    set("FECHAESTINICIO", [&] { return local("MV_CPTE_FECHA"); });
    set("FECHAESTFIN", [&] { return local("MV_CPTE_FECHA"); });
    set("Cuenta", [&] { return local("MV_CPTE_IDCLIENTE"); });
    runStatement(run, [&] {
        erp.AbrirRecordset(QStringLiteral("SELECT * FROM VT_CLIENTES WHERE CTACODIGO = '") +
                               sqlText(textOf(local("MV_CPTE_IDCLIENTE"))) + QStringLiteral("'"),
                           client, &erp.gCnn, cursor::ForwardOnly, lock::ReadOnly);
    });
    set("Nombre", [&] { return client.value(QStringLiteral("RAZON_SOCIAL")); });
    set("DOMICILIO", [&] {
        return QVariant(cli("Calle").toString() + QLatin1Char(' ') + cli("Numero").toString() + QLatin1Char(' ') +
                        cli("PISO").toString() + QLatin1Char(' ') + cli("DEPARTAMENTO").toString());
    });
    set("Localidad", [&] { return cli("Localidad"); });
    set("Telefono", [&] { return cli("Telefono"); });
    set("IDPROVINCIA", [&] {
        const QVariant p = cli("PROVINCIA");
        return p.toString().compare(QString(), Qt::CaseInsensitive) == 0 ? QVariant() : p;
    });
    set("CODIGOPOSTAL", [&] { return QVariant(cli("CPostal").toString().trimmed()); });
    set("DOCUMENTOTIPO", [&] { return cli("DOCUMENTO_TIPO"); });
    set("DOCUMENTONUMERO", [&] { return cli("NUMERO_DOCUMENTO"); });
    set("CONDICIONIVA", [&] { return cli("iva"); });
    set("Importe_S_IVA", [&] { return local("MV_CPTE_IMPORTE_S_IVA"); });
    set("Importe", [&] { return local("MV_CPTE_IMPORTE_TOTAL"); });
    set("ImporteIVA", [&] { return ValorNoNulo(local("MV_CPTE_IMPORTE_IVA")); });
    set("NetoGravado", [&] { return ValorNoNulo(local("MV_CPTE_NETO_GRAV")); });
    set("NETONOGRAVADO", [&] { return ValorNoNulo(local("MV_CPTE_NETO_NO_GRAV")); });
    if (hasSupplyLines(k.tc)) {
        set("ClasePrecio", [&] { return ValorNoNulo(local("MV_CPTE_CLASE_PRECIO")); });
        set("IMPORTEINSUMOS", [&] { return ValorNoNulo(target.value(QStringLiteral("Importe_S_IVA"))); });
    }
    runStatement(run, [&] { target.update(); });
    erp.CierraRecordset(client);
}

// One document: the duplicate test, then header and lines in one transaction, so a run left
// in the middle of a document leaves nothing of it behind (the next run imports it whole).
void importOne(SyncRunState& run, Recordset& docs, Recordset& newDoc, Recordset& newSheet) {
    DocumentKey k;
    QString key;
    runStatement(run, [&] {
        key = textOf(docs.value(QStringLiteral("MV_CPTE_TSNL")));
        k = splitKey(key);
    });
    bool exists = false;
    runStatement(run, [&] {
        exists = run.planillaMode ? ExistePlanilla(k.tc, k.sucursal, k.numero, k.letra)
                                  : ExisteComprobante(k.tc, k.sucursal, k.numero, k.letra);
    });
    if (exists) {
        ++run.skipped;
        run.skippedKeys << key;
        return;
    }
    std::optional<Transaction> document;
    runStatement(run, [&] { document.emplace(ErpDb().gCnn); });
    if (run.planillaMode) addSheetRow(run, docs, newSheet);
    else addDocument(run, k, docs, newDoc);
    importLines(run, k, key);
    if (document) runStatement(run, [&] { document->commit(); });
    ++run.imported;
    run.importedKeys << key;
}

} // namespace

QString sqlText(const QString& value) {
    QString v = value;
    return v.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString textOf(const QVariant& value) {
    if (isNull(value)) throw RunTimeError(94, QStringLiteral("Invalid use of Null"));
    return value.toString();
}

DocumentKey splitKey(const QString& key) {
    return {key.mid(0, 2), key.mid(2, 4), key.mid(6, 8), key.mid(14, 1)};
}

bool ExisteComprobante(const QString& tc, const QString& sucursal, const QString& numero, const QString& letra) {
    return existsIn(QStringLiteral("V_MV_CPTE"), {tc, sucursal, numero, letra});
}

bool ExistePlanilla(const QString& tc, const QString& sucursal, const QString& numero, const QString& letra) {
    return existsIn(QStringLiteral("GM_V_MV_PLANILLA_CAB"), {tc, sucursal, numero, letra});
}

QString planillaAfter(const QString& maximum) {
    const QString m = maximum.trimmed();
    const QString digits = m.isEmpty() ? QStringLiteral("0") : m.mid(4, 8);
    // The numeric value of the leading digits, as a numeric parse of the text reads it.
    qint64 n = 0;
    for (QChar c : digits) {
        if (!c.isDigit()) break;
        n = n * 10 + c.digitValue();
    }
    return QStringLiteral("0000") + QString::number(n + 1).rightJustified(8, QLatin1Char('0')) + QLatin1Char('X');
}

QString NuevaPlanilla() {
    DB_Dll& erp = ErpDb();
    Recordset rs;
    erp.AbrirRecordset(QStringLiteral("SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB "), rs, &erp.gCnn,
                       cursor::ForwardOnly, lock::ReadOnly);
    const QString next = planillaAfter(TextoNoNulo(rs.value(QStringLiteral("EL_MAX"))));
    erp.CierraRecordset(rs);
    return next;
}

void ImportarComprobantes(SyncRunState& run) {
    DB_Dll& erp = ErpDb();
    DB_Dll& local = LocalDb();
    StatusWindow& status = op().statusWindow();
    Recordset docs;
    Recordset newDoc;
    Recordset newSheet;
    run.imported = 0;
    run.skipped = 0;
    runStatement(run, [&] { local.AbrirRecordset(QStringLiteral("MV_CPTE"), docs, &local.gCnn, cursor::ForwardOnly, lock::ReadOnly); });
    runStatement(run, [&] {
        erp.AbrirRecordset(QStringLiteral("SELECT TOP 1 * FROM V_MV_CPTE"), newDoc, &erp.gCnn, cursor::Dynamic,
                           lock::Optimistic);
    });
    runStatement(run, [&] {
        erp.AbrirRecordset(QStringLiteral("SELECT TOP 1 * FROM GM_V_MV_PLANILLA_CAB"), newSheet, &erp.gCnn,
                           cursor::Dynamic, lock::Optimistic);
    });
    runStatement(run, [&] { run.planilla = NuevaPlanilla(); });
    bool empty = true;
    runStatement(run, [&] { empty = docs.bof(); });
    while (!empty) {
        bool atEnd = true;
        runStatement(run, [&] { atEnd = docs.eof(); });
        if (atEnd) break;
        importOne(run, docs, newDoc, newSheet);
        runStatement(run, [&] { status.showTexts(QStringLiteral("Actualizando comprobantes"), TextoAvance()); });
        runStatement(run, [&] { docs.moveNext(); });
    }
    runStatement(run, [&] {
        op().messageBox(QStringLiteral("Se actualizaron %1 comprobantes y se omitieron %2 por ya existir en la base de "
                                       "datos\rSE HA GENERADO LA PLANILLA DE CONTROL Nº %3")
                            .arg(run.imported)
                            .arg(run.skipped)
                            .arg(run.planilla),
                        mb::Question, QStringLiteral("Aviso al operador!!!"));
    });
}

} // namespace kv

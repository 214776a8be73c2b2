#include "sync/DocumentImport.h"

#include "app/Clock.h"
#include "app/GeneralFunctions.h"
#include "app/LockWaits.h"
#include "app/Operator.h"
#include "data/DB_Dll.h"
#include "data/TypedValue.h"
#include "sync/GroupImport.h"
#include "sync/ImportBatch.h"
#include "sync/ImportPrompts.h"
#include "sync/ImportTargets.h"
#include "sync/LineImport.h"

#include <QHash>

namespace kv {

namespace {

bool hasSupplyLines(const QString& tc) {
    for (const char* code : {"RM", "NP", "PR"})
        if (tc.compare(QLatin1String(code), Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool existsIn(const QString& view, const QString& tc, const QString& idComprobante) {
    DB_Dll& erp = ErpDb();
    Recordset rs;
    erp.AbrirConsulta(QStringLiteral("SELECT TC FROM ") + view + QStringLiteral(" WHERE TC = ? AND IDCOMPROBANTE = ?"),
                      {CodigoAncho(tc, 4), idComprobante}, rs);
    const bool found = !rs.bof();
    erp.CierraRecordset(rs);
    return found;
}

// One document's lines, by its key, on the local sync store.
void openLines(SyncRunState& run, const QString& key, Recordset& lines) {
    if (run.group) {
        lines.openRows(run.group->lineColumns, run.group->lines.value(key), run.group->lineIndex);
        return;
    }
    LocalDb().AbrirConsulta(QStringLiteral("SELECT * FROM MV_CPTE_DETALLE WHERE MV_CPTE_DET_TSNL = ?"), {key}, lines);
}

QString shownKey(const QString& key) {
    QString shown = key;
    return shown.replace(QChar(0), QStringLiteral("\\0"));
}

void importLines(SyncRunState& run, const DocumentKey& k, const QString& key) {
    Recordset lines;
    runStatement(run, [&] { openLines(run, key, lines); });
    if (k.tc.compare(QStringLiteral("OT"), Qt::CaseInsensitive) == 0) ImportarTareas(run, k, lines);
    else if (hasSupplyLines(k.tc)) ImportarDetalle(run, k, lines);
}

// Column map A: a row of the control sheet. False when the row could not be stored.
bool addSheetRow(SyncRunState& run, Recordset& doc, Recordset& sheet) {
    auto set = [&](const char* column, auto&& value) {
        runStatement(run, [&] { sheet.setValue(columnName(column), value()); });
    };
    auto local = [&](const char* column) { return doc.value(columnName(column)); };
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
    return !run.trap.lastIgnored();
}

// Column map B: an ordinary document, enriched with the client's data. False when the row could
// not be stored.
bool addDocument(SyncRunState& run, const DocumentKey& k, Recordset& doc, Recordset& target) {
    DB_Dll& erp = ErpDb();
    Recordset client;
    auto set = [&](const char* column, auto&& value) {
        runStatement(run, [&] { target.setValue(columnName(column), value()); });
    };
    auto local = [&](const char* column) { return doc.value(columnName(column)); };
    auto cli = [&](const char* column) { return ValorNoNulo(client.value(columnName(column))); };
    runStatement(run, [&] { target.addNew(); });
    set("TC", [&] { return QVariant(k.tc.trimmed()); });
    set("IdComprobante", [&] { return QVariant(k.idComprobante()); });
    set("IdComplemento", [] { return QVariant(0); });
    set("Fecha", [&] { return local("MV_CPTE_FECHA"); });
    set("FECHAESTINICIO", [&] { return local("MV_CPTE_FECHA"); });
    set("FECHAESTFIN", [&] { return local("MV_CPTE_FECHA"); });
    set("Cuenta", [&] { return local("MV_CPTE_IDCLIENTE"); });
    runStatement(run, [&] {
        const QString code = textOf(local("MV_CPTE_IDCLIENTE"));
        if (run.group) openGroupClient(*run.group, code, client);
        else erp.AbrirConsulta(importStatement("VT_CLIENTES"), {code}, client);
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
    const bool stored = !run.trap.lastIgnored();
    erp.CierraRecordset(client);
    return stored;
}

// One document: the duplicate test and the header and lines, inside the document's savepoint
// of the batch, so a document is whole or absent and no other import can write it meanwhile.
void importOne(SyncRunState& run, ImportBatch& batch, ImportPrompts& prompts, Recordset& docs, Recordset& newDoc,
               Recordset& newSheet) {
    prompts.documentBegins();
    const int row = docs.position();
    DocumentKey k;
    QString key;
    runStatement(run, [&] {
        key = textOf(docs.value(QStringLiteral("MV_CPTE_TSNL")));
        k = splitKey(key);
    });
    run.currentKey = key;
    if (unusableKey(key)) {
        // Nothing is held while the person reads the message.
        if (const std::optional<int> lost = batch.pause()) throw ImportRestart{*lost};
        if (!run.refusedKeys.contains(key)) {
            run.refusedKeys << key;
            if (run.unattended)
                run.leftOut.append({shownKey(key), QStringLiteral("its key has characters that cannot be read")});
        }
        runStatement(run, [&] {
            op().messageBox(QStringLiteral("El comprobante '%1' no se importó: su clave tiene caracteres que no se "
                                           "pueden leer. Corríjalo en la palm.")
                                .arg(shownKey(key)),
                            mb::Exclamation, QStringLiteral("Aviso al Operador!!!"));
        });
        return;
    }
    // Paused before anything of this import was committed: another import may have drawn the same
    // control-sheet number meanwhile, and written with it. One statement either way, so a
    // document's statements are numbered alike at every attempt.
    runStatement(run, [&] {
        if (batch.beginDocument(row) && run.imported == 0) run.planilla = NuevaPlanilla();
    });
    bool exists = false;
    runStatement(run, [&] {
        if (run.group) {
            exists = run.group->exists.value(row - run.group->first);
            return;
        }
        const DocumentKey w = writtenKey(run, docs, k);
        exists = run.planillaMode ? ExistePlanilla(w.tc, w.sucursal, w.numero, w.letra)
                                  : ExisteComprobante(w.tc, w.sucursal, w.numero, w.letra);
    });
    if (exists) {
        runStatement(run, [&] { batch.documentSkipped(key); });
        return;
    }
    const bool stored = run.planillaMode ? addSheetRow(run, docs, newSheet) : addDocument(run, k, docs, newDoc);
    if (!stored) {
        // A header the operator chose to go on without: nothing of the document is written or
        // counted, and the next run tries it again.
        runStatement(run, [&] { batch.dropDocument(); });
        return;
    }
    importLines(run, k, key);
    runStatement(run, [&] { batch.documentDone(key); });
}

// Documents written together: their reads made once for all of them, their rows written
// together, one savepoint for the lot. True when they are written (and `docs` is past them);
// false when they are to be written one at a time up to `singleUntil` (`docs` back at the
// first), since nothing of the group is kept when any of its statements fails.
bool writeGroup(SyncRunState& run, ImportBatch& batch, ImportPrompts& prompts, Recordset& docs, Recordset& newDoc,
                Recordset& newSheet, int& singleUntil) {
    constexpr int kDocuments = 100;
    const int first = docs.position();
    GroupReads reads;
    try {
        reads = readGroup(run, docs, kDocuments);
    } catch (const RunTimeError&) {
        reads.count = 0; // written one at a time, where the failing read is treated as always
    }
    if (reads.count < 2) {
        singleUntil = first + 1;
        return false;
    }
    struct Keeping {
        SyncRunState& run;
        Recordset &doc, &sheet;
        ~Keeping() {
            run.group = nullptr;
            run.deferInserts = false;
            stopKeepingRows(run, doc, sheet);
        }
    } keeping{run, newDoc, newSheet};
    run.group = &reads;
    run.deferInserts = true;
    newDoc.setDeferred(true);
    newSheet.setDeferred(true);
    bool written = false;
    try {
        if (batch.beginGroup(first) && run.imported == 0) run.planilla = NuevaPlanilla();
        StatusWindow& status = op().statusWindow();
        for (int i = 0; i < reads.count; ++i) {
            importOne(run, batch, prompts, docs, newDoc, newSheet);
            runStatement(run, [&] { status.showTexts(QStringLiteral("Actualizando comprobantes"), TextoAvance()); });
            docs.moveNext();
        }
        writeKeptRows(run, newDoc, newSheet);
        batch.groupDone();
        written = true;
    } catch (const GroupFailed&) {
    } catch (const RunTimeError&) {
    }
    if (written) return true;
    singleUntil = first + reads.count;
    // The group is undone and the whole documents before it committed. A commit that failed
    // (the group's own, or this one) lost documents of earlier groups too: the walk goes back to
    // the first of them.
    const std::optional<int> lost = batch.pause();
    if (lost && *lost < first) {
        docs.moveTo(*lost);
        return false;
    }
    docs.moveTo(first);
    return false;
}

// Each committed group's documents, counted as what they turned out to be.
void countCommitted(SyncRunState& run, const QList<ImportBatch::Entry>& entries) {
    for (const ImportBatch::Entry& e : entries) {
        if (e.skipped) {
            ++run.skipped;
            run.skippedKeys << e.key;
        } else {
            ++run.imported;
            run.importedKeys << e.key;
        }
    }
}

} // namespace

// A key the engines cannot be given back exactly: a NUL ends a text for most of them, and a byte
// that was not UTF-8 was read as U+FFFD, so no query could find the document's lines by it.
bool unusableKey(const QString& key) {
    return key.contains(QChar(0)) || key.contains(QChar(QChar::ReplacementCharacter));
}

// What the duplicate test looks for: the type code and number as the import writes them.
DocumentKey writtenKey(SyncRunState& run, Recordset& docs, const DocumentKey& k) {
    if (!run.planillaMode) return {k.tc.trimmed(), k.sucursal, k.numero, k.letra};
    return {TextoNoNulo(docs.value(QStringLiteral("MV_CPTE_TIPOREG"))).trimmed(),
            TextoNoNulo(docs.value(QStringLiteral("MV_CPTE_IDCOMPROBANTE"))).trimmed(), QStringLiteral(""),
            QStringLiteral("")};
}

const QString& columnName(const char* column) {
    thread_local QHash<const char*, QString> names;
    auto it = names.constFind(column);
    if (it == names.constEnd()) it = names.insert(column, QString::fromLatin1(column));
    return *it;
}

QString sqlText(const QString& value) {
    QString v = value;
    return v.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString textOf(const QVariant& value) {
    if (isNull(value)) throw RunTimeError(94, QStringLiteral("Invalid use of Null"));
    return value.toString();
}

DocumentKey splitKey(const QString& key) {
    return {notNullText(key.mid(0, 2)), notNullText(key.mid(2, 4)), notNullText(key.mid(6, 8)),
            notNullText(key.mid(14, 1))};
}

bool ExisteComprobante(const QString& tc, const QString& sucursal, const QString& numero, const QString& letra) {
    return existsIn(QStringLiteral("V_MV_CPTE"), tc, sucursal + numero + letra);
}

bool ExistePlanilla(const QString& tc, const QString& sucursal, const QString& numero, const QString& letra) {
    return existsIn(QStringLiteral("GM_V_MV_PLANILLA_CAB"), tc, sucursal + numero + letra);
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
    erp.openRecordset(QStringLiteral("SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB "), rs, &erp.gCnn,
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
    run.lineTargets.clear();
    struct LineTargets {
        SyncRunState& run;
        ~LineTargets() { run.lineTargets.clear(); }
    } lineTargets{run};
    // Opened under the run's own error treatment: an Abort ends the import there.
    runStatement(run, [&] { local.openRecordset(QStringLiteral("MV_CPTE"), docs, &local.gCnn, cursor::ForwardOnly, lock::ReadOnly); });
    runStatement(run, [&] {
        erp.openRecordset(importStatement("V_MV_CPTE"), newDoc, &erp.gCnn, cursor::Dynamic,
                          lock::Optimistic);
    });
    runStatement(run, [&] {
        erp.openRecordset(importStatement("GM_V_MV_PLANILLA_CAB"), newSheet, &erp.gCnn,
                          cursor::Dynamic, lock::Optimistic);
    });
    ImportBatch batch(erp.gCnn, &local.gCnn, lockWaits().import,
                      [&](const QList<ImportBatch::Entry>& entries) { countCommitted(run, entries); });
    if (run.unattended) batch.setLockPoll(10);
    ImportPrompts prompts(run, batch, docs);
    // Taken before the sheet number is drawn, so two imports never draw the same one.
    runStatement(run, [&] { batch.lock(); });
    runStatement(run, [&] { run.planilla = NuevaPlanilla(); });
    bool empty = true;
    runStatement(run, [&] { empty = docs.bof(); });
    int singleUntil = -1; // the documents of a group that failed are written one at a time
    // Leaving through the error treatment unwinds through the batch, which keeps the whole
    // documents done and drops the current one; a prompt answered with Retry or Ignore may send
    // the walk back to a document to write it again.
    for (;;) {
        try {
            while (!empty) {
                bool atEnd = true;
                runStatement(run, [&] { atEnd = docs.eof(); });
                if (atEnd) break;
                if (docs.position() >= singleUntil &&
                    writeGroup(run, batch, prompts, docs, newDoc, newSheet, singleUntil))
                    continue;
                importOne(run, batch, prompts, docs, newDoc, newSheet);
                runStatement(run, [&] { status.showTexts(QStringLiteral("Actualizando comprobantes"), TextoAvance()); });
                runStatement(run, [&] { docs.moveNext(); });
            }
            runStatement(run, [&] { batch.finish(); });
            break;
        } catch (const ImportRestart& restart) {
            runStatement(run, [&] { docs.moveTo(restart.row); });
        }
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

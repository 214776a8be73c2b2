// The ERP objects the document import writes: ordinary documents and their task and supply
// lines, and the control sheet with its lines. Type code, task, article and unit codes are
// fixed-width, so a document stored as "NP" is the one the duplicate test asks for as "NP  ".

#include "ErpColumns.h"

namespace kv::erp::def {

namespace {

// The columns every document table starts with, and its lookup index.
QList<ErpColumn> documentKey(int idLength = 13) {
    return {identity("ID"), notNull(code("TC", 4)), notNull(text("IdComprobante", idLength))};
}

const ErpIndex kDocumentIndex = index({"TC", "IdComprobante"});

QVariant onlyForSupplies(const Document& d, const QVariant& v) {
    return d.type == QLatin1String("OT") ? QVariant() : v;
}

ErpObject documents() {
    QList<ErpColumn> c = documentKey();
    c << byDefault(notNull(integer("IdComplemento")), "0") << dateTime("Fecha") << dateTime("FECHAESTINICIO")
      << dateTime("FECHAESTFIN") << text("Cuenta", 15) << text("Nombre", 50) << text("DOMICILIO", 100)
      << text("Localidad", 50) << text("Telefono", 50) << text("IDPROVINCIA", 4) << text("CODIGOPOSTAL", 10)
      << text("DOCUMENTOTIPO", 4) << text("DOCUMENTONUMERO", 15) << text("CONDICIONIVA", 4)
      << currency("Importe_S_IVA") << currency("Importe") << currency("ImporteIVA") << currency("NetoGravado")
      << currency("NETONOGRAVADO") << smallInt("ClasePrecio") << currency("IMPORTEINSUMOS")
      << text("IdVendedor", 4) << memo("Observaciones") << byDefault(notNull(flag("Anulado")), "0")
      << byDefault(dateTime("FECHAHORA_GRABACION"), "CURRENT_TIMESTAMP");
    return table("V_MV_CPTE", "import target: ordinary documents", c, {kDocumentIndex},
                 [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().documents; ++i) {
                         const Document doc = d.document(i);
                         const Client& k = doc.client;
                         const Address& a = k.address;
                         // The address as the import joins it: four parts, single blanks, nothing dropped.
                         QStringList parts;
                         for (const QVariant& p : {a.street, a.number, a.floor, a.door})
                             parts << p.toString();
                         const double total = doc.net + doc.vat;
                         emit({doc.type,
                               doc.id,
                               0,
                               doc.date,
                               doc.date,
                               doc.date,
                               k.code,
                               k.name,
                               parts.join(QLatin1Char(' ')),
                               a.town.name,
                               a.phone,
                               k.province,
                               a.postalCode,
                               k.documentType,
                               k.documentNumber,
                               k.iva,
                               doc.net,
                               total,
                               doc.vat,
                               doc.net,
                               0.0,
                               onlyForSupplies(doc, k.priceClass),
                               onlyForSupplies(doc, doc.net),
                               k.vendors[0],
                               QVariant(),
                               0,
                               doc.date});
                     }
                 });
}

ErpObject taskLines() {
    QList<ErpColumn> c = documentKey();
    c << byDefault(notNull(integer("IdComplemento")), "0") << code("IdTarea", 4) << text("Descripcion", 250)
      << dbl("Horas") << currency("valorhora") << currency("valorHora_S_Iva") << currency("Total")
      << byDefault(notNull(flag("EXENTO")), "0") << memo("descripcionadicional") << text("IdTecnico", 4);
    return table("V_MV_CpteTareas", "import target: task lines of work orders", c, {kDocumentIndex},
                 [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().documents; ++i) {
                         const Document doc = d.document(i);
                         for (const TaskLine& t : doc.tasks)
                             emit({doc.type, doc.id, 0, t.task, t.description, t.hours, t.rate, t.rate,
                                   t.total, flagOf(t.exempt), t.notes, t.technician});
                     }
                 });
}

ErpObject supplyLines() {
    QList<ErpColumn> c = documentKey();
    c << byDefault(notNull(integer("IdComplemento")), "0") << code("IdArticulo", 25)
      << text("Descripcion", 250) << dbl("Cantidad") << code("IdUnidad", 4) << currency("Impuestos")
      << currency("Importe") << currency("Importe_S_IVA") << currency("Total")
      << byDefault(text("IdDeposito", 4), "'01'");
    return table("V_MV_CpteInsumos", "import target: supply lines of ordinary documents", c, {kDocumentIndex},
                 [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().documents; ++i) {
                         const Document doc = d.document(i);
                         for (const SupplyLine& s : doc.supplies)
                             emit({doc.type, doc.id, 0, s.article, s.description, s.quantity, s.unit, 0.0,
                                   s.price, s.priceWithoutVat, s.total, QStringLiteral("01")});
                     }
                 });
}

// The control sheet starts empty: the first sheet a receive draws is 000000000001X.
ErpObject controlSheets() {
    QList<ErpColumn> c = documentKey(15);
    c.insert(1, notNull(text("id_planilla", 13)));
    c << dateTime("Fecha_planilla") << text("IdVendedor", 4) << dateTime("Fecha") << dateTime("FECHA_ENTREGA")
      << smallInt("ClasePrecio") << dbl("descuento") << text("IdCliente", 15) << integer("ITEMS")
      << currency("Importe_S_IVA") << currency("IMPORTE_TOTAL")
      << byDefault(notNull(text("Estado", 1)), "'P'")
      << byDefault(dateTime("FECHAHORA_GRABACION"), "CURRENT_TIMESTAMP");
    return table("GM_V_MV_PLANILLA_CAB", "import target: control-sheet rows", c,
                 {kDocumentIndex, index({"id_planilla"})});
}

ErpObject controlSheetLines() {
    QList<ErpColumn> c = documentKey();
    c << integer("Item") << text("IdCliente", 15) << dateTime("Fecha") << dateTime("FECHA_ENTREGA")
      << code("IdArticulo", 25) << text("Descripcion", 250) << dbl("descuento") << dbl("Cantidad")
      << code("IdUnidad", 4) << currency("precio") << currency("precio_S_IVA") << currency("IMPORTE_IVA")
      << currency("IMPORTE_IMP_INT") << currency("Total");
    return table("GM_V_MV_PLANILLA_DETALLE", "import target: control-sheet lines", c, {kDocumentIndex});
}

} // namespace

QList<ErpObject> documentObjects() {
    return {documents(), controlSheets(), taskLines(), supplyLines(), controlSheetLines()};
}

} // namespace kv::erp::def

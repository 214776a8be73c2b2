#include "sync/ImportTargets.h"

namespace kv {

namespace {
constexpr ColumnUse A = ColumnUse::Any;
constexpr ColumnUse N = ColumnUse::Number;
constexpr ColumnUse D = ColumnUse::Date;

// A target the receive adds rows to, through a one-row record set over it.
ObjectColumns object(const char* name, std::initializer_list<std::pair<const char*, ColumnUse>> columns) {
    ObjectColumns o{QLatin1String(name), {}, QStringLiteral("SELECT TOP 1 * FROM ") + QLatin1String(name), true};
    for (const auto& [c, use] : columns)
        o.columns.append({QLatin1String(c), use});
    return o;
}

// The client, read by its code: only the columns the document takes.
ObjectColumns clients(ObjectColumns o) {
    QStringList names;
    for (const auto& c : o.columns) names << c.first;
    o.statement = QStringLiteral("SELECT %1 FROM %2 WHERE CTACODIGO = ?").arg(names.join(QStringLiteral(", ")), o.object);
    o.written = false;
    return o;
}
} // namespace

const QList<ObjectColumns>& importObjects() {
    static const QList<ObjectColumns> list{
        object("V_MV_CPTE", {{"TC", A},           {"IdComprobante", A},  {"IdComplemento", N},
                             {"Fecha", D},        {"FECHAESTINICIO", D}, {"FECHAESTFIN", D},
                             {"Cuenta", A},       {"Nombre", A},         {"DOMICILIO", A},
                             {"Localidad", A},    {"Telefono", A},       {"IDPROVINCIA", A},
                             {"CODIGOPOSTAL", A}, {"DOCUMENTOTIPO", A},  {"DOCUMENTONUMERO", A},
                             {"CONDICIONIVA", A}, {"Importe_S_IVA", N},  {"Importe", N},
                             {"ImporteIVA", N},   {"NetoGravado", N},    {"NETONOGRAVADO", N},
                             {"ClasePrecio", N},  {"IMPORTEINSUMOS", N}}),
        object("GM_V_MV_PLANILLA_CAB", {{"id_planilla", A},
                                        {"Fecha_planilla", D},
                                        {"IdVendedor", A},
                                        {"Fecha", D},
                                        {"FECHA_ENTREGA", D},
                                        {"TC", A},
                                        {"IdComprobante", A},
                                        {"ClasePrecio", N},
                                        {"descuento", N},
                                        {"IdCliente", A},
                                        {"ITEMS", N},
                                        {"Importe_S_IVA", N},
                                        {"IMPORTE_TOTAL", N}}),
        object("V_MV_CpteTareas", {{"TC", A},
                                   {"IdComprobante", A},
                                   {"IdComplemento", N},
                                   {"IdTarea", A},
                                   {"Descripcion", A},
                                   {"Horas", N},
                                   {"valorhora", N},
                                   {"valorHora_S_Iva", N},
                                   {"Total", N},
                                   {"EXENTO", A},
                                   {"descripcionadicional", A}}),
        object("V_MV_CpteInsumos", {{"TC", A},
                                    {"IdComprobante", A},
                                    {"IdComplemento", N},
                                    {"IdArticulo", A},
                                    {"Descripcion", A},
                                    {"Cantidad", N},
                                    {"IdUnidad", A},
                                    {"Impuestos", N},
                                    {"Importe", N},
                                    {"Importe_S_IVA", N},
                                    {"Total", N}}),
        object("GM_V_MV_PLANILLA_DETALLE", {{"TC", A},
                                            {"IdComprobante", A},
                                            {"Item", N},
                                            {"IdCliente", A},
                                            {"Fecha", D},
                                            {"FECHA_ENTREGA", D},
                                            {"IdArticulo", A},
                                            {"Descripcion", A},
                                            {"descuento", N},
                                            {"Cantidad", N},
                                            {"IdUnidad", A},
                                            {"precio", N},
                                            {"precio_S_IVA", N},
                                            {"IMPORTE_IVA", N},
                                            {"IMPORTE_IMP_INT", N},
                                            {"Total", N}}),
        clients(object("VT_CLIENTES", {{"CTACODIGO", A},
                               {"RAZON_SOCIAL", A},
                               {"Calle", A},
                               {"Numero", A},
                               {"PISO", A},
                               {"DEPARTAMENTO", A},
                               {"Localidad", A},
                               {"Telefono", A},
                               {"PROVINCIA", A},
                               {"CPostal", A},
                               {"DOCUMENTO_TIPO", A},
                               {"NUMERO_DOCUMENTO", A},
                               {"iva", A}})),
    };
    return list;
}

const QString& importStatement(const char* object) {
    for (const ObjectColumns& o : importObjects())
        if (o.object == QLatin1String(object)) return o.statement;
    static const QString none;
    return none;
}

} // namespace kv

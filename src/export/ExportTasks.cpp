#include "export/ExportTasks.h"

#include <QRegularExpression>

namespace kv {

namespace {
using S = SourceType;

ColumnCopy c(const char* src, SourceType t, int len, const char* dst) {
    return {QLatin1String(src), t, len, QLatin1String(dst)};
}

ExportStep copy(int n, const char* description, const char* destination, QList<ColumnCopy> cols) {
    return {n + 1, QStringLiteral("DTSStep_DTSDataPumpTask_%1").arg(n), QLatin1String(description),
            QStringLiteral("DTSTask_DTSDataPumpTask_%1").arg(n), QLatin1String(destination), std::move(cols)};
}

QList<ExportStep> buildSteps() {
    QList<ExportStep> s;
    s << ExportStep{1, QStringLiteral("DTSStep_DTSExecuteSQLTask_1"), QStringLiteral("PRE_EXPORTACION"),
                    QStringLiteral("DTSTask_DTSExecuteSQLTask_1"), QString(), {}};
    s << copy(1, "TA_BANCOS", "TA_BANCOS", {c("IdBanco", S::Text, 4, "IDBANCO"), c("Descripcion", S::Text, 50, "DESCRIPCION")});
    s << copy(2, "TA_CATEGORIAS", "TA_CATEGORIAS",
              {c("IdCategoria", S::Text, 4, "IDCATEGORIA"), c("Descripcion", S::Text, 50, "DESCRIPCION")});
    s << copy(3, "TA_RUBROS", "TA_RUBROS", {c("IdRubro", S::Text, 4, "IDRUBRO"), c("Descripcion", S::Text, 50, "DESCRIPCION")});
    s << copy(4, "TA_TAREAS", "TA_TAREAS",
              {c("IdTarea", S::Text, 4, "IDTAREA"), c("Descripcion", S::Text, 250, "DESCRIPCION"),
               c("HorasEstimadas", S::Double, 0, "HORASESTIMADAS"), c("ValorHora", S::Currency, 0, "VALORHORA"),
               c("ModificaValor", S::Boolean, 0, "MODIFICAVALOR"), c("Exento", S::Boolean, 0, "EXENTO"),
               c("IDTecnico", S::Text, 4, "IDTECNICO"), c("PideDatosAdic", S::Boolean, 0, "PIDEDATOSADIC"),
               c("TasaIVA", S::Double, 0, "TASAIVA"), c("DescripcionAdicional", S::LongText, 0, "DESCRIPCIONADICIONAL")});
    s << copy(5, "TA_TIPOS", "TA_TIPOS", {c("IdTipo", S::Text, 4, "IDTIPO"), c("Descripcion", S::Text, 50, "DESCRIPCION")});
    s << copy(6, "TA_UNIDAD", "TA_UNIDAD", {c("IdUnidad", S::Text, 4, "IDUNIDAD"), c("Descripcion", S::Text, 50, "DESCRIPCION")});
    s << copy(7, "TA_USUARIOS", "TA_USUARIOS",
              {c("SISTEMA", S::Text, 50, "SISTEMA"), c("PASSWORD", S::Text, 40, "PASSWORD"), c("NOMBRE", S::Text, 50, "USUARIO")});
    s << copy(8, "TA_VENDEDOR", "TA_VENDEDORES",
              {c("IdVendedor", S::Text, 4, "IDVENDEDOR"), c("Nombre", S::Text, 100, "NOMBRE"),
               c("Domicilio", S::Text, 100, "DOMICILIO"), c("Localidad", S::Text, 100, "LOCALIDAD"),
               c("IdProvincia", S::Text, 4, "IDPROVINCIA"), c("CodigoPostal", S::Text, 50, "CODIGOPOSTAL"),
               c("IdTipoDocumento", S::Text, 4, "IDTIPODOCUMENTO"), c("NumeroDocumento", S::Text, 50, "NUMERODOCUMENTO"),
               c("IdCondIva", S::Text, 4, "IDCONDIVA"), c("Telefono", S::Text, 100, "TELEFONO"),
               c("E_Mail", S::Text, 100, "E_MAIL"), c("http", S::Text, 100, "HTTP"),
               c("Porc_Venta", S::Double, 0, "PORC_VENTA"), c("Porc_Cobranza", S::Double, 0, "PORC_COBRANZA"),
               c("Imagen", S::Binary, 0, "IMAGEN"), c("IDDeposito", S::Text, 4, "IDDEPOSITO")});
    s << copy(9, "MA_ARTICULOS", "MA_ARTICULOS",
              {c("IDARTICULO", S::Text, 25, "IDARTICULO"), c("DESCRIPCION", S::Text, 50, "DESCRIPCION"),
               c("COSTO", S::Currency, 0, "COSTO"), c("CODIGOBARRA", S::Text, 25, "CODIGODEBARRAS"),
               c("PRECIO1", S::Currency, 0, "IMPORTE"), c("PRECIO2", S::Currency, 0, "IMPORTE2"),
               c("PRECIO3", S::Currency, 0, "IMPORTE3"), c("PRECIO4", S::Currency, 0, "IMPORTE4"),
               c("IDRUBRO", S::Text, 4, "RUBRO"), c("IDUNIDAD", S::Text, 4, "UNIDAD"), c("IDTIPO", S::Text, 4, "TIPO"),
               c("TasaIVA", S::Double, 0, "ALICIVA")});
    s << copy(10, "MA_CLIENTES", "MA_CLIENTES",
              {c("CODIGO", S::Text, 15, "IDCLIENTE"), c("RAZON_SOCIAL", S::Text, 50, "DESCRIPCION"),
               c("CALLE", S::Text, 50, "DOMICILIO"), c("LOCALIDAD", S::Text, 50, "LOCALIDAD"),
               c("TELEFONO", S::Text, 50, "TELEFONO"), c("IVA", S::Text, 4, "IVA"),
               c("NUMERO_DOCUMENTO", S::Text, 15, "CUIT"), c("ZONA", S::Text, 7, "ZONA"),
               c("IDCategoria", S::Text, 4, "CATEGORIA"), c("Clase", S::Int16, 0, "CLASE_PRECIO"),
               c("IdVendedor", S::Text, 4, "IDVENDEDOR"), c("IdLista", S::Text, 4, "IDLISTA"),
               c("Descuento", S::Double, 0, "DESCUENTO"), c("CONTACTO", S::Text, 70, "CONTACTO")});
    s << copy(11, "MA_PRECIOS", "MA_PRECIOS",
              {c("IdLista", S::Text, 4, "IDLISTA"), c("Nombre", S::Text, 50, "NOMBRE"),
               c("IdArticulo", S::Text, 25, "IDARTICULO"), c("ConIVA", S::Boolean, 0, "CONIVA"),
               c("Precio1", S::Currency, 0, "PRECIO1"), c("Precio2", S::Currency, 0, "PRECIO2"),
               c("Precio3", S::Currency, 0, "PRECIO3"), c("Precio4", S::Currency, 0, "PRECIO4"),
               c("Precio5", S::Currency, 0, "PRECIO5"), c("IdMoneda", S::Text, 4, "IDMONEDA"),
               c("TipoLista", S::Text, 1, "TIPOLISTA"), c("FCOSTO", S::Text, 100, "FCOSTO"),
               c("FCLASE1", S::Text, 100, "FCLASE1"), c("FCLASE2", S::Text, 100, "FCLASE2"),
               c("FCLASE3", S::Text, 100, "FCLASE3"), c("FCLASE4", S::Text, 100, "FCLASE4"),
               c("FCLASE5", S::Text, 100, "FCLASE5")});
    s << copy(12, "TA_ZONAS", "TA_ZONAS", {c("IdZona", S::Text, 7, "IDZONA"), c("Descripcion", S::Text, 7, "DESCRIPCION")});
    return s;
}

// The whole views each copy step reads (the other three build their statement).
QString sourceObject(int position) {
    static const char* objects[] = {"",
                                    "",
                                    "[V_TA_Bancos]",
                                    "[V_TA_Categoria]",
                                    "[V_TA_Rubros]",
                                    "[V_TA_Tareas]",
                                    "[V_TA_TipoArticulo]",
                                    "[V_TA_Unidad]",
                                    "[TA_USUARIOS]",
                                    "[V_TA_VENDEDORES]",
                                    "[V_MA_ARTICULOS]"};
    return position >= 2 && position <= 10 ? QLatin1String(objects[position]) : QString();
}
} // namespace

const QList<ExportStep>& exportSteps() {
    static const QList<ExportStep> steps = buildSteps();
    return steps;
}

QString deleteTaskText() {
    const char* tables[] = {"MA_ARTICULOS", "MA_CLIENTES", "MA_PRECIOS", "TA_BANCOS", "TA_CATEGORIAS", "TA_RUBROS",
                            "TA_TAREAS",    "TA_TIPOS",    "TA_UNIDAD",  "TA_USUARIOS", "TA_VENDEDORES", "TA_ZONAS"};
    QStringList lines;
    for (const char* t : tables) {
        if (!lines.isEmpty()) lines << (QLatin1String(t) == QLatin1String("TA_VENDEDORES") ? QStringLiteral("GO ")
                                                                                            : QStringLiteral("GO"));
        lines << QStringLiteral("DELETE * FROM ") + QLatin1String(t);
    }
    return lines.join(QStringLiteral("\r\n"));
}

QStringList batchesOf(const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QStringList batches;
    QString current;
    for (const QString& line : text.split(lineBreak)) {
        if (line.trimmed().compare(QStringLiteral("GO"), Qt::CaseInsensitive) == 0) {
            if (!current.trimmed().isEmpty()) batches << current.trimmed();
            current.clear();
        } else {
            current += (current.isEmpty() ? QString() : QStringLiteral("\r\n")) + line;
        }
    }
    if (!current.trimmed().isEmpty()) batches << current.trimmed();
    return batches;
}

QString sourceStatement(const ExportStep& step, const QString& clientFilter, const QString& priceListFilter) {
    switch (step.position) {
    case 11: return QStringLiteral("SELECT * FROM vt_clientes") + clientFilter;
    case 12:
        return QStringLiteral("SELECT * FROM V_MA_Precios ") + priceListFilter +
               (priceListFilter.isEmpty() ? QStringLiteral(" WHERE TIPOLISTA='V'") : QStringLiteral(" AND TIPOLISTA='V'"));
    case 13:
        return QStringLiteral("SELECT isnull(ZONA,'') as IdZona, isnull(ZONA,'') AS Descripcion FROM vt_clientes\r\n"
                              "WHERE NOT ZONA IS NULL\r\n"
                              "group by ZONA");
    default: return QStringLiteral("SELECT * FROM ") + sourceObject(step.position);
    }
}

QString sourceObjectOf(const ExportStep& step) {
    switch (step.position) {
    case 1:
        return QString();
    case 11:
    case 13:
        return QStringLiteral("vt_clientes");
    case 12:
        return QStringLiteral("V_MA_Precios");
    default:
        return sourceObject(step.position).mid(1).chopped(1);
    }
}

} // namespace kv

#include "store/StoreSchema.h"

namespace kv {

namespace {

StoreColumn text(const char* name, int length) {
    return {QString::fromLatin1(name), ColumnKind::Text, length, true};
}
StoreColumn longText(const char* name) {
    return {QString::fromLatin1(name), ColumnKind::LongText, 0, true};
}
StoreColumn dbl(const char* name) {
    return {QString::fromLatin1(name), ColumnKind::Double, 0, true};
}
StoreColumn integer(const char* name) {
    return {QString::fromLatin1(name), ColumnKind::Integer, 0, true};
}
StoreColumn boolean(const char* name) {
    return {QString::fromLatin1(name), ColumnKind::Boolean, 0, true};
}
StoreColumn date(const char* name) {
    return {QString::fromLatin1(name), ColumnKind::Date, 0, true};
}
StoreColumn notNull(StoreColumn c) {
    c.nullable = false;
    return c;
}

StoreTable table(const char* name, StoreTable::Kind kind, const char* keySpec, QList<StoreColumn> columns) {
    StoreTable t;
    t.name = QString::fromLatin1(name);
    t.kind = kind;
    t.columns = std::move(columns);
    t.keySpec = QString::fromLatin1(keySpec);
    for (const QString& pair : t.keySpec.split(QLatin1Char(',')))
        t.keyColumns << pair.section(QLatin1Char(':'), 1);
    return t;
}

// The small code tables: a text(4) code and a text(50) description, both nullable.
StoreTable codeTable(const char* name, const char* code, const char* keySpec) {
    return table(name, StoreTable::Master, keySpec, {text(code, 4), text("DESCRIPCION", 50)});
}

QList<StoreTable> buildTables() {
    using T = StoreTable;
    QList<StoreTable> list;
    list << codeTable("TA_CATEGORIAS", "IDCATEGORIA", "1:IDCATEGORIA");
    list << codeTable("TA_RUBROS", "IDRUBRO", "1:IDRUBRO");
    list << table("TA_TAREAS", T::Master, "1:IDTAREA",
                  {notNull(text("IDTAREA", 4)), notNull(text("DESCRIPCION", 250)), dbl("HORASESTIMADAS"),
                   dbl("VALORHORA"), notNull(boolean("MODIFICAVALOR")), notNull(boolean("EXENTO")),
                   text("IDTECNICO", 4), notNull(boolean("PIDEDATOSADIC")), dbl("TASAIVA"),
                   longText("DESCRIPCIONADICIONAL")});
    list << codeTable("TA_TIPOS", "IDTIPO", "1:IDTIPO");
    list << codeTable("TA_UNIDAD", "IDUNIDAD", "1:IDUNIDAD");
    list << codeTable("TA_ZONAS", "IDZONA", "1:IDZONA");
    list << table("TA_BANCOS", T::Master, "0:IDBANCO", {text("IDBANCO", 4), text("DESCRIPCION", 200)});
    list << table("TA_VENDEDORES", T::Master, "1:IDVENDEDOR",
                  {text("IDVENDEDOR", 4), text("NOMBRE", 100), text("DOMICILIO", 100), text("LOCALIDAD", 100),
                   text("IDPROVINCIA", 4), text("CODIGOPOSTAL", 50), text("IDTIPODOCUMENTO", 4),
                   text("NUMERODOCUMENTO", 50), text("IDCONDIVA", 4), text("TELEFONO", 100),
                   text("E_MAIL", 100), text("HTTP", 100), dbl("PORC_VENTA"), dbl("PORC_COBRANZA"),
                   text("IMAGEN", 50), text("IDDEPOSITO", 4)});
    list << table("MA_ARTICULOS", T::Master, "0:IDARTICULO",
                  {text("IDARTICULO", 25), text("DESCRIPCION", 100), dbl("COSTO"), text("CODIGODEBARRAS", 25),
                   dbl("IMPORTE"), dbl("IMPORTE2"), dbl("IMPORTE3"), dbl("IMPORTE4"), text("RUBRO", 4),
                   text("UNIDAD", 4), text("TIPO", 50), dbl("ALICIVA")});
    list << table("MA_CLIENTES", T::Master, "0:IDCLIENTE",
                  {text("IDCLIENTE", 15), text("DESCRIPCION", 50), text("DOMICILIO", 50),
                   text("LOCALIDAD", 50), text("TELEFONO", 50), integer("IVA"), text("CUIT", 15),
                   text("ZONA", 4), text("CATEGORIA", 4), integer("CLASE_PRECIO"), text("IDVENDEDOR", 4),
                   text("IDLISTA", 4), dbl("DESCUENTO"), text("CONTACTO", 200)});
    list << table("MA_PRECIOS", T::Master, "0:IDLISTA,1:NOMBRE,2:IDARTICULO",
                  {text("IDLISTA", 4), text("NOMBRE", 50), text("IDARTICULO", 25), notNull(boolean("CONIVA")),
                   dbl("PRECIO1"), dbl("PRECIO2"), dbl("PRECIO3"), dbl("PRECIO4"), dbl("PRECIO5"),
                   text("IDMONEDA", 4), text("TIPOLISTA", 1), text("FCOSTO", 100), text("FCLASE1", 100),
                   text("FCLASE2", 100), text("FCLASE3", 100), text("FCLASE4", 100), text("FCLASE5", 100)});

    // Document tables belong to the handheld application. Everything stays nullable and the
    // keys are plain text(15): a handheld may bring a short or missing key, and the import,
    // not the store, decides what to do with it.
    list << table("MV_CPTE", T::Document, "0:MV_CPTE_TSNL",
                  {text("MV_CPTE_TSNL", 15), date("MV_CPTE_FECHA"), date("MV_CPTE_FECHA_ENTREGA"),
                   text("MV_CPTE_TIPOREG", 4), text("MV_CPTE_IDCOMPROBANTE", 15),
                   integer("MV_CPTE_CLASEPRECIO"), integer("MV_CPTE_CLASE_PRECIO"), dbl("MV_CPTE_DTOGLOBAL"),
                   text("MV_CPTE_IDCLIENTE", 15), integer("MV_CPTE_ITEMS"), dbl("MV_CPTE_IMPORTE_S_IVA"),
                   dbl("MV_CPTE_IMPORTE_TOTAL"), dbl("MV_CPTE_IMPORTE_IVA"), dbl("MV_CPTE_NETO_GRAV"),
                   dbl("MV_CPTE_NETO_NO_GRAV")});
    list << table("MV_CPTE_DETALLE", T::Document, "0:MV_CPTE_DET_TSNL,1:MV_CPTE_DET_ITEM",
                  {text("MV_CPTE_DET_TSNL", 15), integer("MV_CPTE_DET_ITEM"), text("MV_CPTE_DET_IDTAREA", 4),
                   text("MV_CPTE_DET_DESCRIPCION", 250), dbl("MV_CPTE_DET_HORAS"), dbl("MV_CPTE_DET_PRECIO"),
                   dbl("MV_CPTE_DET_PRECIO_S_IVA"), dbl("MV_CPTE_DET_TOTAL"),
                   longText("MV_CPTE_DET_DESCR_ADIC_tarea"), text("MV_CPTE_DET_IDcliente", 15),
                   date("MV_CPTE_DET_FECHA"), date("MV_CPTE_DET_FECHA_ENTREGA"),
                   text("MV_CPTE_DET_IDarticulo", 25), dbl("MV_CPTE_DET_dto"), dbl("MV_CPTE_DET_CANTIDAD"),
                   text("MV_CPTE_DET_UNIDAD", 4), dbl("MV_CPTE_DET_IMP_IVA"), dbl("MV_CPTE_DET_IMP_INT")});
    // Payments taken with a document: one row per means of payment (cash, cheque of a bank ...).
    list << table("MV_MPCPTES", T::Document, "0:MP_CPTE_TSNL,1:MP_IDCLIENTE,2:MP_ITEM",
                  {text("MP_CPTE_TSNL", 15), text("MP_IDCLIENTE", 15), integer("MP_ITEM"),
                   text("MP_IDMEDIOPAGO", 4), text("MP_IDBANCO", 4), text("MP_NUMERO", 50), dbl("MP_IMPORTE"),
                   date("MP_FECHA")});
    // Open debits and credits of the clients, for the handheld to show; nothing here fills it.
    list << table("CPTES_DB_CR", T::OpenItems,
                  "0:TIPO_CPTE,1:CUENTA,2:FECHA,3:TC,4:SUCURSAL,5:NUMERO,6:LETRA,7:DEBE-HABER",
                  {text("TIPO_CPTE", 4), text("CUENTA", 15), date("FECHA"), text("TC", 4),
                   text("SUCURSAL", 4), text("NUMERO", 8), text("LETRA", 1), text("DEBE-HABER", 1),
                   dbl("IMPORTE"), dbl("SALDO"), date("FECHA_VTO")});
    list << table("TA_USUARIOS", T::Master, "0:USUARIO,2:SISTEMA",
                  {text("SISTEMA", 50), text("PASSWORD", 50), text("USUARIO", 50)});
    return list;
}

QString declaredType(const StoreColumn& c) {
    // The declared names give SQLite the affinity that turns a numeric-looking text into a
    // number (DOUBLE: real, INTEGER: integer, BOOLEAN and DATE: numeric), as the file database
    // this replaces converted on insert; VARCHAR(n) keeps the length readable by the data layer.
    switch (c.kind) {
    case ColumnKind::Text:
        return QStringLiteral("VARCHAR(%1)").arg(c.length);
    case ColumnKind::LongText:
        return QStringLiteral("TEXT");
    case ColumnKind::Double:
        return QStringLiteral("DOUBLE");
    case ColumnKind::Integer:
        return QStringLiteral("INTEGER");
    case ColumnKind::Boolean:
        return QStringLiteral("BOOLEAN");
    case ColumnKind::Date:
        return QStringLiteral("DATE");
    }
    return QString();
}

// The rule a non-Null value must pass; empty when the kind accepts anything.
QString valueRule(const StoreColumn& c) {
    const QString q = quoteIdentifier(c.name);
    switch (c.kind) {
    case ColumnKind::Text:
        // length() counts characters, not bytes: "Ñ" is one.
        return QStringLiteral("typeof(%1) = 'text' AND length(%1) <= %2").arg(q).arg(c.length);
    case ColumnKind::LongText:
        return QStringLiteral("typeof(%1) = 'text'").arg(q);
    case ColumnKind::Double:
        return QStringLiteral("typeof(%1) IN ('real', 'integer')").arg(q);
    case ColumnKind::Integer:
        return QStringLiteral("typeof(%1) = 'integer' AND %1 BETWEEN -2147483648 AND 2147483647").arg(q);
    case ColumnKind::Boolean:
        return QStringLiteral("typeof(%1) = 'integer' AND %1 IN (0, 1)").arg(q);
    case ColumnKind::Date:
        return QString();
    }
    return QString();
}

QString columnDefinition(const StoreTable& t, const StoreColumn& c) {
    QString def = quoteIdentifier(c.name) + QLatin1Char(' ') + declaredType(c);
    if (!c.nullable) def += QStringLiteral(" NOT NULL");
    const QString rule = valueRule(c);
    if (!rule.isEmpty()) {
        // SQLite names the failing constraint in its message, so the name says table, column and rule.
        const QString name = t.name + QLatin1Char('.') + c.name + QLatin1Char(' ') + c.typeName();
        def += QStringLiteral(" CONSTRAINT %1 CHECK (%2 IS NULL OR (%3))")
                   .arg(quoteIdentifier(name), quoteIdentifier(c.name), rule);
    }
    return def;
}

} // namespace

QString StoreColumn::typeName() const {
    switch (kind) {
    case ColumnKind::Text:
        return QStringLiteral("text(%1)").arg(length);
    case ColumnKind::LongText:
        return QStringLiteral("long text");
    case ColumnKind::Double:
        return QStringLiteral("double");
    case ColumnKind::Integer:
        return QStringLiteral("integer");
    case ColumnKind::Boolean:
        return QStringLiteral("Boolean");
    case ColumnKind::Date:
        return QStringLiteral("date");
    }
    return QString();
}

const StoreColumn* StoreTable::column(const QString& columnName) const {
    for (const StoreColumn& c : columns)
        if (c.name.compare(columnName, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

QString kindName(StoreTable::Kind kind) {
    switch (kind) {
    case StoreTable::Master:
        return QStringLiteral("master");
    case StoreTable::Document:
        return QStringLiteral("document");
    case StoreTable::OpenItems:
        return QStringLiteral("open items");
    }
    return QString();
}

const QList<StoreTable>& storeTables() {
    static const QList<StoreTable> tables = buildTables();
    return tables;
}

const StoreTable* findStoreTable(const QString& name) {
    for (const StoreTable& t : storeTables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

QString quoteIdentifier(const QString& name) {
    QString out = name;
    return QLatin1Char('"') + out.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

namespace {
QStringList tableStatements(const StoreTable& table, const QList<StoreColumn>& columns) {
    QStringList defs;
    for (const StoreColumn& c : columns)
        defs << columnDefinition(table, c);
    QStringList keys;
    for (const QString& k : table.keyColumns)
        keys << quoteIdentifier(k);
    return {QStringLiteral("CREATE TABLE %1 (\n    %2\n)")
                .arg(quoteIdentifier(table.name), defs.join(QStringLiteral(",\n    "))),
            QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (%3)")
                .arg(quoteIdentifier(table.name + QStringLiteral("_KEY")), quoteIdentifier(table.name),
                     keys.join(QStringLiteral(", ")))};
}
} // namespace

QStringList storeTableStatements(const StoreTable& table) {
    return tableStatements(table, table.columns);
}

QStringList storeKeyStatements(const StoreTable& table) {
    QList<StoreColumn> keys;
    for (const QString& k : table.keyColumns)
        if (const StoreColumn* c = table.column(k)) keys << *c;
    return tableStatements(table, keys);
}

} // namespace kv

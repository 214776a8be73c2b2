#include "store/StoreSchema.h"
#include "StoreTestSupport.h"

#include <gtest/gtest.h>
#include <QSqlQuery>

using kv::test::StoreFile;

namespace {

// Columns of a table as the engine reports them: "NAME TYPE" plus " NOT NULL" where set.
QStringList columnsOf(QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(kv::quoteIdentifier(table)));
    QStringList list;
    while (q.next())
        list << q.value(1).toString() + QLatin1Char(' ') + q.value(2).toString() +
                    (q.value(3).toInt() ? QStringLiteral(" NOT NULL") : QString());
    return list;
}

// The columns of the unique index over the table's key, in index order.
QStringList uniqueKeyOf(QSqlDatabase& db, const QString& table) {
    QSqlQuery indexes(db);
    indexes.exec(QStringLiteral("PRAGMA index_list(%1)").arg(kv::quoteIdentifier(table)));
    QStringList columns;
    while (indexes.next()) {
        if (!indexes.value(2).toInt()) continue;
        QSqlQuery info(db);
        info.exec(
            QStringLiteral("PRAGMA index_info(%1)").arg(kv::quoteIdentifier(indexes.value(1).toString())));
        while (info.next())
            columns << info.value(2).toString();
    }
    return columns;
}

TEST(StoreLayout, TablesFollowTheConduitsRegistrationOrderAndKeys) {
    const QList<QPair<QString, QString>> expected = {
        {"TA_CATEGORIAS", "1:IDCATEGORIA"},
        {"TA_RUBROS", "1:IDRUBRO"},
        {"TA_TAREAS", "1:IDTAREA"},
        {"TA_TIPOS", "1:IDTIPO"},
        {"TA_UNIDAD", "1:IDUNIDAD"},
        {"TA_ZONAS", "1:IDZONA"},
        {"TA_BANCOS", "0:IDBANCO"},
        {"TA_VENDEDORES", "1:IDVENDEDOR"},
        {"MA_ARTICULOS", "0:IDARTICULO"},
        {"MA_CLIENTES", "0:IDCLIENTE"},
        {"MA_PRECIOS", "0:IDLISTA,1:NOMBRE,2:IDARTICULO"},
        {"MV_CPTE", "0:MV_CPTE_TSNL"},
        {"MV_CPTE_DETALLE", "0:MV_CPTE_DET_TSNL,1:MV_CPTE_DET_ITEM"},
        {"MV_MPCPTES", "0:MP_CPTE_TSNL,1:MP_IDCLIENTE,2:MP_ITEM"},
        {"CPTES_DB_CR", "0:TIPO_CPTE,1:CUENTA,2:FECHA,3:TC,4:SUCURSAL,5:NUMERO,6:LETRA,7:DEBE-HABER"},
        {"TA_USUARIOS", "0:USUARIO,2:SISTEMA"},
    };
    QList<QPair<QString, QString>> actual;
    int masters = 0, documents = 0, openItems = 0;
    for (const kv::StoreTable& t : kv::storeTables()) {
        actual.append({t.name, t.keySpec});
        masters += t.kind == kv::StoreTable::Master;
        documents += t.kind == kv::StoreTable::Document;
        openItems += t.kind == kv::StoreTable::OpenItems;
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(masters, 12);
    EXPECT_EQ(documents, 3);
    EXPECT_EQ(openItems, 1);

    StoreFile store;
    EXPECT_EQ(store.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'")).toInt(),
              16);
}

struct LayoutCase {
    const char* table;
    QStringList columns;
    QStringList key;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.table;
}

class StoreTableLayout : public ::testing::TestWithParam<LayoutCase> {};

// The export writes by position and the conduit keys by name: order, types and keys must hold.
TEST_P(StoreTableLayout, HasItsColumnsInOrderAndItsKey) {
    const LayoutCase& c = GetParam();
    StoreFile store;
    EXPECT_EQ(columnsOf(store.db(), QString::fromLatin1(c.table)), c.columns);
    EXPECT_EQ(uniqueKeyOf(store.db(), QString::fromLatin1(c.table)), c.key);
}

INSTANTIATE_TEST_SUITE_P(
    Store, StoreTableLayout,
    ::testing::Values(
        LayoutCase{"MA_CLIENTES",
                   {"IDCLIENTE VARCHAR(15)", "DESCRIPCION VARCHAR(50)", "DOMICILIO VARCHAR(50)",
                    "LOCALIDAD VARCHAR(50)", "TELEFONO VARCHAR(50)", "IVA INTEGER", "CUIT VARCHAR(15)",
                    "ZONA VARCHAR(4)", "CATEGORIA VARCHAR(4)", "CLASE_PRECIO INTEGER",
                    "IDVENDEDOR VARCHAR(4)", "IDLISTA VARCHAR(4)", "DESCUENTO DOUBLE",
                    "CONTACTO VARCHAR(200)"},
                   {"IDCLIENTE"}},
        LayoutCase{"MA_PRECIOS",
                   {"IDLISTA VARCHAR(4)", "NOMBRE VARCHAR(50)", "IDARTICULO VARCHAR(25)",
                    "CONIVA BOOLEAN NOT NULL", "PRECIO1 DOUBLE", "PRECIO2 DOUBLE", "PRECIO3 DOUBLE",
                    "PRECIO4 DOUBLE", "PRECIO5 DOUBLE", "IDMONEDA VARCHAR(4)", "TIPOLISTA VARCHAR(1)",
                    "FCOSTO VARCHAR(100)", "FCLASE1 VARCHAR(100)", "FCLASE2 VARCHAR(100)",
                    "FCLASE3 VARCHAR(100)", "FCLASE4 VARCHAR(100)", "FCLASE5 VARCHAR(100)"},
                   {"IDLISTA", "NOMBRE", "IDARTICULO"}},
        LayoutCase{"TA_TAREAS",
                   {"IDTAREA VARCHAR(4) NOT NULL", "DESCRIPCION VARCHAR(250) NOT NULL",
                    "HORASESTIMADAS DOUBLE", "VALORHORA DOUBLE", "MODIFICAVALOR BOOLEAN NOT NULL",
                    "EXENTO BOOLEAN NOT NULL", "IDTECNICO VARCHAR(4)", "PIDEDATOSADIC BOOLEAN NOT NULL",
                    "TASAIVA DOUBLE", "DESCRIPCIONADICIONAL TEXT"},
                   {"IDTAREA"}},
        LayoutCase{"TA_USUARIOS",
                   {"SISTEMA VARCHAR(50)", "PASSWORD VARCHAR(50)", "USUARIO VARCHAR(50)"},
                   {"USUARIO", "SISTEMA"}},
        LayoutCase{"CPTES_DB_CR",
                   {"TIPO_CPTE VARCHAR(4)", "CUENTA VARCHAR(15)", "FECHA DATE", "TC VARCHAR(4)",
                    "SUCURSAL VARCHAR(4)", "NUMERO VARCHAR(8)", "LETRA VARCHAR(1)", "DEBE-HABER VARCHAR(1)",
                    "IMPORTE DOUBLE", "SALDO DOUBLE", "FECHA_VTO DATE"},
                   {"TIPO_CPTE", "CUENTA", "FECHA", "TC", "SUCURSAL", "NUMERO", "LETRA", "DEBE-HABER"}}),
    [](const auto& info) { return std::string(info.param.table); });

// Every table of the file, not only those above, is built from its definition.
TEST(StoreLayout, FileMatchesEveryTableDefinition) {
    StoreFile store;
    for (const kv::StoreTable& t : kv::storeTables()) {
        QStringList expected;
        for (const kv::StoreColumn& c : t.columns)
            expected << c.name;
        QStringList actual;
        for (const QString& c : columnsOf(store.db(), t.name))
            actual << c.section(QLatin1Char(' '), 0, 0);
        EXPECT_EQ(actual, expected) << qPrintable(t.name);
        EXPECT_EQ(uniqueKeyOf(store.db(), t.name), t.keyColumns) << qPrintable(t.name);
        for (const QString& k : t.keyColumns)
            EXPECT_NE(t.column(k), nullptr) << qPrintable(t.name + '.' + k);
    }
}

TEST(StoreLayout, TablesAndColumnsAreFoundInAnyLetterCase) {
    const struct {
        const char* asked;
        const char* found;
    } cases[] = {{"MA_PRECIOS", "MA_PRECIOS"},
                 {"ma_precios", "MA_PRECIOS"},
                 {"Mv_Cpte", "MV_CPTE"},
                 {"MV_CPTES", nullptr},
                 {"", nullptr}};
    for (const auto& c : cases) {
        const kv::StoreTable* t = kv::findStoreTable(QString::fromLatin1(c.asked));
        EXPECT_EQ(t ? t->name : QString(), QString::fromLatin1(c.found)) << c.asked;
    }
    const kv::StoreTable* lines = kv::findStoreTable(QStringLiteral("MV_CPTE_DETALLE"));
    ASSERT_NE(lines, nullptr);
    ASSERT_NE(lines->column(QStringLiteral("mv_cpte_det_idarticulo")), nullptr);
    EXPECT_EQ(lines->column(QStringLiteral("mv_cpte_det_idarticulo"))->name,
              QStringLiteral("MV_CPTE_DET_IDarticulo"));
}

} // namespace

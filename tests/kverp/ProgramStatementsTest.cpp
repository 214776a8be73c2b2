// The program's own statements, character for character, against a fresh demo ERP on each
// engine, through the record-set layer and its dialect translation.

#include "data/Recordset.h"
#include "ErpTestSupport.h"

#include <functional>
#include <gtest/gtest.h>

using namespace kv;
using kv::test::EngineCase;

namespace {

using Check = std::function<void(const QList<QVariantList>& rows)>;

struct StatementCase {
    const char* name;
    QString sql;
    int minRows = 1;
    int maxRows = -1; // no limit
    Check check = nullptr;
};

void PrintTo(const StatementCase& c, std::ostream* os) {
    *os << c.name;
}

// The client filter the console builds for the vendors 1 and 2.
const QString kVendors12 = QStringLiteral(
    " WHERE LTRIM(IDVENDEDOR) IN ('1','2') OR LTRIM(IDVENDEDOR1) IN ('1','2') OR LTRIM(IDVENDEDOR2) IN "
    "('1','2') OR "
    "LTRIM(IDVENDEDOR3) IN ('1','2') OR LTRIM(IDVENDEDOR4) IN ('1','2') OR LTRIM(IDVENDEDOR5) IN ('1','2') ");

Check firstValueIs(const char* expected) {
    return [expected](const QList<QVariantList>& rows) {
        EXPECT_EQ(rows.first().first().toString().trimmed(), QString::fromUtf8(expected));
    };
}

StatementCase whole(const char* name, const char* source, int rows = -1) {
    return {name, QStringLiteral("SELECT * FROM [%1]").arg(QLatin1String(source)), rows < 0 ? 1 : rows, rows};
}

StatementCase oneRow(const char* name, const char* source, int minRows = 1) {
    return {name, QStringLiteral("SELECT TOP 1 * FROM %1").arg(QLatin1String(source)), minRows, 1};
}

StatementCase firstOfLookup(const char* name, const char* source) {
    return {name, QStringLiteral("select top 1 * from %1").arg(QLatin1String(source)), 1, 1};
}

const QList<StatementCase>& statements() {
    static const QList<StatementCase> list = {
        // Document import: the one-row targets, the client, the control-sheet number, duplicates.
        oneRow("new_document", "V_MV_CPTE"),
        oneRow("new_control_sheet_row", "GM_V_MV_PLANILLA_CAB", 0),
        oneRow("new_task_line", "V_MV_CpteTareas"),
        oneRow("new_control_sheet_line", "GM_V_MV_PLANILLA_DETALLE", 0),
        oneRow("new_supply_line", "V_MV_CpteInsumos"),
        {"client_of_document", QStringLiteral("SELECT * FROM VT_CLIENTES WHERE CTACODIGO = '000001'"), 1, 1,
         [](const QList<QVariantList>& rows) {
             EXPECT_EQ(rows.first().first().toString(), QStringLiteral("000001"));
         }},
        {"control_sheet_maximum_of_none",
         QStringLiteral("SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB "), 1, 1,
         [](const QList<QVariantList>& rows) { EXPECT_TRUE(isNull(rows.first().first())); }},
        {"document_exists",
         QStringLiteral("SELECT * FROM V_MV_CPTE WHERE TC = 'NP  ' AND IDCOMPROBANTE = '000000000001A'"), 1,
         1},
        {"document_is_new",
         QStringLiteral("SELECT * FROM V_MV_CPTE WHERE TC = 'NP  ' AND IDCOMPROBANTE = '000000000002A'"), 0,
         0},
        {"control_sheet_is_new",
         QStringLiteral(
             "SELECT * FROM GM_V_MV_PLANILLA_CAB WHERE TC = 'NP  ' AND IDCOMPROBANTE = '000100000001A'"),
         0, 0},
        // Export package sources.
        whole("banks", "V_TA_Bancos", 10),
        whole("categories", "V_TA_Categoria"),
        whole("rubros", "V_TA_Rubros"),
        whole("tasks", "V_TA_Tareas", 40),
        whole("article_types", "V_TA_TipoArticulo"),
        whole("units", "V_TA_Unidad"),
        whole("users", "TA_USUARIOS"),
        whole("vendors", "V_TA_VENDEDORES", 5),
        whole("articles", "V_MA_ARTICULOS", 200),
        {"all_clients", QStringLiteral("SELECT * FROM vt_clientes"), 300, 300},
        {"clients_of_vendors", QStringLiteral("SELECT * FROM vt_clientes") + kVendors12, 2 * 300 / 5},
        {"clients_by_code", QStringLiteral("SELECT * FROM vt_clientes WHERE CODIGO IN ('000001','000002') "),
         2, 2},
        {"sales_prices", QStringLiteral("SELECT * FROM V_MA_Precios  WHERE TIPOLISTA='V'"), 4 * 200, 4 * 200},
        {"sales_prices_of_lists",
         QStringLiteral("SELECT * FROM V_MA_Precios  WHERE LTRIM(IDLISTA) IN ('1','4') AND TIPOLISTA='V'"),
         2 * 200, 2 * 200},
        {"zones",
         QStringLiteral(
             "SELECT isnull(ZONA,'') as IdZona, isnull(ZONA,'') AS Descripcion FROM vt_clientes\r\n"
             "WHERE NOT ZONA IS NULL\r\ngroup by ZONA"),
         2, -1,
         [](const QList<QVariantList>& rows) {
             for (const QVariantList& r : rows) {
                 EXPECT_LE(r.at(0).toString().size(), 4)
                     << "zones fit the handheld's four characters by default";
                 EXPECT_EQ(r.at(0), r.at(1));
             }
         }},
        // Send command: the price lists of the device's clients.
        {"price_lists_of_clients",
         QStringLiteral("SELECT IDLISTA FROM VT_CLIENTES ") + kVendors12 +
             QStringLiteral(" AND NOT IDLISTA IS NULL GROUP BY IDLISTA"),
         2},
        // Connection: the administrator check; configuration values.
        {"administrator",
         QStringLiteral("SELECT TOP 1 * FROM ta_usuarios WHERE LTRIM(RTRIM(nombre)) ='admin' "), 1, 1,
         [](const QList<QVariantList>& rows) { EXPECT_EQ(rows.first().at(3).toInt(), 1); }},
        {"device_count",
         QStringLiteral("SELECT VALOR, valoraux FROM ta_configuracion WHERE CLAVE = 'GM_CANT_DISPOSITIVOS'"),
         1, 1, firstValueIs("3")},
        {"control_sheet_mode",
         QStringLiteral("SELECT VALOR, valoraux FROM ta_configuracion WHERE CLAVE = 'GM_UsaPlanillaControl'"),
         1, 1, firstValueIs("NO")},
        {"lookup_rows",
         QStringLiteral("SELECT VALOR, valoraux FROM TA_CONFIGURACION WHERE CLAVE = 'TopConsArt'"), 1, 1,
         firstValueIs("1000")},
        {"lookup_like",
         QStringLiteral("SELECT VALOR, valoraux FROM ta_configuracion WHERE CLAVE = 'UsaConsultaLike'"), 1, 1,
         firstValueIs("SI")},
        {"capitalised_key",
         QStringLiteral("SELECT VALOR, VALORAUX FROM TA_CONFIGURACION WHERE CLAVE = '[FECHA DESDE]'"), 0, 0},
        // Lookups, from the map file and from the sources themselves.
        {"client_lookup",
         QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = "
                        "0 ORDER BY RAZON_SOCIAL"),
         250, 299},
        {"vendor_lookup",
         QStringLiteral("SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE"), 5, 5},
        {"article_lookup",
         QStringLiteral("SELECT TOP 1000 DESCRIPCION,IDARTICULO FROM V_MA_ARTICULOS ORDER BY DESCRIPCION"),
         200, 200},
        {"supplier_lookup", QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL,CODIGO FROM VT_PROVEEDORES WHERE "
                                           "Dada_De_Baja = 0 ORDER BY RAZON_SOCIAL")},
        {"contact_lookup", QStringLiteral("SELECT TOP 1000 Nombre_y_Apellido,Domicilio,Localidad,Telefono "
                                          "FROM MA_CONTACTOS ORDER BY Nombre_y_Apellido")},
        {"technician_lookup",
         QStringLiteral("SELECT TOP 1000 NOMBRE,IDTECNICO FROM V_TA_TECNICOS ORDER BY NOMBRE"), 8, 8},
        {"maintenance_lookup",
         QStringLiteral("SELECT TOP 1000 DESCRIPCION,CODIGO FROM V_MA_MANTENIMIENTOS ORDER BY DESCRIPCION")},
        firstOfLookup("articles_fields", "V_MA_ARTICULOS"),
        firstOfLookup("clients_fields", "VT_CLIENTES"),
        firstOfLookup("suppliers_fields", "VT_PROVEEDORES"),
        firstOfLookup("contacts_fields", "MA_CONTACTOS"),
        firstOfLookup("vendors_fields", "V_TA_VENDEDORES"),
        firstOfLookup("technicians_fields", "V_TA_TECNICOS"),
        firstOfLookup("maintenances_fields", "V_MA_MANTENIMIENTOS"),
    };
    return list;
}

class ProgramStatements : public ::testing::TestWithParam<std::tuple<EngineCase, StatementCase>> {};

TEST_P(ProgramStatements, RunAgainstAFreshErp) {
    const auto& [engine, statement] = GetParam();
    test::DemoErpDb* erp = test::sharedErp(engine.engine);
    if (!erp) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    QList<QVariantList> rows;
    ASSERT_NO_THROW(rows = test::rowsOf(erp->connection(), statement.sql)) << qPrintable(statement.sql);
    EXPECT_GE(rows.size(), statement.minRows);
    if (statement.maxRows >= 0) {
        EXPECT_LE(rows.size(), statement.maxRows);
    }
    if (statement.check && !rows.isEmpty()) statement.check(rows);
}

INSTANTIATE_TEST_SUITE_P(Erp, ProgramStatements,
                         ::testing::Combine(::testing::Values(test::kSqlite, test::kPostgres),
                                            ::testing::ValuesIn(statements())),
                         test::EngineAndCaseName());

// The connection's administrator check first asks whether the users table exists.
TEST(ProgramStatementsSchema, TheUsersTableIsListed) {
    for (const EngineCase& engine : {test::kSqlite, test::kPostgres}) {
        test::DemoErpDb* erp = test::sharedErp(engine.engine);
        if (!erp) continue;
        SCOPED_TRACE(engine.name);
        auto schema = erp->connection().openSchema(20);
        QStringList names;
        for (; !schema->eof(); schema->moveNext())
            names << schema->value(QStringLiteral("TABLE_NAME")).toString();
        EXPECT_TRUE(names.contains(QStringLiteral("TA_USUARIOS"), Qt::CaseInsensitive));
        EXPECT_TRUE(names.contains(QStringLiteral("V_MA_Precios"), Qt::CaseInsensitive));
    }
}

} // namespace

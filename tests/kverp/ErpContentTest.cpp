// What the sample data promises: its shape, its sizes, and the same rows for the same seed.

#include "app/RunTimeError.h"
#include "ErpTestSupport.h"

#include <functional>
#include <gtest/gtest.h>

using namespace kv;
using kv::test::EngineCase;

namespace {

struct Property {
    std::string name;
    QString sql; // one number
    std::function<bool(double)> holds;
};

void PrintTo(const Property& p, std::ostream* os) {
    *os << p.name;
}

std::function<bool(double)> equals(double n) {
    return [n](double v) { return v == n; };
}
std::function<bool(double)> atLeast(double n) {
    return [n](double v) { return v >= n; };
}

QList<Property> properties() {
    QList<Property> list = {
        {"clients_without_price_list", "SELECT COUNT(*) FROM VT_CLIENTES WHERE IdLista IS NULL", atLeast(1)},
        {"clients_with_price_list", "SELECT COUNT(*) FROM VT_CLIENTES WHERE NOT IdLista IS NULL",
         atLeast(200)},
        {"clients_only_on_sales_lists",
         "SELECT COUNT(*) FROM VT_CLIENTES C INNER JOIN TA_LISTAS L ON L.IdLista = C.IdLista WHERE "
         "L.TipoLista <> 'V'",
         equals(0)},
        {"sales_lists", "SELECT COUNT(*) FROM TA_LISTAS WHERE TipoLista = 'V'", atLeast(2)},
        {"lists_of_other_types", "SELECT COUNT(*) FROM TA_LISTAS WHERE TipoLista <> 'V'", atLeast(1)},
        {"every_article_in_every_list",
         "SELECT COUNT(*) FROM V_MA_ARTICULOS A WHERE (SELECT COUNT(*) FROM V_MA_Precios P WHERE "
         "P.IdArticulo = "
         "A.IDARTICULO) <> (SELECT COUNT(*) FROM TA_LISTAS)",
         equals(0)},
        {"lower_classes_pay_less", "SELECT COUNT(*) FROM MA_PRECIOS WHERE Precio5 > Precio1 OR Precio1 <= 0",
         equals(0)},
        {"zones_fit_four_characters", "SELECT MAX(LEN(ZONA)) FROM VT_CLIENTES",
         [](double v) { return v > 0 && v <= 4; }},
        {"clients_without_zone", "SELECT COUNT(*) FROM VT_CLIENTES WHERE ZONA IS NULL", atLeast(1)},
        {"clients_without_province", "SELECT COUNT(*) FROM VT_CLIENTES WHERE PROVINCIA IS NULL", atLeast(1)},
        {"clients_without_street", "SELECT COUNT(*) FROM VT_CLIENTES WHERE CALLE IS NULL AND Numero IS NULL",
         atLeast(1)},
        {"inactive_clients", "SELECT COUNT(*) FROM VT_CLIENTES WHERE Dada_De_Baja = 1", atLeast(1)},
        {"account_is_the_client_code", "SELECT COUNT(*) FROM VT_CLIENTES WHERE CTACODIGO <> CODIGO",
         equals(0)},
        {"iva_is_a_number_in_text", "SELECT COUNT(*) FROM VT_CLIENTES WHERE NOT IVA IN ('1','4','5','6')",
         equals(0)},
        {"long_task_descriptions",
         "SELECT COUNT(*) FROM V_TA_Tareas WHERE LEN(Descripcion) < 120 OR LEN(Descripcion) > 250",
         equals(0)},
        {"one_administrator", "SELECT COUNT(*) FROM TA_USUARIOS WHERE Administrador = 1", equals(1)},
        {"a_user_per_vendor", "SELECT COUNT(*) FROM TA_USUARIOS WHERE SISTEMA = 'MOVIL'", equals(5)},
        {"documents_with_lines",
         "SELECT COUNT(*) FROM V_MV_CPTE D WHERE NOT EXISTS (SELECT 1 FROM V_MV_CpteTareas T WHERE T.TC = "
         "D.TC AND "
         "T.IdComprobante = D.IdComprobante) AND NOT EXISTS (SELECT 1 FROM V_MV_CpteInsumos S WHERE S.TC = "
         "D.TC AND "
         "S.IdComprobante = D.IdComprobante)",
         equals(0)},
        {"documents_of_known_clients",
         "SELECT COUNT(*) FROM V_MV_CPTE D WHERE NOT EXISTS (SELECT 1 FROM VT_CLIENTES C WHERE C.CTACODIGO = "
         "D.Cuenta)",
         equals(0)},
    };
    // Every vendor has clients through each of the six vendor columns.
    for (const char* column :
         {"IDVENDEDOR", "IDVENDEDOR1", "IDVENDEDOR2", "IDVENDEDOR3", "IDVENDEDOR4", "IDVENDEDOR5"})
        list.append({std::string("vendors_in_") + column,
                     QStringLiteral("SELECT COUNT(DISTINCT %1) FROM VT_CLIENTES").arg(QLatin1String(column)),
                     equals(5)});
    // Nothing is longer than its column (SQLite would keep it; the ERP's servers refuse it).
    for (const erp::ErpObject& o : erp::erpObjects())
        for (const erp::ErpColumn& c : o.columns)
            if (!o.isView() && (c.type == erp::ColumnType::Text || c.type == erp::ColumnType::Code))
                list.append({(o.name + QLatin1Char('_') + c.name + QStringLiteral("_fits")).toStdString(),
                             QStringLiteral("SELECT COUNT(*) FROM %1 WHERE LEN(%2) > %3")
                                 .arg(o.name, c.name)
                                 .arg(c.length),
                             equals(0)});
    return list;
}

class SampleProperties : public ::testing::TestWithParam<std::tuple<EngineCase, Property>> {};

TEST_P(SampleProperties, Hold) {
    const auto& [engine, property] = GetParam();
    test::DemoErpDb* erp = test::sharedErp(engine.engine);
    if (!erp) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    const double value = test::scalar(erp->connection(), property.sql).toDouble();
    EXPECT_TRUE(property.holds(value)) << qPrintable(property.sql) << " gave " << value;
}

INSTANTIATE_TEST_SUITE_P(Erp, SampleProperties,
                         ::testing::Combine(::testing::Values(test::kSqlite, test::kPostgres),
                                            ::testing::ValuesIn(properties())),
                         test::EngineAndCaseName());

struct SizeCase {
    const char* name;
    erp::Options options;
    int clients, articles, lists;
    qint64 priceRows;
    int vendors, documents;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.name;
}

class Sizes : public ::testing::TestWithParam<std::tuple<EngineCase, SizeCase>> {};

TEST_P(Sizes, AreMadeAsAsked) {
    const auto& [engine, c] = GetParam();
    test::DemoErpDb erp(engine.engine, c.options);
    if (!erp.available()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    const erp::Plan& plan = erp.summary().plan;
    EXPECT_EQ(plan.priceLists, c.lists);
    const QList<std::pair<const char*, qint64>> counts = {{"VT_CLIENTES", c.clients},
                                                          {"V_MA_ARTICULOS", c.articles},
                                                          {"TA_LISTAS", c.lists},
                                                          {"V_MA_Precios", c.priceRows},
                                                          {"V_TA_VENDEDORES", c.vendors},
                                                          {"V_MV_CPTE", c.documents},
                                                          {"TA_USUARIOS", 1 + plan.officeUsers + c.vendors}};
    for (const auto& [table, expected] : counts) {
        const QString sql = QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table));
        EXPECT_EQ(test::scalar(erp.connection(), sql).toLongLong(), expected) << table;
        for (const erp::ObjectSummary& o : erp.summary().objects) {
            if (o.name == QLatin1String(table)) {
                EXPECT_EQ(o.rows, expected) << table << " in the summary";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Erp, Sizes,
    ::testing::Combine(
        ::testing::Values(test::kSqlite, test::kPostgres),
        ::testing::Values(
            SizeCase{"defaults", {}, 300, 200, 6, 1200, 5, 12},
            SizeCase{"price_rows_only", {.priceRows = 1000}, 300, 167, 6, 1000, 5, 12},
            SizeCase{
                "lists_follow_price_rows", {.articles = 40, .priceRows = 1000}, 300, 40, 25, 1000, 5, 12},
            SizeCase{"last_article_in_some_lists", {.articles = 7, .priceRows = 50}, 300, 7, 8, 50, 5, 12},
            SizeCase{
                "nothing", {.clients = 0, .articles = 0, .priceRows = 0, .vendors = 0}, 0, 0, 6, 0, 0, 0},
            SizeCase{"larger",
                     {.clients = 5000, .articles = 2000, .priceRows = 100000, .vendors = 40, .documents = 50},
                     5000,
                     2000,
                     50,
                     100000,
                     40,
                     50})),
    test::EngineAndCaseName());

TEST(SizesRefused, WhenTheyCannotBeMade) {
    const QList<std::pair<const char*, erp::Options>> cases = {
        {"prices without articles", {.articles = 0, .priceRows = 5}},
        {"more lists than four-character codes", {.articles = 1, .priceRows = 10000}},
        {"more vendors than four-character codes", {.vendors = 10000}},
    };
    for (const auto& [name, options] : cases) {
        SCOPED_TRACE(name);
        try {
            erp::planFor(options);
            ADD_FAILURE() << "accepted";
        } catch (const RunTimeError& e) {
            EXPECT_EQ(e.number(), erp::erperr::InvalidOptions);
        }
    }
}

const erp::Options kSmall{.clients = 60, .articles = 30, .vendors = 3, .documents = 8, .seed = 7};

TEST(Determinism, TheSameSeedGivesTheSameRowsOnEveryEngine) {
    test::DemoErpDb first(Engine::Sqlite, kSmall);
    test::DemoErpDb second(Engine::Sqlite, kSmall);
    const auto print = test::fingerprint(first.connection());
    EXPECT_EQ(print, test::fingerprint(second.connection()));
    test::DemoErpDb server(Engine::PostgreSql, kSmall);
    if (!server.available()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    const auto serverPrint = test::fingerprint(server.connection());
    for (auto it = print.cbegin(); it != print.cend(); ++it)
        EXPECT_EQ(it.value(), serverPrint.value(it.key())) << qPrintable(it.key());
}

TEST(Determinism, AnotherSeedGivesOtherRows) {
    erp::Options other = kSmall;
    other.seed = 8;
    test::DemoErpDb a(Engine::Sqlite, kSmall);
    test::DemoErpDb b(Engine::Sqlite, other);
    const auto printA = test::fingerprint(a.connection());
    const auto printB = test::fingerprint(b.connection());
    for (const char* table : {"VT_CLIENTES", "V_MA_ARTICULOS", "MA_PRECIOS", "V_TA_Tareas", "V_TA_VENDEDORES",
                              "V_MV_CPTE", "VT_PROVEEDORES", "MA_CONTACTOS"})
        EXPECT_NE(printA.value(QString::fromLatin1(table)), printB.value(QString::fromLatin1(table)))
            << table;
    // What is not sample data stays.
    EXPECT_EQ(printA.value(QStringLiteral("ta_configuracion")),
              printB.value(QStringLiteral("ta_configuracion")));
    EXPECT_EQ(printA.value(QStringLiteral("V_TA_Unidad")), printB.value(QStringLiteral("V_TA_Unidad")));
}

} // namespace

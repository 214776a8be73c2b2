#include "data/Dialect.h"

#include "app/RunTimeError.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

struct DialectCase {
    const char* name;
    const char* input;
    const char* sqlite;
    const char* postgres;
};

class Dialects : public ::testing::TestWithParam<DialectCase> {};

TEST_P(Dialects, TranslateTheProgramsStatements) {
    const auto& c = GetParam();
    EXPECT_EQ(dialect::toSqlite(QString::fromUtf8(c.input)).toStdString(), c.sqlite);
    EXPECT_EQ(dialect::toPostgres(QString::fromUtf8(c.input)).toStdString(), c.postgres);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, Dialects,
    ::testing::Values(
        DialectCase{"top_one_row", "SELECT TOP 1 * FROM V_MV_CPTE", "SELECT * FROM V_MV_CPTE LIMIT 1",
                    "SELECT * FROM V_MV_CPTE LIMIT 1"},
        DialectCase{"top_with_order_by",
                    "SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE",
                    "SELECT NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE LIMIT 1000",
                    "SELECT NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE LIMIT 1000"},
        DialectCase{"lookup_like_with_trailing_blank",
                    "SELECT TOP 1000 RAZON_SOCIAL,CODIGO FROM VT_CLIENTES WHERE Dada_De_Baja = 0  and "
                    "RAZON_SOCIAL like 'gar%' ORDER BY RAZON_SOCIAL",
                    "SELECT RAZON_SOCIAL,CODIGO FROM VT_CLIENTES WHERE Dada_De_Baja = 0  and RAZON_SOCIAL "
                    "like 'gar%' ORDER BY RAZON_SOCIAL LIMIT 1000",
                    "SELECT RAZON_SOCIAL,CODIGO FROM VT_CLIENTES WHERE Dada_De_Baja = 0  and RAZON_SOCIAL "
                    "ILIKE 'gar%' ORDER BY RAZON_SOCIAL LIMIT 1000"},
        DialectCase{"delete_star", "DELETE * FROM MA_ARTICULOS", "DELETE FROM MA_ARTICULOS",
                    "DELETE FROM MA_ARTICULOS"},
        DialectCase{"bracketed_source", "SELECT * FROM [V_TA_Bancos]", "SELECT * FROM \"V_TA_Bancos\"",
                    "SELECT * FROM V_TA_Bancos"},
        DialectCase{"bracketed_odd_name", "SELECT [DEBE-HABER] FROM CPTES_DB_CR",
                    "SELECT \"DEBE-HABER\" FROM CPTES_DB_CR", "SELECT \"debe-haber\" FROM CPTES_DB_CR"},
        DialectCase{"zones_with_isnull",
                    "SELECT isnull(ZONA,'') as IdZona, isnull(ZONA,'') AS Descripcion FROM "
                    "vt_clientes\r\nWHERE NOT ZONA IS NULL\r\ngroup by ZONA",
                    "SELECT IFNULL(ZONA,'') as IdZona, IFNULL(ZONA,'') AS Descripcion FROM "
                    "vt_clientes\r\nWHERE NOT ZONA IS NULL\r\ngroup by ZONA",
                    "SELECT COALESCE(ZONA,'') as IdZona, COALESCE(ZONA,'') AS Descripcion FROM "
                    "vt_clientes\r\nWHERE NOT ZONA IS NULL\r\ngroup by ZONA"},
        DialectCase{"literals_untouched",
                    "SELECT VALOR, VALORAUX FROM TA_CONFIGURACION WHERE CLAVE = '[FECHA DESDE] TOP 3 LEN( "
                    "isnull( like'",
                    "SELECT VALOR, VALORAUX FROM TA_CONFIGURACION WHERE CLAVE = '[FECHA DESDE] TOP 3 LEN( "
                    "isnull( like'",
                    "SELECT VALOR, VALORAUX FROM TA_CONFIGURACION WHERE CLAVE = '[FECHA DESDE] TOP 3 LEN( "
                    "isnull( like'"},
        DialectCase{"doubled_quote_stays_literal", "SELECT * FROM X WHERE A = 'O''Brien [x] top 2'",
                    "SELECT * FROM X WHERE A = 'O''Brien [x] top 2'",
                    "SELECT * FROM X WHERE A = 'O''Brien [x] top 2'"},
        DialectCase{"len_and_charindex", "SELECT LEN (A), CHARINDEX('-', B) FROM T",
                    "SELECT LENGTH(A), INSTR(B, '-') FROM T", "SELECT LENGTH(A), STRPOS(B, '-') FROM T"},
        DialectCase{"charindex_with_nested_call", "SELECT CHARINDEX(LTRIM(A), RTRIM(B)) FROM T",
                    "SELECT INSTR(RTRIM(B), LTRIM(A)) FROM T", "SELECT STRPOS(RTRIM(B), LTRIM(A)) FROM T"},
        DialectCase{"max_alias_untouched", "SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB ",
                    "SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB ",
                    "SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB "},
        DialectCase{"top_after_distinct", "select distinct top 5 a from t;",
                    "select distinct a from t LIMIT 5", "select distinct a from t LIMIT 5"},
        DialectCase{"top_of_a_subquery_stays_inside",
                    "SELECT a FROM T WHERE b IN (SELECT TOP 1 c FROM U ORDER BY c) ORDER BY a",
                    "SELECT a FROM T WHERE b IN (SELECT c FROM U ORDER BY c LIMIT 1) ORDER BY a",
                    "SELECT a FROM T WHERE b IN (SELECT c FROM U ORDER BY c LIMIT 1) ORDER BY a"},
        DialectCase{"top_in_parentheses_and_outer_top", "SELECT TOP (2) a FROM (SELECT TOP 3 a FROM U) x",
                    "SELECT a FROM (SELECT a FROM U LIMIT 3) x LIMIT 2",
                    "SELECT a FROM (SELECT a FROM U LIMIT 3) x LIMIT 2"},
        DialectCase{"column_named_like_a_function_kept", "SELECT LENGTH, ISNULLABLE FROM T",
                    "SELECT LENGTH, ISNULLABLE FROM T", "SELECT LENGTH, ISNULLABLE FROM T"}),
    [](const auto& info) { return std::string(info.param.name); });

// What LIMIT cannot say is refused (error 5), never sent with another meaning.
TEST(Dialects, UntranslatableTopFailsWithError5) {
    for (const char* sql : {"SELECT TOP 5 PERCENT * FROM T", "SELECT TOP 5 WITH TIES a FROM T ORDER BY a",
                            "SELECT TOP 1 a FROM T UNION SELECT b FROM U", "SELECT TOP @n a FROM T"}) {
        for (auto translate : {dialect::toSqlite, dialect::toPostgres}) {
            try {
                translate(QString::fromLatin1(sql));
                ADD_FAILURE() << sql;
            } catch (const RunTimeError& e) {
                EXPECT_EQ(e.number(), 5) << sql;
            }
        }
    }
}

} // namespace

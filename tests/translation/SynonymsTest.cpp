#include "data/Translation.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

struct SynonymCase {
    std::string name;
    QString sql;
    bool admin;
    QString expected;
};

void PrintTo(const SynonymCase& c, std::ostream* os) {
    *os << c.sql.toStdString();
}

class Synonyms : public ::testing::TestWithParam<SynonymCase> {};

TEST_P(Synonyms, Translate) {
    const SynonymCase& c = GetParam();
    EXPECT_EQ(SS_TSinonimos(c.sql, c.admin).toStdString(), c.expected.toStdString());
}

std::string caseName(const ::testing::TestParamInfo<SynonymCase>& info) {
    return info.param.name;
}

// Each redirected object in each way a statement can name it. `applies` counts the contexts that
// redirect the object, from the first; the rest keep its name.
struct Object {
    const char* id;
    QString name;
    QString synonym;
    int applies;
};
const Object kObjects[] = {
    {"MaCuentas", QStringLiteral("MA_CUENTAS"), QStringLiteral("SS_MA_CUENTAS"), 6},
    {"Deposito", QStringLiteral("V_TA_DEPOSITO"), QStringLiteral("SS_V_TA_DEPOSITO"), 5},
    {"Asientos", QStringLiteral("MV_ASIENTOS"), QStringLiteral("SS_MV_ASIENTOS"), 5},
    {"Familias", QStringLiteral("V_TA_FAMILIAS"), QStringLiteral("SS_V_TA_FAMILIAS"), 5},
    {"Cajas", QStringLiteral("V_TA_CAJAS"), QStringLiteral("SS_V_TA_CAJAS"), 5},
    {"CuentasDiario", QStringLiteral("AC_CUENTASDIARIO"), QStringLiteral("SS_AC_CUENTASDIARIO"), 5},
    {"CuentasDiarioCcosto", QStringLiteral("AC_CUENTASDIARIO_CCOSTO"),
     QStringLiteral("SS_AC_CUENTAS_DIARIO_CCOSTO"), 5},
};
struct Context {
    const char* id;
    const char* statement; // %1 is the name
};
const Context kContexts[] = {
    {"BlankBlank", "SELECT * FROM %1 WHERE Codigo = 1"},
    {"ParenBlank", "SELECT * FROM (%1 C INNER JOIN T ON C.Id = T.Id)"},
    {"BlankPeriod", "SELECT %1.Codigo FROM T"},
    {"ParenPeriod", "SELECT MAX(%1.Codigo) FROM T"},
    {"CommaPeriod", "SELECT Nombre,%1.Codigo FROM T"},
    {"BracePeriod", "SELECT {%1.Codigo} FROM T"},
    // Never redirected: no blank after the name at the end, the marker before it, a line break.
    {"AtTheEnd", "SELECT * FROM %1"},
    {"AfterMarker", "SELECT * FROM @Admin_%1 WHERE Codigo = 1"},
    {"LineBreaks", "SELECT *\nFROM\n%1\nWHERE Codigo = 1"},
};

std::vector<SynonymCase> objectMatrix() {
    std::vector<SynonymCase> cases;
    for (const Object& o : kObjects) {
        int index = 0;
        for (const Context& c : kContexts) {
            const QString statement = QString::fromLatin1(c.statement);
            const QString kept = QString(statement).replace(QStringLiteral("@Admin_"), QString()).arg(o.name);
            const QString expected = index < o.applies ? statement.arg(o.synonym) : kept;
            cases.push_back({std::string(o.id) + "_" + c.id, statement.arg(o.name), false, expected});
            // An administrator reads the real objects: only the marker goes.
            cases.push_back({std::string(o.id) + "_" + c.id + "_Admin", statement.arg(o.name), true, kept});
            ++index;
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryObjectInEveryContext, Synonyms, ::testing::ValuesIn(objectMatrix()), caseName);

INSTANTIATE_TEST_SUITE_P(
    Statements, Synonyms,
    ::testing::Values(
        SynonymCase{"EndOfStatementKept", "SELECT Codigo FROM MA_CUENTAS", false,
                    "SELECT Codigo FROM MA_CUENTAS"},
        SynonymCase{"BlankAfterAtTheEndRedirected", "SELECT Codigo FROM MA_CUENTAS ", false,
                    "SELECT Codigo FROM SS_MA_CUENTAS "},
        SynonymCase{"AnyLetterCaseSynonymUpperCase", "select * from ma_cuentas c where c.codigo = 1", false,
                    "select * from SS_MA_CUENTAS c where c.codigo = 1"},
        SynonymCase{"QualifiedColumnsAndTable", "SELECT MV_ASIENTOS.Fecha FROM MV_ASIENTOS WHERE 1=1", false,
                    "SELECT SS_MV_ASIENTOS.Fecha FROM SS_MV_ASIENTOS WHERE 1=1"},
        // AC_CUENTASDIARIO's contexts need a blank or period right after the name, so the longer
        // AC_CUENTASDIARIO_CCOSTO reaches its own row and gets its own synonym.
        SynonymCase{
            "DiarioAndDiarioCcosto",
            "SELECT * FROM AC_CUENTASDIARIO D INNER JOIN AC_CUENTASDIARIO_CCOSTO C ON D.Id = C.Id "
            "WHERE (AC_CUENTASDIARIO_CCOSTO.Importe > 0)",
            false,
            "SELECT * FROM SS_AC_CUENTASDIARIO D INNER JOIN SS_AC_CUENTAS_DIARIO_CCOSTO C ON D.Id = C.Id "
            "WHERE (SS_AC_CUENTAS_DIARIO_CCOSTO.Importe > 0)"},
        // Occurrences are taken left to right without overlap: the blank between the table and an
        // alias of the same name belongs to the first match, so the alias keeps its name.
        SynonymCase{"SharedBlankCountsOnce", "SELECT * FROM MA_CUENTAS MA_CUENTAS WHERE 1=1", false,
                    "SELECT * FROM SS_MA_CUENTAS MA_CUENTAS WHERE 1=1"},
        SynonymCase{"MarkerAskForRealAndRestricted",
                    "SELECT * FROM @Admin_MA_CUENTAS A, MA_CUENTAS B WHERE A.Codigo = B.Codigo", false,
                    "SELECT * FROM MA_CUENTAS A, SS_MA_CUENTAS B WHERE A.Codigo = B.Codigo"},
        SynonymCase{"MarkerLowerCaseMaCuentasUpperCase", "select * from @admin_ma_cuentas where 1=1", false,
                    "select * from MA_CUENTAS where 1=1"},
        SynonymCase{"MarkerLowerCaseOtherObjectKeepsCase", "select * from @ADMIN_v_ta_cajas where 1=1", false,
                    "select * from v_ta_cajas where 1=1"},
        SynonymCase{"MarkerOnAnyName", "SELECT * FROM @Admin_VT_CLIENTES, @Admin_MV_ASIENTOS ", false,
                    "SELECT * FROM VT_CLIENTES, MV_ASIENTOS "},
        SynonymCase{"AdminMarkerAnyCase", "SELECT * FROM @aDMIN_MA_CUENTAS, V_TA_CAJAS ", true,
                    "SELECT * FROM MA_CUENTAS, V_TA_CAJAS "},
        SynonymCase{"AdminNestedQuery",
                    "SELECT * FROM MA_CUENTAS WHERE X IN (SELECT Y FROM @Admin_MV_ASIENTOS )", true,
                    "SELECT * FROM MA_CUENTAS WHERE X IN (SELECT Y FROM MV_ASIENTOS )"},
        SynonymCase{"NonAdminNestedQuery",
                    "SELECT * FROM MA_CUENTAS WHERE X IN (SELECT Y FROM @Admin_MV_ASIENTOS )", false,
                    "SELECT * FROM SS_MA_CUENTAS WHERE X IN (SELECT Y FROM MV_ASIENTOS )"},
        SynonymCase{"OtherTablesUntouched", "SELECT * FROM VT_CLIENTES WHERE Codigo = 'MA_CUENTAS'", false,
                    "SELECT * FROM VT_CLIENTES WHERE Codigo = 'MA_CUENTAS'"},
        SynonymCase{"Empty", "", false, ""}),
    caseName);

// A value from outside stands in a literal; whatever it holds is a value, never an object name
// or a marker (a client named " MA_CUENTAS " is looked up as written).
INSTANTIATE_TEST_SUITE_P(
    LiteralsKept, Synonyms,
    ::testing::Values(
        SynonymCase{"ObjectNameInALiteral", "SELECT * FROM MA_CUENTAS WHERE Nombre = 'x MA_CUENTAS y'", false,
                    "SELECT * FROM SS_MA_CUENTAS WHERE Nombre = 'x MA_CUENTAS y'"},
        SynonymCase{"MarkerInALiteral", "SELECT * FROM VT_CLIENTES WHERE Codigo = '@Admin_1'", true,
                    "SELECT * FROM VT_CLIENTES WHERE Codigo = '@Admin_1'"},
        SynonymCase{"DoubledQuoteDoesNotEndTheLiteral",
                    "SELECT * FROM T WHERE A = 'O'' (MV_ASIENTOS.x' AND B = (MV_ASIENTOS.y)", false,
                    "SELECT * FROM T WHERE A = 'O'' (MV_ASIENTOS.x' AND B = (SS_MV_ASIENTOS.y)"},
        SynonymCase{"SeventeenLiterals",
                    "SELECT * FROM MA_CUENTAS WHERE A IN ('a','b','c','d','e','f','g','h','i','j','k','l','m','n','o',"
                    "'p','q')",
                    false,
                    "SELECT * FROM SS_MA_CUENTAS WHERE A IN ('a','b','c','d','e','f','g','h','i','j','k','l','m','n',"
                    "'o','p','q')"},
        SynonymCase{"UnclosedQuoteRunsToTheEnd", "SELECT * FROM MA_CUENTAS WHERE A = ' MA_CUENTAS ", false,
                    "SELECT * FROM SS_MA_CUENTAS WHERE A = ' MA_CUENTAS "}),
    caseName);

} // namespace

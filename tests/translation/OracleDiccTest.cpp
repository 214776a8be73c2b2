#include "app/RunTimeError.h"
#include "data/Translation.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

const QString kOracle =
    QStringLiteral("Provider=OraOLEDB.Oracle.1;Password=clave;User ID=kv;Data Source=ERP");

struct OracleCase {
    std::string name;
    QString in;
    QString expected;
};

void PrintTo(const OracleCase& c, std::ostream* os) {
    *os << c.in.toStdString();
}

std::string caseName(const ::testing::TestParamInfo<OracleCase>& info) {
    return info.param.name;
}

class OracleDicc : public ::testing::TestWithParam<OracleCase> {};

TEST_P(OracleDicc, Translate) {
    const OracleCase& c = GetParam();
    EXPECT_EQ(ORACLE_Dicc(c.in, kOracle).toStdString(), c.expected.toStdString());
}

// TOP n: head, blank, body without its GROUP BY / ORDER BY clause, blank, ROWNUM limit, blank,
// grouping part, blank, ordering part; the blanks are kept as they fall.
INSTANTIATE_TEST_SUITE_P(
    RowLimit, OracleDicc,
    ::testing::Values(
        OracleCase{"OrderByNoWhere", "SELECT TOP 5 Codigo, Nombre FROM VT_CLIENTES ORDER BY Nombre",
                   "SELECT  Codigo, Nombre FROM VT_CLIENTES    WHERE ROWNUM <= 5  ORDER BY Nombre"},
        OracleCase{"WhereGivesAnd", "SELECT TOP 1 * FROM V_MV_CPTE WHERE MV_CPTE_TSNL = 'OT000100000001A'",
                   "SELECT  * FROM V_MV_CPTE WHERE MV_CPTE_TSNL = 'OT000100000001A'  AND ROWNUM <= 1  "},
        OracleCase{
            "GroupByTakesOrderByAlong",
            "SELECT TOP 10 Vendedor, COUNT(*) FROM V_MV_CPTE WHERE Tipo = 'NP' GROUP BY Vendedor ORDER BY "
            "Vendedor",
            "SELECT  Vendedor, COUNT(*) FROM V_MV_CPTE WHERE Tipo = 'NP'    AND ROWNUM <= 10  GROUP BY "
            "Vendedor ORDER BY Vendedor "},
        OracleCase{"LowerCaseNoWhere", "select top 3 * from MA_CUENTAS",
                   "select  * from MA_CUENTAS  WHERE ROWNUM <= 3  "},
        // The row count is taken after the blanks that follow TOP; the trailing blank goes with the trim.
        OracleCase{"BlanksAroundCount",
                   "SELECT TOP   1 * FROM MA_USUARIOS WHERE LTRIM(RTRIM(Codigo)) ='ADMIN' ",
                   "SELECT  * FROM MA_USUARIOS WHERE LTRIM(RTRIM(Codigo)) ='ADMIN'  AND ROWNUM <= 1  "}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Len, OracleDicc,
    ::testing::Values(
        OracleCase{"NoBlank", "SELECT LEN(Nombre) FROM T", "SELECT LENGTH(Nombre) FROM T"},
        OracleCase{"OneBlank", "SELECT LEN (Nombre) FROM T", "SELECT LENGTH(Nombre) FROM T"},
        OracleCase{"TwoBlanks", "SELECT LEN  (Nombre) FROM T", "SELECT LENGTH(Nombre) FROM T"},
        OracleCase{"ThreeBlanks", "SELECT LEN   (Nombre) FROM T", "SELECT LENGTH(Nombre) FROM T"},
        OracleCase{"FourBlanks", "SELECT LEN    (Nombre) FROM T", "SELECT LENGTH(Nombre) FROM T"},
        OracleCase{"FiveBlanksKept", "SELECT LEN     (Nombre) FROM T", "SELECT LEN     (Nombre) FROM T"},
        OracleCase{"NoBlankBeforeKept", "SELECT MAX(LEN(Nombre)) FROM T", "SELECT MAX(LEN(Nombre)) FROM T"},
        OracleCase{"LowerCase", "select len(nombre) from t", "select LENGTH(nombre) from t"},
        // One word: only the bare function name changes.
        OracleCase{"OneWordLen", "LEN", "LENGTH"}, OracleCase{"OneWordLenLowerCase", "len", "LENGTH"},
        OracleCase{"OneWordLenWithBlankKept", "LEN ", "LEN "},
        OracleCase{"OneWordOtherKept", "[Nombre]", "[Nombre]"},
        OracleCase{"OneWordConvertKept", "ISNULL(Nombre,'')", "ISNULL(Nombre,'')"},
        OracleCase{"Empty", "", ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Brackets, OracleDicc,
                         ::testing::Values(OracleCase{
                             "ToDoubleQuotes", "SELECT [Codigo], [Nombre Cliente] FROM [VT_CLIENTES]",
                             "SELECT \"Codigo\", \"Nombre Cliente\" FROM \"VT_CLIENTES\""}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(
    DateLiterals, OracleDicc,
    ::testing::Values(
        OracleCase{"DayMonthYear", "SELECT * FROM V_MV_CPTE WHERE Fecha = '25/12/2024'",
                   "SELECT * FROM V_MV_CPTE WHERE Fecha = TO_DATE('25/12/2024','DD/MM/YYYY')"},
        OracleCase{"NotADateKept", "SELECT * FROM VT_CLIENTES WHERE Nombre = 'PEREZ'",
                   "SELECT * FROM VT_CLIENTES WHERE Nombre = 'PEREZ'"},
        OracleCase{"NoSuchDayKept", "SELECT * FROM T WHERE Fecha = '31/02/2024'",
                   "SELECT * FROM T WHERE Fecha = '31/02/2024'"},
        OracleCase{"LeapDay", "SELECT * FROM T WHERE Fecha = '29/02/2024'",
                   "SELECT * FROM T WHERE Fecha = TO_DATE('29/02/2024','DD/MM/YYYY')"},
        OracleCase{"NoLeapDayKept", "SELECT * FROM T WHERE Fecha = '29/02/2023'",
                   "SELECT * FROM T WHERE Fecha = '29/02/2023'"},
        OracleCase{"MonthFirstKept", "SELECT * FROM T WHERE Fecha = '12/25/2024'",
                   "SELECT * FROM T WHERE Fecha = '12/25/2024'"},
        OracleCase{"NoYearKept", "SELECT * FROM T WHERE Fecha = '25/12'",
                   "SELECT * FROM T WHERE Fecha = '25/12'"},
        OracleCase{"MixedSeparatorsKept", "SELECT * FROM T WHERE Fecha = '25/12-2024'",
                   "SELECT * FROM T WHERE Fecha = '25/12-2024'"},
        OracleCase{"SingleDigitsPadded", "SELECT * FROM T WHERE Fecha = '5/1/2024'",
                   "SELECT * FROM T WHERE Fecha = TO_DATE('05/01/2024','DD/MM/YYYY')"},
        OracleCase{"Dashes", "SELECT * FROM T WHERE Fecha = '05-01-2024'",
                   "SELECT * FROM T WHERE Fecha = TO_DATE('05/01/2024','DD/MM/YYYY')"},
        OracleCase{"DotsTwoDigitYear", "SELECT * FROM T WHERE Fecha = '05.01.24'",
                   "SELECT * FROM T WHERE Fecha = TO_DATE('05/01/2024','DD/MM/YYYY')"},
        OracleCase{"TwoDigitYear29", "SELECT * FROM T WHERE Fecha = '1/1/29'",
                   "SELECT * FROM T WHERE Fecha = TO_DATE('01/01/2029','DD/MM/YYYY')"},
        OracleCase{"TwoDigitYear30", "SELECT * FROM T WHERE Fecha = '1/1/30'",
                   "SELECT * FROM T WHERE Fecha = TO_DATE('01/01/1930','DD/MM/YYYY')"},
        OracleCase{"IsoYearFirst", "SELECT * FROM T WHERE Fecha = '2024-12-25'",
                   "SELECT * FROM T WHERE Fecha = TO_DATE('25/12/2024','DD/MM/YYYY')"},
        OracleCase{"TwoDates", "SELECT * FROM T WHERE Fecha >= '01/01/2024' AND Fecha <= '31/12/2024'",
                   "SELECT * FROM T WHERE Fecha >= TO_DATE('01/01/2024','DD/MM/YYYY') AND Fecha <= "
                   "TO_DATE('31/12/2024','DD/MM/YYYY')"},
        // The second occurrence is met again inside its TO_DATE and wrapped twice; the clean-up
        // leaves one TO_DATE each.
        OracleCase{"RepeatedDateFoldedBack",
                   "SELECT * FROM T WHERE Desde = '25/12/2024' OR Hasta = '25/12/2024'",
                   "SELECT * FROM T WHERE Desde = TO_DATE('25/12/2024','DD/MM/YYYY') OR Hasta = "
                   "TO_DATE('25/12/2024','DD/MM/YYYY')"},
        OracleCase{"SameDayWrittenTwoWays", "SELECT * FROM T WHERE A = '1/2/2024' OR B = '01/02/2024'",
                   "SELECT * FROM T WHERE A = TO_DATE('01/02/2024','DD/MM/YYYY') OR B = "
                   "TO_DATE('01/02/2024','DD/MM/YYYY')"},
        OracleCase{"AlreadyOracleStaysSingle", "SELECT * FROM T WHERE F = TO_DATE('25/12/2024','DD/MM/YYYY')",
                   "SELECT * FROM T WHERE F = TO_DATE('25/12/2024','DD/MM/YYYY')"},
        OracleCase{"DoubledQuoteInText", "SELECT * FROM T WHERE Nombre = 'O''BRIEN'",
                   "SELECT * FROM T WHERE Nombre = 'O''BRIEN'"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Functions, OracleDicc,
    ::testing::Values(OracleCase{"Charindex", "SELECT Charindex('-', Codigo), CHARINDEX('.', Nombre) FROM T",
                                 "SELECT InStr('-', Codigo), InStr('.', Nombre) FROM T"},
                      OracleCase{"ConvertBoth",
                                 "SELECT CONVERT(NVARCHAR, Codigo) , convert(int, Numero) FROM T",
                                 "SELECT TO_CHAR( Codigo) , TO_NUMBER( Numero) FROM T"},
                      OracleCase{"ConvertWithLengthKept", "SELECT CONVERT(NVARCHAR(10), Codigo) FROM T",
                                 "SELECT CONVERT(NVARCHAR(10), Codigo) FROM T"},
                      OracleCase{"Substring",
                                 "SELECT SUBSTRING(Codigo, 1, 4), substring(Nombre, 2, 3) FROM T",
                                 "SELECT SUBSTR(Codigo, 1, 4), SUBSTR(Nombre, 2, 3) FROM T"},
                      OracleCase{"Isnull", "SELECT ISNULL(Nombre, ''), isnull(Saldo, 0) FROM T",
                                 "SELECT NVL(Nombre, ''), NVL(Saldo, 0) FROM T"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    EmptyText, OracleDicc,
    ::testing::Values(
        OracleCase{"BothFormsAfterWhere", "SELECT * FROM VT_CLIENTES WHERE Cuit = '' AND Mail=''",
                   "SELECT * FROM VT_CLIENTES WHERE Cuit  IS NULL  AND Mail IS NULL "},
        OracleCase{"BeforeWhereKept",
                   "SELECT CASE WHEN Cuit = '' THEN 'S' END FROM VT_CLIENTES WHERE Mail=''",
                   "SELECT CASE WHEN Cuit = '' THEN 'S' END FROM VT_CLIENTES WHERE Mail IS NULL "},
        OracleCase{"LowerCaseWhere", "select * from t where a=''", "select * from t where a IS NULL "},
        OracleCase{"NoWhereKept", "SELECT Cuit = '' FROM T", "SELECT Cuit = '' FROM T"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Style103, OracleDicc,
    ::testing::Values(
        OracleCase{"ConvertToText", "SELECT CONVERT(NVARCHAR, Fecha, 103) FROM V_MV_CPTE",
                   "SELECT TO_CHAR( Fecha, 'DD/MM/YYYY') FROM V_MV_CPTE"},
        OracleCase{"FunctionBetweenKept", "SELECT CONVERT(NVARCHAR, RTRIM(Fecha), 103) FROM V_MV_CPTE",
                   "SELECT TO_CHAR( RTRIM(Fecha), 103) FROM V_MV_CPTE"},
        OracleCase{"Two", "SELECT CONVERT(NVARCHAR, Desde, 103), CONVERT(NVARCHAR, Hasta, 103) FROM T",
                   "SELECT TO_CHAR( Desde, 'DD/MM/YYYY'), TO_CHAR( Hasta, 'DD/MM/YYYY') FROM T"},
        OracleCase{"PlainNumberKept", "SELECT * FROM T WHERE Numero = 103",
                   "SELECT * FROM T WHERE Numero = 103"},
        // Only the nearest "(" to the left counts, closed or not.
        OracleCase{"AfterClosedToChar", "SELECT TO_CHAR(Fecha) , 103 FROM T",
                   "SELECT TO_CHAR(Fecha) , 'DD/MM/YYYY' FROM T"},
        OracleCase{"LowerCaseToChar", "SELECT to_char(Fecha, 103) FROM T",
                   "SELECT to_char(Fecha, 'DD/MM/YYYY') FROM T"},
        OracleCase{"ParenAtTheStart", "(103) FROM T", "(103) FROM T"}),
    caseName);

// Every rewrite on one statement, each working on what the earlier ones left.
INSTANTIATE_TEST_SUITE_P(
    Combined, OracleDicc,
    ::testing::Values(OracleCase{
        "ExportLikeStatement",
        "SELECT TOP 50 [Codigo], LEN (Nombre), CONVERT(NVARCHAR, Alta, 103), SUBSTRING(Cuit, 1, 2), "
        "ISNULL(Mail, ''), Charindex('-', Cuit) FROM VT_CLIENTES WHERE Alta > '1/3/2024' AND Baja = '' "
        "ORDER BY Codigo",
        "SELECT  \"Codigo\", LENGTH(Nombre), TO_CHAR( Alta, 'DD/MM/YYYY'), SUBSTR(Cuit, 1, 2), "
        "NVL(Mail, ''), InStr('-', Cuit) FROM VT_CLIENTES WHERE Alta > TO_DATE('01/03/2024','DD/MM/YYYY') "
        "AND Baja  IS NULL     AND ROWNUM <= 50  ORDER BY Codigo"}),
    caseName);

// Operator and handheld text stands in literals with its quotes doubled: no rewrite looks inside
// one, so a value holding TOP, brackets, LEN(, an empty comparison or a date among other text
// comes out exactly as it went in and cannot reshape the statement around it.
INSTANTIATE_TEST_SUITE_P(
    LiteralsKept, OracleDicc,
    ::testing::Values(
        OracleCase{"TopInAValue", "SELECT * FROM VT_CLIENTES WHERE CODIGO IN ('xtop 1',') OR 1=1 --')",
                   "SELECT * FROM VT_CLIENTES WHERE CODIGO IN ('xtop 1',') OR 1=1 --')"},
        OracleCase{"OrderByInAValueBesideATop", "SELECT TOP 5 * FROM T WHERE A = ' ORDER BY x' ORDER BY B",
                   "SELECT  * FROM T WHERE A = ' ORDER BY x'    AND ROWNUM <= 5  ORDER BY B"},
        OracleCase{"BracketsAndFunctionsInAValue", "SELECT * FROM T WHERE A = '[a] LEN( ISNULL( SUBSTRING('",
                   "SELECT * FROM T WHERE A = '[a] LEN( ISNULL( SUBSTRING('"},
        OracleCase{"EmptyComparisonInAValue", "SELECT * FROM T WHERE A = 'b = '''' c'",
                   "SELECT * FROM T WHERE A = 'b = '''' c'"},
        OracleCase{"DateAmongQuotesIsNoDate", "SELECT * FROM T WHERE A = '''1/1/2024''' OR F = '1/1/2024'",
                   "SELECT * FROM T WHERE A = '''1/1/2024''' OR F = TO_DATE('01/01/2024','DD/MM/YYYY')"},
        OracleCase{"StyleInAValue", "SELECT TO_CHAR(F, '103') FROM T", "SELECT TO_CHAR(F, '103') FROM T"},
        OracleCase{"SeventeenLiterals",
                   "SELECT * FROM T WHERE A IN ('1','2','3','4','5','6','7','8','9','10','11','12','13','14','15',"
                   "'16','17') OR F = '1/1/2024'",
                   "SELECT * FROM T WHERE A IN ('1','2','3','4','5','6','7','8','9','10','11','12','13','14','15',"
                   "'16','17') OR F = TO_DATE('01/01/2024','DD/MM/YYYY')"}),
    caseName);

// Anything but an Oracle connection receives the statement as written, even one Oracle would refuse.
struct OtherConnection {
    std::string name;
    QString connection;
};
class NotOracle : public ::testing::TestWithParam<OtherConnection> {};

TEST_P(NotOracle, ReturnsTheStatementUnchanged) {
    for (const QString& sql :
         {QStringLiteral("SELECT TOP 5 * FROM [T] WHERE A = '' AND F = '25/12/2024'"), QStringLiteral("LEN"),
          QStringLiteral("SELECT TOP 5"), QStringLiteral("SELECT * FROM T WHERE A = 'abierta")})
        EXPECT_EQ(ORACLE_Dicc(sql, GetParam().connection).toStdString(), sql.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Connections, NotOracle,
    ::testing::Values(OtherConnection{"SqlServer", "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=ERP"},
                      OtherConnection{"Jet", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source =kvpalmsync.mdb;"},
                      OtherConnection{"Empty", ""}),
    [](const auto& info) { return info.param.name; });

TEST(OracleDiccConnection, OracleInAnyLetterCase) {
    EXPECT_EQ(ORACLE_Dicc(QStringLiteral("SELECT ISNULL(A, 0) FROM T"),
                          QStringLiteral("provider=oraoledb.oracle.1")),
              QStringLiteral("SELECT NVL(A, 0) FROM T"));
}

struct RefusedCase {
    std::string name;
    QString in;
};
class OracleDiccRefuses : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(OracleDiccRefuses, WithInvalidProcedureCall) {
    try {
        ORACLE_Dicc(GetParam().in, kOracle);
        FAIL() << "no error for " << GetParam().in.toStdString();
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.number(), 5);
        EXPECT_FALSE(e.description().isEmpty());
        EXPECT_EQ(e.source(), QStringLiteral("ORACLE_Dicc"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, OracleDiccRefuses,
    ::testing::Values(RefusedCase{"TopCountLast", "SELECT TOP 5"},
                      RefusedCase{"TopCountLastWithBlanks", "SELECT TOP   5  "},
                      RefusedCase{"UnclosedQuote", "SELECT * FROM VT_CLIENTES WHERE Nombre = 'PEREZ"},
                      RefusedCase{"UnclosedAfterDate", "SELECT * FROM T WHERE F = '25/12/2024' AND N = 'X"}),
    [](const auto& info) { return info.param.name; });

} // namespace

// The import writes its rows as the program does: "SELECT TOP 1 * FROM" the target, AddNew,
// the column map's assignments (numbers as text where the map trims them), Update; then the
// duplicate test must find the document.

#include "app/GeneralFunctions.h"
#include "data/Recordset.h"
#include "ErpTestSupport.h"

#include <gtest/gtest.h>

using namespace kv;
using kv::test::EngineCase;

namespace {

struct Assignment {
    const char* column;
    QVariant value;
};

struct TargetCase {
    const char* name;
    const char* target;
    const char* typeCode;
    QList<Assignment> map;
    QList<std::pair<const char*, double>> numbers; // read back as numbers
    QList<std::pair<const char*, QString>> codes;  // read back without trailing blanks
};

void PrintTo(const TargetCase& c, std::ostream* os) {
    *os << c.name;
}

const char* const kDocument = "000700000042B";
const QString kDate = QStringLiteral("2026-12-01");
const QString kArticle = CodigoAncho(QStringLiteral("FER-000001"), 25);

QList<TargetCase> targets() {
    const QString id = QString::fromLatin1(kDocument);
    return {
        {"control_sheet_row",
         "GM_V_MV_PLANILLA_CAB",
         "NP",
         {{"id_planilla", QStringLiteral("000000000001X")},
          {"Fecha_planilla", QDate(2026, 12, 9)},
          {"IdVendedor", QVariant()},
          {"Fecha", kDate},
          {"FECHA_ENTREGA", QStringLiteral("2026-12-03")},
          {"TC", QStringLiteral("NP")},
          {"IdComprobante", id},
          {"ClasePrecio", 2},
          {"descuento", 5.0},
          {"IdCliente", QStringLiteral("000001")},
          {"ITEMS", 3},
          {"Importe_S_IVA", 100.5},
          {"IMPORTE_TOTAL", 121.61}},
         {{"Importe_S_IVA", 100.5}, {"IMPORTE_TOTAL", 121.61}, {"ITEMS", 3}},
         {{"id_planilla", QStringLiteral("000000000001X")}, {"TC", QStringLiteral("NP")}}},
        {"ordinary_document",
         "V_MV_CPTE",
         "NP",
         {{"TC", QStringLiteral("NP")},
          {"IdComprobante", id},
          {"IdComplemento", 0},
          {"Fecha", kDate},
          {"FECHAESTINICIO", kDate},
          {"FECHAESTFIN", kDate},
          {"Cuenta", QStringLiteral("000001")},
          {"Nombre", QStringLiteral("Ferretería Núñez S.L.")},
          {"DOMICILIO", QStringLiteral("   ")},
          {"Localidad", QStringLiteral("Mérida")},
          {"Telefono", QStringLiteral("924 000 000")},
          {"IDPROVINCIA", QVariant()},
          {"CODIGOPOSTAL", QStringLiteral("06800")},
          {"DOCUMENTOTIPO", QStringLiteral("CIF")},
          {"DOCUMENTONUMERO", QStringLiteral("B12345678")},
          {"CONDICIONIVA", QStringLiteral("1")},
          {"Importe_S_IVA", 100.0},
          {"Importe", 121.0},
          {"ImporteIVA", 21.0},
          {"NetoGravado", 100.0},
          {"NETONOGRAVADO", 0.0},
          {"ClasePrecio", 2},
          {"IMPORTEINSUMOS", 100.0}},
         {{"Importe", 121.0}, {"IMPORTEINSUMOS", 100.0}, {"IdComplemento", 0}},
         {{"DOMICILIO", QString()}, {"Nombre", QStringLiteral("Ferretería Núñez S.L.")}}},
        {"task_line",
         "V_MV_CpteTareas",
         "OT",
         {{"TC", QStringLiteral("OT")},
          {"IdComprobante", id},
          {"IdComplemento", 0},
          {"IdTarea", CodigoAncho(QStringLiteral("T1"), 4)},
          {"Descripcion", QStringLiteral("Revisión general")},
          {"Horas", 1.5},
          {"valorhora", 30.0},
          {"valorHora_S_Iva", 30.0},
          {"Total", 45.0},
          {"EXENTO", 0},
          {"descripcionadicional", QStringLiteral("  notas con blancos  ")}},
         {{"Horas", 1.5}, {"Total", 45.0}},
         {{"IdTarea", QStringLiteral("T1")},
          {"descripcionadicional", QStringLiteral("  notas con blancos")}}},
        {"control_sheet_line",
         "GM_V_MV_PLANILLA_DETALLE",
         "RM",
         {{"TC", QStringLiteral("RM")},
          {"IdComprobante", id},
          {"Item", 1},
          {"IdCliente", QStringLiteral("000001")},
          {"Fecha", kDate},
          {"FECHA_ENTREGA", QStringLiteral("2026-12-05")},
          {"IdArticulo", kArticle},
          {"Descripcion", QStringLiteral("Candado latón 30 mm")},
          {"descuento", 0.0},
          {"Cantidad", QStringLiteral("2.5")},
          {"IdUnidad", QStringLiteral("UN")},
          {"precio", QStringLiteral("12.10")},
          {"precio_S_IVA", QStringLiteral("10")},
          {"IMPORTE_IVA", QStringLiteral("2.1")},
          {"IMPORTE_IMP_INT", QStringLiteral("0")},
          {"Total", QStringLiteral("30.25")}},
         {{"Cantidad", 2.5}, {"precio", 12.10}, {"Total", 30.25}},
         {{"IdArticulo", QStringLiteral("FER-000001")}, {"IdUnidad", QStringLiteral("UN")}}},
        {"supply_line",
         "V_MV_CpteInsumos",
         "NP",
         {{"TC", QStringLiteral("NP")},
          {"IdComprobante", id},
          {"IdComplemento", 0},
          {"IdArticulo", kArticle},
          {"Descripcion", QStringLiteral("Candado latón 30 mm")},
          {"Cantidad", QStringLiteral("2")},
          {"IdUnidad", CodigoAncho(QStringLiteral("UN"), 4)},
          {"Impuestos", QStringLiteral("0")},
          {"Importe", QStringLiteral("12.10")},
          {"Importe_S_IVA", QStringLiteral("10")},
          {"Total", QStringLiteral("24.2")}},
         {{"Cantidad", 2}, {"Importe_S_IVA", 10}, {"Total", 24.2}},
         {{"IdArticulo", QStringLiteral("FER-000001")}, {"IdUnidad", QStringLiteral("UN")}}},
    };
}

const erp::Options kSmall{.clients = 20, .articles = 10, .vendors = 2, .documents = 4};

// Adds one row the way the import does.
void addRow(Connection& c, const QString& target, const QList<Assignment>& map) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT TOP 1 * FROM ") + target, c, cursor::Dynamic, lock::Optimistic);
    rs.addNew();
    for (const Assignment& a : map)
        rs.setValue(QString::fromLatin1(a.column), a.value);
    rs.update();
}

QString rightTrimmed(QString s) {
    while (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

class ImportTargets : public ::testing::TestWithParam<std::tuple<EngineCase, TargetCase>> {};

TEST_P(ImportTargets, TakeTheColumnMapAndAreFoundByTheDuplicateTest) {
    const auto& [engine, c] = GetParam();
    test::DemoErpDb erp(engine.engine, kSmall);
    if (!erp.available()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    const QString target = QString::fromLatin1(c.target);
    ASSERT_NO_THROW(addRow(erp.connection(), target, c.map));

    Recordset found;
    found.open(
        QStringLiteral("SELECT * FROM %1 WHERE TC = '%2' AND IDCOMPROBANTE = '%3'")
            .arg(target, CodigoAncho(QString::fromLatin1(c.typeCode), 4), QString::fromLatin1(kDocument)),
        erp.connection());
    ASSERT_FALSE(found.eof());
    for (const auto& [column, expected] : c.numbers)
        EXPECT_DOUBLE_EQ(found.value(QString::fromLatin1(column)).toDouble(), expected) << column;
    for (const auto& [column, expected] : c.codes)
        EXPECT_EQ(rightTrimmed(TextoNoNulo(found.value(QString::fromLatin1(column)))), expected) << column;
    found.moveNext();
    EXPECT_TRUE(found.eof());
}

INSTANTIATE_TEST_SUITE_P(Erp, ImportTargets,
                         ::testing::Combine(::testing::Values(test::kSqlite, test::kPostgres),
                                            ::testing::ValuesIn(targets())),
                         test::EngineAndCaseName());

// The next control-sheet number is drawn from the text maximum of what the sheet holds.
TEST(ImportTargetsControlSheet, MaximumIsTheLastNumberStored) {
    for (const EngineCase& engine : {test::kSqlite, test::kPostgres}) {
        test::DemoErpDb erp(engine.engine, kSmall);
        if (!erp.available()) continue;
        SCOPED_TRACE(engine.name);
        for (const char* number : {"000000000009X", "000000000041X", "000000000012X"})
            addRow(erp.connection(), QStringLiteral("GM_V_MV_PLANILLA_CAB"),
                   {{"id_planilla", QString::fromLatin1(number)},
                    {"TC", QStringLiteral("OT")},
                    {"IdComprobante", QStringLiteral("000100000001A")}});
        EXPECT_EQ(test::scalar(erp.connection(),
                               QStringLiteral("SELECT MAX(ID_PLANILLA) EL_MAX FROM GM_V_MV_PLANILLA_CAB "))
                      .toString(),
                  QStringLiteral("000000000041X"));
    }
}

struct CodeCase {
    const char* name;
    const char* target;
    const char* column;
    const char* stored;
    const char* asked;
    bool found;
};

class FixedWidthCodes : public ::testing::TestWithParam<EngineCase> {};

// Codes of the document tables compare as the ERP's fixed-width columns do; other texts do not.
TEST_P(FixedWidthCodes, IgnoreTrailingBlanks) {
    test::DemoErpDb erp(GetParam().engine, kSmall);
    if (!erp.available()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";
    const CodeCase cases[] = {
        {"stored_short_asked_wide", "V_MV_CPTE", "TC", "NP", "NP  ", true},
        {"stored_wide_asked_short", "V_MV_CPTE", "TC", "NP  ", "NP", true},
        {"other_code", "V_MV_CPTE", "TC", "NP", "NPX", false},
        {"article_fitted", "V_MV_CpteInsumos", "IdArticulo", "FER-000001", "FER-000001               ", true},
        {"unit_fitted", "V_MV_CpteInsumos", "IdUnidad", "UN  ", "UN", true},
        {"task_fitted", "V_MV_CpteTareas", "IdTarea", "T1", "T1  ", true},
        {"sheet_line_unit", "GM_V_MV_PLANILLA_DETALLE", "IdUnidad", "KG", "KG  ", true},
        {"description_is_no_code", "V_MV_CpteInsumos", "Descripcion", "Candado", "Candado ", false},
    };
    int n = 0;
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString id = QStringLiteral("09990000%1Z").arg(++n, 4, 10, QLatin1Char('0'));
        QList<Assignment> row = {{"TC", QStringLiteral("NP")}, {"IdComprobante", id}};
        if (QLatin1String(c.column) == QLatin1String("TC")) row.removeFirst();
        row.append({c.column, QString::fromLatin1(c.stored)});
        addRow(erp.connection(), QString::fromLatin1(c.target), row);
        const QString sql = QStringLiteral("SELECT COUNT(*) FROM %1 WHERE IdComprobante = '%2' AND %3 = '%4'")
                                .arg(QString::fromLatin1(c.target), id, QString::fromLatin1(c.column),
                                     QString::fromLatin1(c.asked));
        EXPECT_EQ(test::scalar(erp.connection(), sql).toInt(), c.found ? 1 : 0) << qPrintable(sql);
    }
}

INSTANTIATE_TEST_SUITE_P(Erp, FixedWidthCodes, ::testing::Values(test::kSqlite, test::kPostgres),
                         test::EngineName());

} // namespace

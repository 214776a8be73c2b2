#include "app/LookupMapFile.h"
#include "CaseName.h"
#include "lookup/Lib_ClsCons3.h"
#include "lookup/LookupSession.h"
#include "LookupErp.h"
#include "ScriptedOperator.h"

#include <gtest/gtest.h>
#include <QFile>

using namespace kv;

namespace {

const QString Clients = QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE "
                                       "Dada_De_Baja = 0 ORDER BY RAZON_SOCIAL");

void writeMap(const QString& path, const QList<LookupMapRecord>& records) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (const auto& r : records)
        f.write(encodeLookupRecord(r));
}

// Ticks the given rows and accepts.
auto tickAndAccept(QList<int> rows) {
    return [rows](LookupSession& s) {
        for (int r : rows)
            s.setTicked(r, true);
        s.accept();
    };
}

class LookupQuery : public ::testing::Test {
protected:
    test::LookupErp erp;
    test::ScopedOperator o;
    Lib_ClsCons3& lookup() { return Lib_ClsCons3::instance(); }
    // The statement handed to the list, as the person saw it.
    QString shownStatement() const {
        const auto lookups = o.person.shownOf(QStringLiteral("lookup"));
        return lookups.isEmpty() ? QStringLiteral("<no lookup>") : lookups.last().text;
    }
};

struct StatementCase {
    std::string name;
    const char* topConsArt; // nullptr: no such key
    const char* source;
    QString expected;
};

class Statements : public LookupQuery, public ::testing::WithParamInterface<StatementCase> {};

TEST_P(Statements, AreBuiltExactlyAndRun) {
    const auto& c = GetParam();
    if (c.topConsArt) erp.setConfig(QStringLiteral("TopConsArt"), QString::fromUtf8(c.topConsArt));
    EXPECT_EQ(lookup().ArmarSentencia(QString::fromUtf8(c.source)).sql, c.expected);

    int rows = -1;
    o.person.onListLookup([&](LookupSession& s) { rows = s.rowCount(); });
    lookup().ConsultaSearch(QString::fromUtf8(c.source));
    EXPECT_EQ(shownStatement(), c.expected);
    EXPECT_GT(rows, 0) << "the statement must run on the database";
    EXPECT_TRUE(o.person.shownOf(QStringLiteral("error")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, Statements,
    ::testing::Values(
        StatementCase{"clients", nullptr, "VT_CLIENTES", Clients},
        StatementCase{
            "vendors", nullptr, "V_TA_VENDEDORES",
            QStringLiteral("SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE")},
        StatementCase{"name_in_other_case_with_blanks", nullptr, " vt_clientes ", Clients},
        StatementCase{
            "top_250", "250", "V_TA_VENDEDORES",
            QStringLiteral("SELECT TOP 250 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE")},
        StatementCase{"top_2_5_rounds_down_to_even", "2.5", "V_TA_VENDEDORES",
                      QStringLiteral("SELECT TOP 2 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE")},
        StatementCase{"top_3_5_rounds_up_to_even", "3.5", "V_TA_VENDEDORES",
                      QStringLiteral("SELECT TOP 4 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE")},
        StatementCase{
            "top_text", "muchos", "V_TA_VENDEDORES",
            QStringLiteral("SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE")},
        StatementCase{
            "top_zero", "0", "V_TA_VENDEDORES",
            QStringLiteral("SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE")},
        StatementCase{"view_without_map_record", nullptr, "V_TA_ZONAS",
                      QStringLiteral("SELECT TOP 1000 NOMBRE,CODIGO FROM V_TA_ZONAS ORDER BY NOMBRE")}),
    test::CaseName());

struct FieldsCase {
    std::string name;
    QStringList fields;
    QString expected;
};

class FromFields : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(FromFields, PutTheDescriptionFirstAndTheRestInReverse) {
    EXPECT_EQ(statementFromFields(QStringLiteral("V_X"), GetParam().fields, 1000).sql, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Views, FromFields,
    ::testing::Values(
        FieldsCase{"bookkeeping_left_out",
                   {"id", "Codigo", "Nombre", "FechaHora_Modificacion"},
                   QStringLiteral("SELECT TOP 1000 Nombre,Codigo FROM V_X ORDER BY Nombre")},
        FieldsCase{"first_field_orders_without_a_description",
                   {"CODIGO", "ZONA", "PRECIO"},
                   QStringLiteral("SELECT TOP 1000 PRECIO,ZONA,CODIGO FROM V_X ORDER BY CODIGO")},
        FieldsCase{"last_description_orders",
                   {"DESCRIPCION", "CODIGO", "DETALLE"},
                   QStringLiteral("SELECT TOP 1000 DETALLE,CODIGO,DESCRIPCION FROM V_X ORDER BY DETALLE")},
        FieldsCase{"no_fields_read", {}, QStringLiteral("SELECT TOP 1000  *  FROM V_X ORDER BY ")},
        FieldsCase{"only_bookkeeping",
                   {"ID", "FECHAHORA_GRABACION"},
                   QStringLiteral("SELECT TOP 1000  *  FROM V_X ORDER BY ")}),
    test::CaseName());

TEST_F(LookupQuery, ViewThatCannotBeOpenedIsReportedAndGivesTheBareStatement) {
    EXPECT_EQ(lookup().ArmarSentencia(QStringLiteral("V_NO_EXISTE")).sql,
              QStringLiteral("SELECT TOP 1000  *  FROM V_NO_EXISTE ORDER BY "));
    EXPECT_EQ(o.person.shownOf(QStringLiteral("error")).size(), 1);
}

TEST_F(LookupQuery, WithoutTheMapEveryStatementComesFromTheFields) {
    lookup().gUsarMascarasConsultas = false;
    EXPECT_EQ(lookup().ArmarSentencia(QStringLiteral("VT_CLIENTES")).sql,
              QStringLiteral("SELECT TOP 1000 Dada_De_Baja,CONTACTO,CODIGO,RAZON_SOCIAL FROM VT_CLIENTES "
                             "ORDER BY RAZON_SOCIAL"));
}

struct MapCase {
    std::string name;
    LookupMapRecord record;
    QString expected;
};

class MapRecords : public LookupQuery, public ::testing::WithParamInterface<MapCase> {};

TEST_P(MapRecords, GiveTheirStatement) {
    writeMap(erp.mapPath(),
             {{QStringLiteral("OTRA"), QStringLiteral("V_TA_ZONAS"), QStringLiteral("|NOMBRE|ID|"), {}},
              GetParam().record});
    EXPECT_EQ(lookup().ArmarSentencia(QStringLiteral("VT_CLIENTES")).sql, GetParam().expected);
}

const QChar Nul(0), Filler(255);

INSTANTIATE_TEST_SUITE_P(
    Records, MapRecords,
    ::testing::Values(
        MapCase{"extra_condition_replaces_the_default",
                {QStringLiteral("C"), QStringLiteral("VT_CLIENTES"), QStringLiteral("|RAZON_SOCIAL|CODIGO|"),
                 QStringLiteral("CODIGO <> 'C003'")},
                QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL,CODIGO FROM VT_CLIENTES WHERE CODIGO <> 'C003' "
                               "ORDER BY RAZON_SOCIAL")},
        MapCase{"fill_codes_in_source_and_extra_are_ignored",
                {QStringLiteral("C"), QStringLiteral("vt_clientes") + Nul + Filler,
                 QStringLiteral("|CODIGO|RAZON_SOCIAL|"),
                 QString(Filler) + QStringLiteral(" CODIGO > 'C002' ") + Nul},
                QStringLiteral("SELECT TOP 1000 CODIGO,RAZON_SOCIAL FROM vt_clientes WHERE CODIGO > 'C002' "
                               "ORDER BY CODIGO")},
        MapCase{"columns_without_bars",
                {QStringLiteral("C"), QStringLiteral("VT_CLIENTES"), QStringLiteral("CODIGO|CONTACTO"), {}},
                QStringLiteral("SELECT TOP 1000 CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = 0 "
                               "ORDER BY CODIGO")}),
    test::CaseName());

TEST_F(LookupQuery, SuppliersGetTheDefaultFilterToo) {
    writeMap(erp.mapPath(), {{QStringLiteral("P"),
                              QStringLiteral("Vt_Proveedores"),
                              QStringLiteral("|RAZON_SOCIAL|CODIGO|"),
                              {}}});
    EXPECT_EQ(lookup().ArmarSentencia(QStringLiteral("VT_PROVEEDORES")).sql,
              QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL,CODIGO FROM Vt_Proveedores WHERE Dada_De_Baja = 0 "
                             "ORDER BY RAZON_SOCIAL"));
}

TEST_F(LookupQuery, SingleColumnAsksForConfigurationAndKeepsTheLastResult) {
    EXPECT_EQ(lookup().Valores, QStringList()) << "before any lookup";
    o.person.onListLookup(tickAndAccept({0, 1}));
    lookup().CampoDevuelto = QStringLiteral("CODIGO");
    lookup().Checks = true;
    lookup().ConsultaSearch(QStringLiteral("VT_CLIENTES"));
    ASSERT_EQ(lookup().Valores, QStringList({QStringLiteral("C006"), QStringLiteral("C001")}));

    writeMap(erp.mapPath(),
             {{QStringLiteral("C"), QStringLiteral("VT_CLIENTES"), QStringLiteral("|RAZON_SOCIAL|"), {}}});
    o.person.clear();
    lookup().ConsultaSearch(QStringLiteral("VT_CLIENTES"));
    ASSERT_EQ(o.person.shown().size(), 1) << "a message and no list";
    EXPECT_EQ(o.person.messages().first(),
              QStringLiteral("Aviso al operador: Debe configurar la consulta para esta tabla"));
    EXPECT_EQ(o.person.shown().first().style, 64);
    EXPECT_EQ(lookup().Valores, QStringList({QStringLiteral("C006"), QStringLiteral("C001")}));
}

TEST_F(LookupQuery, MapDeletedGivesTheBareNameSortedByTheList) {
    QFile::remove(erp.mapPath());
    bool ordenar = false;
    QStringList firstColumn;
    o.person.onListLookup([&](LookupSession& s) {
        ordenar = s.OrdenarPorLwv;
        for (int r = 0; r < s.rowCount(); ++r)
            firstColumn << s.cell(r, 0);
    });
    lookup().ConsultaSearch(QStringLiteral("VT_CLIENTES"));
    EXPECT_EQ(shownStatement(), QStringLiteral("VT_CLIENTES"));
    EXPECT_TRUE(ordenar);
    EXPECT_EQ(firstColumn, QStringList({"Arbol Verde", "Baja SRL", "Garcia Hnos", "Gardel SA", "Lopez y Cia",
                                        "O'Hara Ltda"}));
}

// The map file cut to a length that is not a whole number of records: the whole records still
// count, a lookup whose record was lost says so and shows the view's columns, and the file is
// never rewritten.
struct CutCase {
    std::string name;
    qint64 length;
    bool clientsLost;
};

class CutMap : public LookupQuery, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutMap, KeepsTheWholeRecordsAndSaysWhenTheOneAskedForIsLost) {
    ASSERT_TRUE(QFile::resize(erp.mapPath(), GetParam().length));
    QFile file(erp.mapPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    int rows = 0;
    o.person.onListLookup([&](LookupSession& s) { rows = s.rowCount(); });
    lookup().ConsultaSearch(QStringLiteral("VT_CLIENTES"));
    EXPECT_GT(rows, 0);
    EXPECT_TRUE(o.person.shownOf(QStringLiteral("error")).isEmpty());
    const QString fromView = QStringLiteral("SELECT TOP 1000 Dada_De_Baja,CONTACTO,CODIGO,RAZON_SOCIAL FROM "
                                            "VT_CLIENTES ORDER BY RAZON_SOCIAL");
    EXPECT_EQ(shownStatement(), GetParam().clientsLost ? fromView : Clients);
    const auto messages = o.person.shownOf(QStringLiteral("message"));
    ASSERT_EQ(messages.size(), GetParam().clientsLost ? 1 : 0);
    if (GetParam().clientsLost) {
        EXPECT_EQ(messages.first().text,
                  QStringLiteral("El archivo de consultas %1 está cortado: su último registro está incompleto "
                                 "y no se leyó. La consulta de VT_CLIENTES muestra las columnas de la vista.")
                      .arg(erp.mapPath()));
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CutMap,
                         ::testing::Values(CutCase{"inside_the_clients_record", 1202 + 600, true},
                                           CutCase{"inside_the_first_record", 1201, true},
                                           CutCase{"after_the_clients_record", 1202 * 2 + 1, false},
                                           CutCase{"one_byte_short_of_the_end", 1202 * 8 - 1, false}),
                         test::CaseName());

struct ResultCase {
    std::string name;
    std::function<void(LookupSession&)> person;
    std::optional<QStringList> expected;
};

class Results : public LookupQuery, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(Results, AreHandedBackAndTheRequestIsReset) {
    if (GetParam().person) o.person.onListLookup(GetParam().person);
    lookup().CampoDevuelto = QStringLiteral("CODIGO");
    lookup().Checks = true;
    lookup().ConsultaSearch(QStringLiteral("VT_CLIENTES"));
    EXPECT_EQ(lookup().Valores, GetParam().expected);
    EXPECT_TRUE(lookup().CampoDevuelto.isEmpty());
    EXPECT_FALSE(lookup().Checks);
}

INSTANTIATE_TEST_SUITE_P(Endings, Results,
                         ::testing::Values(ResultCase{"cancelled", [](LookupSession& s) { s.cancel(); },
                                                      std::nullopt},
                                           ResultCase{"left_without_an_answer", nullptr, std::nullopt},
                                           ResultCase{"accepted_with_nothing_ticked",
                                                      [](LookupSession& s) { s.accept(); }, QStringList()},
                                           ResultCase{"closed_with_the_window_box",
                                                      [](LookupSession& s) {
                                                          s.setTicked(1, true);
                                                          s.closeBox();
                                                      },
                                                      QStringList()},
                                           ResultCase{"three_ticked_in_list_order", tickAndAccept({3, 0, 1}),
                                                      QStringList({"C006", "C001", "C003"})}),
                         test::CaseName());

TEST_F(LookupQuery, CreationReadsTheDisplayOptions) {
    erp.setConfig(QStringLiteral("UsaConsultaLike"), QStringLiteral("si"));
    erp.setConfig(QStringLiteral("Stk_Nivel1"), QString());
    erp.setConfig(QStringLiteral("Stk_Nivel2"), QStringLiteral("3"));
    erp.setConfig(QStringLiteral("MostrarStockenConsultas"), QStringLiteral("NO"));
    EXPECT_TRUE(lookup().usaConsultaLike());
    EXPECT_EQ(lookup().StkNivel1, QVariant(0)) << "an empty value becomes 0";
    EXPECT_EQ(lookup().StkNivel2, QVariant(QStringLiteral("3")));
    EXPECT_EQ(lookup().StkNivel3, QVariant(QStringLiteral(" "))) << "a missing key is one blank";
    EXPECT_EQ(lookup().MuestraStock, QStringLiteral("NO"));
    EXPECT_EQ(lookup().gRutaMascaraConsultas, erp.mapPath());
    bool like = false;
    o.person.onListLookup([&](LookupSession& s) { like = s.CfgUsaConsultaLIKE; });
    lookup().ConsultaSearch(QStringLiteral("V_TA_VENDEDORES"));
    EXPECT_TRUE(like);
}

} // namespace

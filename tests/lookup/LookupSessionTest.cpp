#include "lookup/LookupSession.h"

#include "CaseName.h"
#include "lookup/LookupLayout.h"
#include "LookupErp.h"
#include "ScriptedOperator.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace kv;

namespace {

const QString Clients = QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE "
                                       "Dada_De_Baja = 0 ORDER BY RAZON_SOCIAL");
const QString Vendors =
    QStringLiteral("SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE");

QStringList column(const LookupSession& s, int c) {
    QStringList values;
    for (int r = 0; r < s.rowCount(); ++r)
        values << s.cell(r, c);
    return values;
}

class Session : public ::testing::Test {
protected:
    test::LookupErp erp;
    test::ScopedOperator o;
    LookupSession s;
    void open(const QString& sql, const QString& campo = QStringLiteral("CODIGO"), bool like = false) {
        s.SQL = sql;
        s.CampoDevuelto = campo;
        s.CheckBoxes = true;
        s.CfgUsaConsultaLIKE = like;
        s.OrdenarPorLwv = !sql.contains(QStringLiteral("ORDER BY"), Qt::CaseInsensitive);
        s.load();
    }
};

TEST_F(Session, LoadsColumnsAndRows) {
    open(Clients);
    ASSERT_EQ(s.columns().size(), 3);
    EXPECT_EQ(s.columns().at(0).name, QStringLiteral("RAZON_SOCIAL"));
    EXPECT_EQ(s.columns().at(0).letters, 60) << "a field of 200 characters is 60 X wide";
    EXPECT_EQ(s.columns().at(1).letters, 15);
    EXPECT_EQ(column(s, 1), QStringList({"C006", "C001", "C002", "C003", "C004"}));
    EXPECT_EQ(s.tickedCount(), 0);
    EXPECT_EQ(s.searchBoxCount(), 3);
    EXPECT_EQ(s.searchField(2), QStringLiteral("CONTACTO"));
    EXPECT_EQ(s.tableName(), QStringLiteral("VT_CLIENTES"));
    EXPECT_EQ(s.startingStatement(), Clients + QLatin1Char(' '));
    EXPECT_TRUE(o.person.shown().isEmpty());
}

TEST_F(Session, RowTextIsTrimmedAndSubItemsAreNot) {
    erp.setConfig(QStringLiteral("  clave  "), QStringLiteral("  valor  "));
    open(QStringLiteral("SELECT CLAVE, VALOR FROM ta_configuracion"), QStringLiteral("VALOR"));
    ASSERT_EQ(s.rowCount(), 1);
    EXPECT_EQ(s.cell(0, 0), QStringLiteral("clave"));
    EXPECT_EQ(s.cell(0, 1), QStringLiteral("  valor  "));
}

TEST_F(Session, EveryRowStartsTickedWhenTheReturnedColumnIsNotShown) {
    open(Vendors, QStringLiteral("CODIGO"));
    EXPECT_EQ(s.tickedCount(), 4);
    s.accept();
    EXPECT_EQ(s.Valores, QStringList({"", "", "", ""})) << "no such heading: empty values";
}

struct SearchCase {
    std::string name;
    bool vendors;
    bool like;
    int box;
    QString typed;
    QString expected;
    QStringList codes; // the rows the new statement brings
};

class F5Search : public Session, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(F5Search, BuildsTheStatementAndRunsIt) {
    const auto& c = GetParam();
    open(c.vendors ? Vendors : Clients, c.vendors ? QStringLiteral("IDVENDEDOR") : QStringLiteral("CODIGO"),
         c.like);
    s.setTicked(0, true);
    s.setSearchText(c.box, c.typed);
    EXPECT_TRUE(s.searchBoxKey(c.box, vk::F5));
    EXPECT_EQ(s.lastSearchStatement(), c.expected);
    EXPECT_EQ(column(s, 1), c.codes);
    EXPECT_EQ(s.searchText(c.box), QString()) << "the box is emptied";
    EXPECT_EQ(s.tickedCount(), 0) << "ticks are lost";
    EXPECT_TRUE(o.person.shown().isEmpty()) << o.person.messages().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Searches, F5Search,
    ::testing::Values(
        SearchCase{"clients_like_off",
                   false,
                   false,
                   0,
                   QStringLiteral("gar"),
                   QStringLiteral(
                       "SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = 0 "
                       " and RAZON_SOCIAL like 'gar%' ORDER BY RAZON_SOCIAL "),
                   {"C001", "C002"}},
        SearchCase{
            "vendors_like_on",
            true,
            true,
            0,
            QStringLiteral("ju"),
            QStringLiteral("SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES  where NOMBRE like '%ju%' "
                           "ORDER BY NOMBRE "),
            {"V04", "V01", "V02"}},
        SearchCase{"star_becomes_percent",
                   false,
                   false,
                   0,
                   QStringLiteral("a*b"),
                   QStringLiteral(
                       "SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = 0 "
                       " and RAZON_SOCIAL like 'a%b%' ORDER BY RAZON_SOCIAL "),
                   {"C006"}},
        SearchCase{"apostrophe_stays_in_the_literal",
                   false,
                   false,
                   0,
                   QStringLiteral("o'h"),
                   QStringLiteral(
                       "SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = 0 "
                       " and RAZON_SOCIAL like 'o''h%' ORDER BY RAZON_SOCIAL "),
                   {"C004"}},
        SearchCase{"other_column",
                   false,
                   true,
                   1,
                   QStringLiteral("00"),
                   QStringLiteral(
                       "SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = 0 "
                       " and CODIGO like '%00%' ORDER BY RAZON_SOCIAL "),
                   {"C006", "C001", "C002", "C003", "C004"}}),
    test::CaseName());

TEST_F(Session, SecondSearchAddsItsConditionAndNuevaBusquedaStartsOver) {
    open(Clients);
    s.setSearchText(0, QStringLiteral("gar"));
    s.nuevaBusquedaEnCaja(0);
    s.setSearchText(1, QStringLiteral("c002"));
    s.nuevaBusquedaEnCaja(1);
    EXPECT_EQ(
        s.lastSearchStatement(),
        QStringLiteral("SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = 0 "
                       " and RAZON_SOCIAL like 'gar%'  and CODIGO like 'c002%' ORDER BY RAZON_SOCIAL  "));
    EXPECT_EQ(column(s, 1), QStringList({"C002"}));

    QSignalSpy focus(&s, &LookupSession::focusSearchBoxRequested);
    s.focusSearchBox(2);
    s.nuevaBusqueda();
    EXPECT_EQ(column(s, 1), QStringList({"C006", "C001", "C002", "C003", "C004"}));
    EXPECT_EQ(s.currentSearchBox(), 0);
    ASSERT_EQ(focus.size(), 1);
    EXPECT_EQ(focus.first().first().toInt(), 0);
}

TEST_F(Session, StarIsShownReplacedOnlyWithLikeOff) {
    const QString sql = QStringLiteral("SELECT A FROM T ORDER BY A ");
    QString shown;
    EXPECT_EQ(
        LookupSession::searchStatement(sql, sql, QStringLiteral("A"), QStringLiteral("x*y"), false, &shown),
        QStringLiteral("SELECT A FROM T  where A like 'x%y%' ORDER BY A "));
    EXPECT_EQ(shown, QStringLiteral("x%y"));
    EXPECT_EQ(
        LookupSession::searchStatement(sql, sql, QStringLiteral("A"), QStringLiteral("x*y"), true, &shown),
        QStringLiteral("SELECT A FROM T  where A like '%x*y%' ORDER BY A "));
    EXPECT_EQ(shown, QStringLiteral("x*y"));
}

TEST_F(Session, OrderWithoutByKeepsTheLoadedStatementAsBase) {
    const QString base = QStringLiteral("SELECT ORDEN FROM T ");
    EXPECT_EQ(LookupSession::searchStatement(QStringLiteral("SELECT ORDEN FROM T "), base,
                                             QStringLiteral("ORDEN"), QStringLiteral("1"), false),
              QStringLiteral("SELECT ORDEN FROM T  where ORDEN like '1%' "));
}

struct PositionCase {
    std::string name;
    int box;
    QString typed;
    int expectedRow; // after first selecting row 4
};

class Positioning : public Session, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(Positioning, SelectsTheFirstRowStartingWithTheText) {
    open(Clients);
    s.setSelectedRow(4);
    s.setSearchText(GetParam().box, GetParam().typed);
    EXPECT_EQ(s.selectedRow(), GetParam().expectedRow);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Positioning,
    ::testing::Values(PositionCase{"prefix", 0, QStringLiteral("gar"), 1},
                      PositionCase{"any_case", 0, QStringLiteral("GARD"), 2},
                      PositionCase{"typed_blanks_are_trimmed", 0, QStringLiteral(" lo "), 3},
                      PositionCase{"empty_matches_the_first", 0, QString(), 0},
                      PositionCase{"no_match_keeps_the_selection", 0, QStringLiteral("zz"), 4},
                      PositionCase{"middle_of_a_value_is_no_match", 0, QStringLiteral("hnos"), 4},
                      PositionCase{"second_column", 1, QStringLiteral("c003"), 3},
                      PositionCase{"third_column", 2, QStringLiteral("ana"), 1}),
    test::CaseName());

struct KeyCase {
    std::string name;
    int key;
    bool used;
    QString appended;
};

class ListKeys : public Session, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ListKeys, AppendTheirCharacterToTheCurrentBox) {
    open(Clients);
    s.focusSearchBox(1);
    s.setSearchText(1, QStringLiteral("c"));
    QSignalSpy focus(&s, &LookupSession::focusSearchBoxRequested);
    EXPECT_EQ(s.listKey(GetParam().key), GetParam().used);
    EXPECT_EQ(s.searchText(1), QStringLiteral("c") + GetParam().appended);
    EXPECT_EQ(focus.size(), GetParam().used ? 1 : 0);
    EXPECT_EQ(s.outcome(), LookupSession::Outcome::Open);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ListKeys,
    ::testing::Values(KeyCase{"letter_b_is_capital", vk::fromQtKey(Qt::Key_B, false), true, "B"},
                      KeyCase{"digit", vk::fromQtKey(Qt::Key_3, false), true, "3"},
                      KeyCase{"lowest_code", 47, true, "/"},
                      KeyCase{"highest_of_the_first_range", 93, true, "]"},
                      KeyCase{"number_pad_one_is_code_97", vk::fromQtKey(Qt::Key_1, true), true, "a"},
                      KeyCase{"highest_code", 125, true, "}"}, KeyCase{"between_the_ranges", 95, false, ""},
                      KeyCase{"above_the_ranges", 126, false, ""}, KeyCase{"arrow", vk::Down, false, ""},
                      KeyCase{"space_is_the_lists", vk::Space, false, ""}),
    test::CaseName());

TEST_F(Session, EnterInTheListAccepts) {
    open(Clients);
    s.setTicked(2, true);
    EXPECT_TRUE(s.listKey(vk::Return));
    EXPECT_EQ(s.outcome(), LookupSession::Outcome::Accepted);
    EXPECT_EQ(s.Valores, QStringList({"C002"}));
}

TEST_F(Session, ArrowsAndPagesInABoxSendTheFocusToTheList) {
    open(Clients);
    QSignalSpy list(&s, &LookupSession::focusListRequested);
    for (int key : {vk::Down, vk::Up, vk::PageDown, vk::PageUp})
        EXPECT_TRUE(s.searchBoxKey(0, key));
    EXPECT_FALSE(s.searchBoxKey(0, 'A'));
    EXPECT_EQ(list.size(), 4);
}

TEST_F(Session, AcceptFollowsTheListOrderAfterAHeadingClick) {
    open(Clients);
    for (int r : {0, 1, 3})
        s.setTicked(r, true); // Arbol C006, Garcia C001, Lopez C003
    s.clickHeading(1);        // by CODIGO, descending
    EXPECT_FALSE(s.sortAscending());
    EXPECT_EQ(column(s, 1), QStringList({"C006", "C004", "C003", "C002", "C001"}));
    s.accept();
    EXPECT_EQ(s.Valores, QStringList({"C006", "C003", "C001"}));
}

TEST_F(Session, EmptyReturnedColumnTakesTheFirstHeading) {
    open(Vendors, QStringLiteral("IDVENDEDOR"));
    s.CampoDevuelto.clear();
    s.setTicked(1, true);
    s.accept();
    EXPECT_EQ(s.CampoDevuelto, QStringLiteral("NOMBRE"));
    EXPECT_EQ(s.Valores, QStringList({"Juan Perez"}));
}

TEST_F(Session, ListSortedByItselfAlternatesOnEachHeadingClick) {
    open(QStringLiteral("V_TA_VENDEDORES"), QStringLiteral("IDVENDEDOR"));
    EXPECT_EQ(column(s, 1), QStringList({"V04", "V01", "V02", "V03"}));
    s.clickHeading(0);
    EXPECT_EQ(column(s, 1), QStringList({"V03", "V02", "V01", "V04"}));
    s.clickHeading(0);
    EXPECT_EQ(column(s, 1), QStringList({"V04", "V01", "V02", "V03"}));
}

TEST_F(Session, CancelGivesNothingAndTheCloseBoxAnEmptySelection) {
    open(Clients);
    s.setTicked(0, true);
    s.cancel();
    EXPECT_EQ(s.Valores, std::nullopt);
    EXPECT_EQ(s.ValorDevuelto, QVariant(QString()));

    LookupSession closed;
    closed.SQL = Clients;
    closed.CheckBoxes = true;
    closed.load();
    closed.setTicked(0, true);
    closed.closeBox();
    EXPECT_EQ(closed.outcome(), LookupSession::Outcome::Closed);
    EXPECT_EQ(closed.Valores, QStringList());
    EXPECT_EQ(closed.rowCount(), 0);
}

TEST_F(Session, StatementThatFailsIsReportedAndLeavesAnEmptyList) {
    open(QStringLiteral("SELECT NADA FROM NO_EXISTE"));
    EXPECT_EQ(s.rowCount(), 0);
    EXPECT_EQ(s.columns().size(), 0);
    const QStringList shown = o.person.messages();
    ASSERT_GE(shown.size(), 2) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(shown.last().startsWith(QStringLiteral("FORM_LOAD"))) << shown.last().toStdString();
}

struct TableNameCase {
    std::string name;
    QString sql;
    QString table;
};

class TableNames : public ::testing::TestWithParam<TableNameCase> {};

TEST_P(TableNames, AreTakenAfterTheFirstFrom) {
    EXPECT_EQ(LookupSession::tableNameOf(GetParam().sql), GetParam().table);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, TableNames,
    ::testing::Values(TableNameCase{"with_where", Clients + QLatin1Char(' '), QStringLiteral("VT_CLIENTES")},
                      TableNameCase{"small_letters", QStringLiteral("select * from v_ta_vendedores "),
                                    QStringLiteral("v_ta_vendedores")},
                      TableNameCase{"bare_name_loses_its_first_three_characters",
                                    QStringLiteral("VT_CLIENTES "), QStringLiteral("CLIENTES")}),
    test::CaseName());

struct WidthsCase {
    std::string name;
    QByteArray file;
    QList<std::optional<double>> widths;
};

class WidthsFile : public ::testing::TestWithParam<WidthsCase> {};

TEST_P(WidthsFile, SetsTheListedColumns) {
    test::TempHome home;
    const QString path = home.file(QStringLiteral("CONSULTASLEN.HXW"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(GetParam().file);
    f.close();
    EXPECT_EQ(readColumnWidths(path, QStringLiteral("VT_CLIENTES"), 3), GetParam().widths);
}

const std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Lines, WidthsFile,
    ::testing::Values(
        WidthsCase{"every_column", "VT_CLIENTES,3000|900|1200|\r\n", {3000.0, 900.0, 1200.0}},
        WidthsCase{"fewer_widths_leave_the_others", "VT_CLIENTES,1500|800|\n", {1500.0, 800.0, none}},
        WidthsCase{"quoted_fields_any_case", "\"vt_clientes\",\"1500,5|800|700|\"\n", {1500.5, 800.0, 700.0}},
        WidthsCase{"later_lines_override", "VT_CLIENTES,1|2|3|\nVT_CLIENTES,4|5|6|\n", {4.0, 5.0, 6.0}},
        WidthsCase{"line_without_bar_sets_nothing", "VT_CLIENTES,1500\n", {none, none, none}},
        WidthsCase{"broken_line_ends_the_reading", "VT_CLIENTES,7|\nVT_CLIENTES,1|2|3|\n", {7.0, none, none}},
        WidthsCase{"other_tables_are_not_read", "OTRA,sin barras\nVT_CLIENTES,1|2|3|\n", {1.0, 2.0, 3.0}},
        WidthsCase{"windows_1252_name", "CLIENTES\xd1,1|\nVT_CLIENTES,9|8|7|\n", {9.0, 8.0, 7.0}}),
    test::CaseName());

TEST(WidthsFile, UnreadableFileSetsNothing) {
    test::TempHome home;
    QDir(home.path()).mkdir(QStringLiteral("CONSULTASLEN.HXW"));
    EXPECT_EQ(
        readColumnWidths(home.file(QStringLiteral("CONSULTASLEN.HXW")), QStringLiteral("VT_CLIENTES"), 2),
        QList<std::optional<double>>({none, none}));
}

TEST_F(Session, LoadTakesTheSavedWidthsOfItsTable) {
    QFile f(erp.home.file(QStringLiteral("CONSULTASLEN.HXW")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("V_TA_VENDEDORES,2400|\n");
    f.close();
    open(Vendors, QStringLiteral("IDVENDEDOR"));
    ASSERT_EQ(s.columns().size(), 2);
    EXPECT_EQ(s.columns().at(0).savedWidth, 2400.0);
    EXPECT_EQ(s.columns().at(1).savedWidth, std::nullopt);
}

TEST(LookupSizes, FollowTheColumnsAndTheScreen) {
    const LookupSizes narrow = lookupSizes({1000, 2000.4}, 15000);
    EXPECT_EQ(narrow.boxLeft, QList<double>({0, 1000}));
    EXPECT_EQ(narrow.boxWidth, QList<double>({950, 1950.4}));
    EXPECT_DOUBLE_EQ(narrow.listWidth, 3360.4);
    EXPECT_DOUBLE_EQ(narrow.picFieldsWidth, 3360);
    EXPECT_EQ(narrow.hScrollMax, 2304); // (3360 + 480) x 0.6
    EXPECT_DOUBLE_EQ(narrow.formWidth, 3640.4);

    const LookupSizes wide = lookupSizes({40000}, 15000);
    EXPECT_EQ(wide.hScrollMax, 32700);
    EXPECT_DOUBLE_EQ(wide.formWidth, 14520);
}

// Widths as an edited file may give them: the scroll range is still an int, never undefined.
TEST(LookupSizes, HugeNegativeWidthsKeepTheScrollRangeAnInt) {
    EXPECT_EQ(lookupSizes({-1e11}, 15000).hScrollMax, std::numeric_limits<int>::min());
    EXPECT_EQ(lookupSizes({-1e300, -1e300}, 15000).hScrollMax, std::numeric_limits<int>::min());
    EXPECT_EQ(lookupSizes({1e300, 1e300}, 15000).hScrollMax, 32700);
    test::TempHome home;
    QFile f(home.file(QStringLiteral("CONSULTASLEN.HXW")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("VT_CLIENTES,-99999999999|\n");
    f.close();
    const auto read =
        readColumnWidths(home.file(QStringLiteral("CONSULTASLEN.HXW")), QStringLiteral("VT_CLIENTES"), 1);
    ASSERT_EQ(read, QList<std::optional<double>>{-99999999999.0});
    EXPECT_EQ(lookupSizes({*read.value(0)}, 15000).hScrollMax, std::numeric_limits<int>::min());
}

} // namespace

#include "app/TerminalOperator.h"
#include "CaseName.h"
#include "lookup/LookupSession.h"
#include "LookupErp.h"
#include "ScriptedOperator.h"

#include <gtest/gtest.h>
#include <QTextStream>

using namespace kv;

namespace {

struct TerminalCase {
    std::string name;
    QString typed;
    bool interactive;
    std::optional<QStringList> expected;
};

class TerminalLookup : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalLookup, TicksTheRowsNamedByNumber) {
    test::LookupErp erp;
    test::ScopedOperator o;
    LookupSession s;
    s.SQL = QStringLiteral("SELECT TOP 1000 NOMBRE,IDVENDEDOR FROM V_TA_VENDEDORES ORDER BY NOMBRE");
    s.CampoDevuelto = QStringLiteral("IdVendedor");
    s.CheckBoxes = true;
    s.load();

    QString printed;
    QString typed = GetParam().typed;
    QTextStream out(&printed);
    QTextStream in(&typed);
    TerminalOperator terminal(out, in, GetParam().interactive);
    terminal.listLookup(s);
    EXPECT_EQ(s.Valores, GetParam().expected);
    if (GetParam().interactive) {
        EXPECT_TRUE(printed.contains(QStringLiteral(" 1. Ana Juarez | V04\n"))) << printed.toStdString();
        EXPECT_TRUE(printed.contains(QStringLiteral(" 4. Pedro Ruiz | V03\n")));
    } else {
        EXPECT_TRUE(printed.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TerminalLookup,
    ::testing::Values(TerminalCase{"numbers_in_list_order", "3, 1\n", true, QStringList({"V04", "V02"})},
                      TerminalCase{"all", "A\n", true, QStringList({"V04", "V01", "V02", "V03"})},
                      TerminalCase{"empty_accepts_none", "\n", true, QStringList()},
                      TerminalCase{"q_cancels", "q\n", true, std::nullopt},
                      TerminalCase{"wrong_number_asks_again", "9\n2\n", true, QStringList({"V01"})},
                      TerminalCase{"end_of_input_cancels", "x\n", true, std::nullopt},
                      TerminalCase{"no_terminal_cancels", "1\n", false, std::nullopt}),
    test::CaseName());

} // namespace

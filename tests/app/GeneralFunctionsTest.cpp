#include "app/GeneralFunctions.h"

#include "CaseName.h"

#include <gtest/gtest.h>
#include <limits>

using namespace kv;

namespace {

struct WidthCase {
    const char* name;
    QString text;
    int width;
    QString expected;
};

class CodigoAnchoFits : public ::testing::TestWithParam<WidthCase> {};

TEST_P(CodigoAnchoFits, PadsOrCuts) {
    const WidthCase& c = GetParam();
    EXPECT_EQ(CodigoAncho(c.text, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(GeneralFunctions, CodigoAnchoFits,
                         ::testing::Values(WidthCase{"short_is_padded_right", "OT", 4, "OT  "},
                                           WidthCase{"long_is_cut", "ARTICULO-LARGO", 8, "ARTICULO"},
                                           WidthCase{"exact_width_unchanged", "ABCD", 4, "ABCD"},
                                           WidthCase{"empty_becomes_blanks", "", 3, "   "},
                                           WidthCase{"zero_width_is_empty", "ABC", 0, ""},
                                           WidthCase{"blanks_kept_when_cut", " A B ", 3, " A "},
                                           WidthCase{"no_width_leaves_text", "  x  ", -1, "  x  "},
                                           WidthCase{"non_ascii_counts_one_each", "ÑANDÚ", 6, "ÑANDÚ "}),
                         test::CaseName());

TEST(GeneralFunctions, CodigoAnchoWithoutWidthArgumentLeavesText) {
    EXPECT_EQ(CodigoAncho(QStringLiteral(" 12 ")), QStringLiteral(" 12 "));
}

struct IntegerCase {
    const char* name;
    QString text;
    qint32 expected;
};

class ValorEnteroReads : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ValorEnteroReads, LeadingNumber) {
    const IntegerCase& c = GetParam();
    EXPECT_EQ(ValorEntero(c.text), c.expected);
}

constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();

INSTANTIATE_TEST_SUITE_P(
    GeneralFunctions, ValorEnteroReads,
    ::testing::Values(
        IntegerCase{"empty", "", 0}, IntegerCase{"blanks", "   ", 0}, IntegerCase{"no_number", "abc", 0},
        IntegerCase{"surrounding_blanks", "  42  ", 42}, IntegerCase{"leading_number_only", "12abc", 12},
        IntegerCase{"plus_sign", "+5", 5}, IntegerCase{"negative", "-17", -17},
        IntegerCase{"half_to_even_down", "2.5", 2}, IntegerCase{"half_to_even_up", "3.5", 4},
        IntegerCase{"negative_half_to_even", "-2.5", -2}, IntegerCase{"above_half_rounds_up", "2.51", 3},
        IntegerCase{"comma_is_not_decimal", "7,9", 7}, IntegerCase{"exponent", "1e3", 1000},
        IntegerCase{"largest", "2147483647", kMax}, IntegerCase{"smallest", "-2147483648", kMin},
        IntegerCase{"overflow_clamps_high", "2147483648", kMax},
        IntegerCase{"overflow_clamps_low", "-99999999999", kMin},
        IntegerCase{"huge_exponent_clamps_high", "1e999", kMax},
        IntegerCase{"huge_exponent_clamps_low", "-1e999", kMin}),
    test::CaseName());

struct AmountCase {
    const char* name;
    QString text;
    double expected;
};

class ValorMonedaReads : public ::testing::TestWithParam<AmountCase> {};

TEST_P(ValorMonedaReads, EitherDecimalSeparator) {
    const AmountCase& c = GetParam();
    EXPECT_DOUBLE_EQ(ValorMoneda(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(GeneralFunctions, ValorMonedaReads,
                         ::testing::Values(AmountCase{"blank", "  ", 0.0}, AmountCase{"comma", "12,5", 12.5},
                                           AmountCase{"point", "12.5", 12.5},
                                           AmountCase{"negative_comma", "-3,25", -3.25},
                                           AmountCase{"integer_with_blanks", " 1500 ", 1500.0},
                                           AmountCase{"grouped_comma_decimal", "1.234,56", 1234.56},
                                           AmountCase{"grouped_point_decimal", "1,234.56", 1234.56},
                                           AmountCase{"grouping_only", "1.234.567", 1234567.0},
                                           AmountCase{"separators_after_number_ignored", "12,5|3.75|", 12.5},
                                           AmountCase{"trailing_text", "45,5|", 45.5}),
                         test::CaseName());

TEST(GeneralFunctions, ValorNoNuloMakesNullEmptyAndKeepsTheRest) {
    const QVariant nulls[] = {QVariant(), QVariant(QMetaType::fromType<QString>()),
                              QVariant(QMetaType::fromType<int>()), QVariant(QMetaType::fromType<double>())};
    for (const QVariant& v : nulls) {
        const QVariant r = ValorNoNulo(v);
        EXPECT_EQ(r.typeId(), QMetaType::QString) << v.typeName();
        EXPECT_FALSE(r.isNull()) << v.typeName();
        EXPECT_EQ(r.toString(), QString()) << v.typeName();
        EXPECT_EQ(TextoNoNulo(v), QString()) << v.typeName();
    }
    const QVariant values[] = {QVariant(0),
                               QVariant(0.0),
                               QVariant(false),
                               QVariant(QStringLiteral("")),
                               QVariant(QStringLiteral("  x ")),
                               QVariant(qint64(-5))};
    for (const QVariant& v : values) {
        const QVariant r = ValorNoNulo(v);
        EXPECT_EQ(r.typeId(), v.typeId()) << v.typeName();
        EXPECT_EQ(r, v) << v.typeName();
    }
    EXPECT_EQ(TextoNoNulo(QVariant(0)), QStringLiteral("0"));
}

struct TextCase {
    const char* name;
    QString text;
    QString a, b, c; // the characters passed
    QString expected;
};

class QuitarCaracteresRemoves : public ::testing::TestWithParam<TextCase> {};

TEST_P(QuitarCaracteresRemoves, EveryOccurrence) {
    const TextCase& t = GetParam();
    EXPECT_EQ(QuitarCaracteres(t.text, t.a, t.b, t.c), t.expected);
}

INSTANTIATE_TEST_SUITE_P(GeneralFunctions, QuitarCaracteresRemoves,
                         ::testing::Values(TextCase{"one_char", "@SERVIDOR==X", "=", "", "", "@SERVIDORX"},
                                           TextCase{"three_chars", "a-b.c/d-e", "-", ".", "/", "abcde"},
                                           TextCase{"empty_args_skipped", "a b", "", "", "", "a b"},
                                           TextCase{"control_codes", QStringLiteral("V_MA\u0000\u00FF "),
                                                    QString(QChar(0)), QString(QChar(0xFF)), "", "V_MA "},
                                           TextCase{"nothing_to_remove", "abc", "x", "y", "z", "abc"}),
                         test::CaseName());

class CambiarCaracterReplaces : public ::testing::TestWithParam<TextCase> {};

TEST_P(CambiarCaracterReplaces, EveryOccurrence) {
    const TextCase& t = GetParam();
    EXPECT_EQ(CambiarCaracter(t.text, t.a, t.b), t.expected);
}

INSTANTIATE_TEST_SUITE_P(GeneralFunctions, CambiarCaracterReplaces,
                         ::testing::Values(TextCase{"pipes_to_commas", "|COD|NOMBRE|", "|", ",", "",
                                                    ",COD,NOMBRE,"},
                                           TextCase{"stars_to_percent", "A*B*", "*", "%", "", "A%B%"},
                                           TextCase{"absent_char", "ABC", "*", "%", "", "ABC"},
                                           TextCase{"empty_find_unchanged", "ABC", "", "%", "", "ABC"},
                                           TextCase{"empty_replacement_removes", "A*B", "*", "", "", "AB"}),
                         test::CaseName());

struct CountCase {
    const char* name;
    QString text;
    int expected;
};

class ContarPalabrasCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(ContarPalabrasCounts, BlankSeparatedWords) {
    EXPECT_EQ(ContarPalabras(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(GeneralFunctions, ContarPalabrasCounts,
                         ::testing::Values(CountCase{"empty", "", 0}, CountCase{"blanks", "   ", 0},
                                           CountCase{"one", "uno", 1},
                                           CountCase{"runs_of_blanks", "  uno  dos   tres ", 3},
                                           CountCase{"tabs_and_breaks", "uno\tdos\r\ntres", 3}),
                         test::CaseName());

struct FieldCase {
    const char* name;
    QString key;
    int missing;
    int expected;
};

class BuscarCampoFinds : public ::testing::TestWithParam<FieldCase> {};

TEST_P(BuscarCampoFinds, ByKeyName) {
    const QStringList fields = {QStringLiteral("NOMBRE"), QStringLiteral("SERVIDOR"),
                                QStringLiteral(" CONTRASEÑA "), QStringLiteral("servidor")};
    const FieldCase& c = GetParam();
    EXPECT_EQ(BuscarCampo(c.key, fields, c.missing), c.expected);
}

INSTANTIATE_TEST_SUITE_P(GeneralFunctions, BuscarCampoFinds,
                         ::testing::Values(FieldCase{"exact", "NOMBRE", -1, 0},
                                           FieldCase{"any_case_first_wins", "Servidor", -1, 1},
                                           FieldCase{"trimmed_non_ascii", "contraseña ", -1, 2},
                                           FieldCase{"missing_default", "USUARIO", -1, -1},
                                           FieldCase{"missing_given", "USUARIO", 99, 99},
                                           FieldCase{"prefix_is_no_match", "NOM", -1, -1}),
                         test::CaseName());

} // namespace

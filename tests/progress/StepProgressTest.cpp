#include "progress/StepProgress.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace kv;

namespace {

const QStringList kSteps{"PRE_EXPORTACION", "TA_BANCOS", "TA_CATEGORIAS", "TA_RUBROS", "TA_TAREAS",
                         "TA_TIPOS", "TA_UNIDAD", "TA_USUARIOS", "TA_VENDEDOR", "MA_ARTICULOS",
                         "MA_CLIENTES", "MA_PRECIOS", "TA_ZONAS"};

void addAll(StepProgress& p) {
    for (const QString& s : kSteps) p.AgregarPaso(s);
}

struct PercentCase {
    int position;
    const char* label;
};

class Percentages : public ::testing::TestWithParam<PercentCase> {};

TEST_P(Percentages, BarMeasuredAgainstThirteenSteps) {
    StepProgress p;
    addAll(p);
    p.StatusPaso(kSteps[GetParam().position - 1], 4);
    EXPECT_EQ(p.progressLabel().toStdString(), GetParam().label);
    EXPECT_NEAR(p.percentage(), GetParam().position * 100.0 / 13, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Lines, Percentages,
                         ::testing::Values(PercentCase{1, " 8%"}, PercentCase{2, " 15%"}, PercentCase{7, " 54%"},
                                           PercentCase{13, " 100%"}));

TEST(StepProgress, StatesChangeTextAndOnlyFinishingMovesTheBar) {
    StepProgress p;
    addAll(p);
    QSignalSpy bar(&p, &StepProgress::progressChanged);
    p.StatusPaso(QStringLiteral("TA_RUBROS"), 2);
    EXPECT_EQ(p.lines()[3].stateText, QStringLiteral("En Ejecución"));
    EXPECT_EQ(p.lines()[3].state, 2);
    EXPECT_EQ(bar.count(), 0);
    p.StatusPaso(QStringLiteral("TA_RUBROS"), 5);
    EXPECT_EQ(p.lines()[3].stateText, QStringLiteral("Error"));
    p.StatusPaso(QStringLiteral("TA_RUBROS"), 9); // unknown code: icon changes, text stays
    EXPECT_EQ(p.lines()[3].stateText, QStringLiteral("Error"));
    p.StatusPaso(QStringLiteral("ta_rubros"), 4); // the description must match exactly
    EXPECT_EQ(bar.count(), 0);
    EXPECT_EQ(p.percentage(), 0.0);
    EXPECT_EQ(p.progressLabel(), QStringLiteral(" %"));
}

TEST(StepProgress, SecondRunRebuildsTheListAndKeepsTheOldBar) {
    StepProgress p;
    addAll(p);
    p.StatusPaso(QStringLiteral("TA_ZONAS"), 4);
    p.StatusPaso(QStringLiteral("MA_PRECIOS"), 5);
    QSignalSpy cleared(&p, &StepProgress::cleared);
    addAll(p); // "PRE_EXPORTACION" is taken: the list empties and the new lines follow
    EXPECT_EQ(cleared.count(), 1);
    ASSERT_EQ(p.lines().size(), 13);
    for (const auto& l : p.lines()) EXPECT_EQ(l.stateText, QStringLiteral("En Espera"));
    EXPECT_EQ(p.progressLabel(), QStringLiteral(" 100%"));
}

TEST(StepProgress, PercentageUsesASixteenBitProduct) {
    EXPECT_NEAR(StepProgress::percentageFor(13), 100.0, 1e-9);
    // 328 * 100 = 32800 does not fit in 16 bits: it wraps as the window's arithmetic did.
    EXPECT_NEAR(StepProgress::percentageFor(328), -32736.0 / 13, 1e-9);
}

} // namespace

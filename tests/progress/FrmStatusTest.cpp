#include "progress/StepProgress.h"
#include "progress/gui/FrmStatus.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace kv;

namespace {

const QStringList kSteps{"PRE_EXPORTACION", "TA_BANCOS", "TA_CATEGORIAS", "TA_RUBROS",   "TA_TAREAS",
                         "TA_TIPOS",        "TA_UNIDAD", "TA_USUARIOS",   "TA_VENDEDOR", "MA_ARTICULOS",
                         "MA_CLIENTES",     "MA_PRECIOS", "TA_ZONAS"};

class FrmStatusWindow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const QString& s : kSteps) model.AgregarPaso(s);
        window.show();
        list = window.findChild<QTreeWidget*>(QStringLiteral("Lvw1"));
        bar = window.findChild<ProgressPicture*>(QStringLiteral("picProgreso"));
        ASSERT_NE(list, nullptr);
        ASSERT_NE(bar, nullptr);
    }
    QStringList column(int c) const {
        QStringList s;
        for (int i = 0; i < list->topLevelItemCount(); ++i) s << list->topLevelItem(i)->text(c);
        return s;
    }
    qint64 iconKey(int line) const { return list->topLevelItem(line)->icon(0).cacheKey(); }

    StepProgress model;
    FrmStatus window{model};
    QTreeWidget* list = nullptr;
    ProgressPicture* bar = nullptr;
};

TEST_F(FrmStatusWindow, ListsTheStepsWaitingUnderItsThreeColumns) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Procesando ..."));
    EXPECT_EQ(list->headerItem()->text(0), QString());
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Paso"));
    EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("Estado"));
    EXPECT_EQ(list->columnWidth(0), 500 / 15);
    EXPECT_EQ(list->columnWidth(1), 2500 / 15);
    auto* caption = window.findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("Progreso"));
    EXPECT_EQ(column(1), kSteps);
    EXPECT_EQ(column(2), QStringList(13, QStringLiteral("En Espera")));
    EXPECT_EQ(column(0), QStringList(13, QString())) << "the first column shows only the icon";
    EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull());
}

TEST_F(FrmStatusWindow, EachStateHasItsTextAndIconAndOnlyFinishingMovesTheBar) {
    const qint64 waiting = iconKey(0);
    model.StatusPaso(QStringLiteral("PRE_EXPORTACION"), 2);
    EXPECT_EQ(column(2).at(0), QStringLiteral("En Ejecución"));
    EXPECT_NE(iconKey(0), waiting);
    EXPECT_EQ(bar->label(), QString()) << "a running step does not move the bar";
    EXPECT_EQ(bar->percentage(), 0.0);

    model.StatusPaso(QStringLiteral("PRE_EXPORTACION"), 4);
    EXPECT_EQ(column(2).at(0), QStringLiteral("Finalizado"));
    EXPECT_EQ(bar->label(), QStringLiteral(" 8%"));

    const int states[] = {1, 2, 3, 4, 5};
    QSet<qint64> icons;
    for (int s : states) {
        model.StatusPaso(QStringLiteral("TA_RUBROS"), s);
        EXPECT_EQ(column(2).at(3), StepProgress::stateText(s));
        icons << iconKey(3);
    }
    EXPECT_EQ(icons.size(), 5) << "one icon per state";
    EXPECT_EQ(bar->label(), QStringLiteral(" 31%")) << "the fourth line finished last";

    model.StatusPaso(QStringLiteral("TA_ZONAS"), 4);
    EXPECT_EQ(bar->label(), QStringLiteral(" 100%"));
    model.StatusPaso(QStringLiteral("TA_BANCOS"), 5); // an error leaves the bar where it was
    EXPECT_EQ(bar->label(), QStringLiteral(" 100%"));
}

TEST_F(FrmStatusWindow, ARunningStepShowsTheRowsCopiedSoFar) {
    model.StatusPaso(QStringLiteral("MA_PRECIOS"), 2);
    model.setRowsCopied(QStringLiteral("MA_PRECIOS"), 3000);
    EXPECT_EQ(column(2).at(11), QStringLiteral("En Ejecución (3000 filas)"));
    model.StatusPaso(QStringLiteral("MA_PRECIOS"), 4);
    EXPECT_EQ(column(2).at(11), QStringLiteral("Finalizado"));
}

TEST_F(FrmStatusWindow, ASecondRunEmptiesTheListAndKeepsTheOldBar) {
    model.StatusPaso(QStringLiteral("TA_ZONAS"), 4);
    for (const QString& s : kSteps) model.AgregarPaso(s);
    EXPECT_EQ(list->topLevelItemCount(), 13);
    EXPECT_EQ(column(1), kSteps);
    EXPECT_EQ(column(2), QStringList(13, QStringLiteral("En Espera")));
    EXPECT_EQ(bar->label(), QStringLiteral(" 100%"));
}

// The bar inverts what lies under it: where it covers the label, the text is still there in the
// inverse colour.
TEST_F(FrmStatusWindow, TheLabelStaysReadableUnderTheBar) {
    bar->resize(200, 22);
    const auto textPixels = [&](double pct) {
        bar->setProgress(pct, QStringLiteral(" 100%"));
        const QImage img = bar->grab().toImage();
        const QRgb fill = img.pixel(2, 2); // a corner: no text there
        int differing = 0;
        for (int x = 60; x < 140; ++x)
            for (int y = 0; y < img.height(); ++y)
                if (img.pixel(x, y) != fill) ++differing;
        return std::make_pair(fill, differing);
    };
    const auto [empty, textOnWhite] = textPixels(0);
    const auto [full, textOnBar] = textPixels(100);
    EXPECT_NE(empty, full) << "the bar is drawn";
    EXPECT_GT(textOnWhite, 0);
    EXPECT_GT(textOnBar, 0) << "the label disappeared under the bar";
}

} // namespace

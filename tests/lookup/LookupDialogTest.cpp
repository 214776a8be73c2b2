#include "app/gui/WindowOperator.h"
#include "CaseName.h"
#include "lookup/gui/Lib_FrmCons3.h"
#include "lookup/Lib_ClsCons3.h"
#include "lookup/LookupSession.h"
#include "LookupErp.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace kv;

namespace {

using Drive = std::function<void(Lib_FrmCons3&)>;

QTreeWidget* listOf(Lib_FrmCons3& d) {
    return d.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
}

QComboBox* boxOf(Lib_FrmCons3& d, int k) {
    return d.findChild<QComboBox*>(QStringLiteral("CmbSearch%1").arg(k));
}

void press(Lib_FrmCons3& d, const char* button) {
    QTest::mouseClick(d.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
}

// Space on a row: the list's own tick.
void tick(Lib_FrmCons3& d, int row) {
    QTreeWidget* list = listOf(d);
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(row));
    QTest::keyClick(list, Qt::Key_Space);
}

// Keys go to the box that has the focus, as a keyboard sends them.
void typeAndSearch(Lib_FrmCons3& d, int box, const QString& text) {
    QComboBox* b = boxOf(d, box);
    b->setFocus();
    QTest::keyClicks(b, text);
    QTest::keyClick(b, Qt::Key_F5);
}

QStringList codes(Lib_FrmCons3& d) {
    QStringList r;
    QTreeWidget* list = listOf(d);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        r << list->topLevelItem(i)->text(1);
    return r;
}

// Runs the client lookup through the real window, driven by `drive` once it is up.
class LookupDialog : public ::testing::Test {
protected:
    void SetUp() override { setOperator(&windows); }
    void TearDown() override { setOperator(nullptr); }
    std::optional<QStringList> run(const QString& source, const QString& campo, const Drive& drive) {
        bool driven = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<Lib_FrmCons3*>(QApplication::activeModalWidget());
            if (!d) return;
            driven = true;
            EXPECT_TRUE(QTest::qWaitForWindowActive(d));
            // Whatever the drive leaves open is closed, so a failing case cannot hang the run.
            QTimer::singleShot(20000, d, [d] { d->session().cancel(); });
            drive(*d);
        });
        Lib_ClsCons3& lookup = Lib_ClsCons3::instance();
        lookup.CampoDevuelto = campo;
        lookup.Checks = true;
        lookup.ConsultaSearch(source);
        EXPECT_TRUE(driven) << "the lookup window did not come up";
        return lookup.Valores;
    }
    test::LookupErp erp;
    WindowOperator windows;
};

struct DialogCase {
    std::string name;
    Drive drive;
    std::optional<QStringList> expected;
};

class Actions : public LookupDialog, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(Actions, GiveTheirSelection) {
    EXPECT_EQ(run(QStringLiteral("VT_CLIENTES"), QStringLiteral("CODIGO"), GetParam().drive),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Window, Actions,
    ::testing::Values(
        DialogCase{"ticks_and_aceptar",
                   [](Lib_FrmCons3& d) {
                       tick(d, 2);
                       tick(d, 0);
                       EXPECT_EQ(listOf(d)->topLevelItem(2)->checkState(0), Qt::Checked);
                       press(d, "CmdAceptar");
                   },
                   QStringList({"C006", "C002"})},
        DialogCase{"aceptar_with_nothing_ticked", [](Lib_FrmCons3& d) { press(d, "CmdAceptar"); },
                   QStringList()},
        DialogCase{"cancelar",
                   [](Lib_FrmCons3& d) {
                       tick(d, 1);
                       press(d, "CmdCancelar");
                   },
                   std::nullopt},
        DialogCase{"escape",
                   [](Lib_FrmCons3& d) {
                       tick(d, 1);
                       QTest::keyClick(listOf(d), Qt::Key_Escape);
                   },
                   std::nullopt},
        DialogCase{"close_box",
                   [](Lib_FrmCons3& d) {
                       tick(d, 1);
                       d.close();
                   },
                   QStringList()},
        DialogCase{"enter_in_the_list",
                   [](Lib_FrmCons3& d) {
                       tick(d, 1);
                       QTest::keyClick(listOf(d), Qt::Key_Return);
                   },
                   QStringList({"C001"})},
        DialogCase{"double_click",
                   [](Lib_FrmCons3& d) {
                       tick(d, 3);
                       QTreeWidget* list = listOf(d);
                       const QRect row = list->visualItemRect(list->topLevelItem(4));
                       const QPoint onText(row.left() + 120, row.center().y());
                       QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onText);
                       QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onText);
                   },
                   QStringList({"C003"})},
        DialogCase{"f5_twice",
                   [](Lib_FrmCons3& d) {
                       typeAndSearch(d, 0, QStringLiteral("gar"));
                       EXPECT_EQ(codes(d), QStringList({"C001", "C002"}));
                       EXPECT_EQ(boxOf(d, 0)->currentText(), QString());
                       typeAndSearch(d, 1, QStringLiteral("c002"));
                       EXPECT_EQ(d.session().lastSearchStatement(),
                                 QStringLiteral(
                                     "SELECT TOP 1000 RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE "
                                     "Dada_De_Baja = 0  and RAZON_SOCIAL like 'gar%'  and CODIGO like "
                                     "'c002%' ORDER BY RAZON_SOCIAL  "));
                       EXPECT_EQ(codes(d), QStringList({"C002"}));
                       tick(d, 0);
                       press(d, "CmdAceptar");
                   },
                   QStringList({"C002"})},
        DialogCase{"ticks_lost_after_f5",
                   [](Lib_FrmCons3& d) {
                       tick(d, 0);
                       tick(d, 1);
                       typeAndSearch(d, 2, QString());
                       EXPECT_EQ(codes(d).size(), 5);
                       EXPECT_EQ(listOf(d)->topLevelItem(0)->checkState(0), Qt::Unchecked);
                       press(d, "CmdAceptar");
                   },
                   QStringList()},
        DialogCase{"nueva_busqueda",
                   [](Lib_FrmCons3& d) {
                       typeAndSearch(d, 0, QStringLiteral("gar"));
                       press(d, "CmdNueva");
                       EXPECT_EQ(codes(d), QStringList({"C006", "C001", "C002", "C003", "C004"}));
                       tick(d, 4);
                       press(d, "CmdAceptar");
                   },
                   QStringList({"C004"})},
        DialogCase{"heading_click_sorts_descending",
                   [](Lib_FrmCons3& d) {
                       QHeaderView* header = listOf(d)->header();
                       QTest::mouseClick(
                           header->viewport(), Qt::LeftButton, {},
                           QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
                       EXPECT_EQ(codes(d), QStringList({"C006", "C004", "C003", "C002", "C001"}));
                       tick(d, 1);
                       tick(d, 0);
                       press(d, "CmdAceptar");
                   },
                   QStringList({"C006", "C004"})}),
    test::CaseName());

TEST_F(LookupDialog, LetterTypedInTheListGoesToTheCurrentBoxAsCapital) {
    run(QStringLiteral("VT_CLIENTES"), QStringLiteral("CODIGO"), [](Lib_FrmCons3& d) {
        QTreeWidget* list = listOf(d);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_B);
        EXPECT_EQ(boxOf(d, 0)->currentText(), QStringLiteral("B"));
        QTest::keyClick(list, Qt::Key_G);
        EXPECT_EQ(boxOf(d, 0)->currentText(), QStringLiteral("BG"))
            << "no row starts with BG: selection stays";
        boxOf(d, 0)->setEditText(QString());
        QTest::keyClick(list, Qt::Key_L);
        EXPECT_EQ(list->currentItem()->text(1), QStringLiteral("C003")) << "L positions on Lopez";
        EXPECT_EQ(QApplication::focusWidget(), boxOf(d, 0));
        press(d, "CmdCancelar");
    });
}

TEST_F(LookupDialog, ShowsItsPartsSizedByTheFields) {
    run(QStringLiteral("VT_CLIENTES"), QStringLiteral("CODIGO"), [](Lib_FrmCons3& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Consulta..."));
        for (const char* name : {"picFields", "HScroll1", "Frame1"})
            EXPECT_NE(d.findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
        auto* aceptar = d.findChild<QPushButton*>(QStringLiteral("CmdAceptar"));
        EXPECT_EQ(aceptar->text(), QStringLiteral("&Aceptar"));
        EXPECT_TRUE(aceptar->isDefault());
        EXPECT_EQ(d.findChild<QPushButton*>(QStringLiteral("CmdNueva"))->text(),
                  QStringLiteral("&Nueva Busqueda"));
        QTreeWidget* list = listOf(d);
        EXPECT_EQ(list->columnCount(), 3);
        EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("CONTACTO"));
        EXPECT_FALSE(list->topLevelItem(0)->flags() & Qt::ItemIsEditable);
        // RAZON_SOCIAL is declared with 200 characters: 60 capital X wide.
        EXPECT_EQ(list->header()->sectionSize(0),
                  d.fontMetrics().horizontalAdvance(QString(60, QLatin1Char('X'))));
        EXPECT_EQ(list->header()->sectionSize(1),
                  d.fontMetrics().horizontalAdvance(QString(15, QLatin1Char('X'))));
        for (int k = 0; k < 3; ++k) {
            QComboBox* box = boxOf(d, k);
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->isVisible());
            EXPECT_EQ(box->toolTip(), QStringLiteral("F5 realiza nueva busqueda"));
            EXPECT_EQ(box->x(), list->header()->sectionPosition(k)) << "each box stands over its column";
        }
        boxOf(d, 1)->setFocus();
        EXPECT_EQ(boxOf(d, 1)->palette().color(QPalette::Base), QColor(0, 255, 255));
        boxOf(d, 2)->setFocus();
        EXPECT_EQ(boxOf(d, 1)->palette().color(QPalette::Base), QColor(255, 255, 255));
        EXPECT_EQ(boxOf(d, 2)->palette().color(QPalette::Base), QColor(0, 255, 255));
        EXPECT_EQ(d.session().currentSearchBox(), 2);
        press(d, "CmdCancelar");
    });
}

TEST_F(LookupDialog, SavedWidthsSetTheColumnsTheyList) {
    QFile f(erp.home.file(QStringLiteral("CONSULTASLEN.HXW")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("VT_CLIENTES,3000|1500|\n");
    f.close();
    run(QStringLiteral("VT_CLIENTES"), QStringLiteral("CODIGO"), [](Lib_FrmCons3& d) {
        QHeaderView* header = listOf(d)->header();
        EXPECT_EQ(header->sectionSize(0), 200); // twips at 15 a pixel
        EXPECT_EQ(header->sectionSize(1), 100);
        EXPECT_EQ(header->sectionSize(2), d.fontMetrics().horizontalAdvance(QString(60, QLatin1Char('X'))));
        press(d, "CmdCancelar");
    });
}

} // namespace

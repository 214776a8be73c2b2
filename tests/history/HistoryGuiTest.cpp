#include "console/gui/FrmControl.h"
#include "console/SendPreview.h"
#include "ErpFixture.h"
#include "history/gui/FrmHistorial.h"
#include "history/JobHistory.h"
#include "HistoryTestSupport.h"
#include "settings/DeviceSettings.h"
#include "settings/gui/frmParam.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace kv;
using namespace kv::history;

namespace {

Record job(int device, Direction d, int day) {
    return d == Direction::Send ? test::sendJob(device, test::decemberAt(day, 9))
                                : test::receiveJob(device, test::decemberAt(day, 9));
}

class HistoryList : public ::testing::Test {
protected:
    void SetUp() override {
        HistoryFile file(historyPath(), HistoryFile::Mode::Write);
        // Written out of order: the list shows the newest first whatever the order of writing.
        for (const Record& r : {job(2, Direction::Send, 3), job(1, Direction::Receive, 1),
                                job(3, Direction::Send, 2), job(2, Direction::Receive, 4)})
            file.append(r);
    }
    static QStringList column(const QTreeWidget* list, int c) {
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(c);
        return texts;
    }
    test::TempHome home;
    test::ScopedOperator person;
};

struct FilterCase {
    const char* name;
    int device; // 0: every device
    QStringList devices;
    QStringList days;
};

class HistoryListFilter : public HistoryList, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(HistoryListFilter, ShowsTheChosenDevicesJobsNewestFirst) {
    FrmHistorial dialog;
    dialog.show();
    QComboBox* devices = dialog.findChild<QComboBox*>(QStringLiteral("cboMovil"));
    ASSERT_NE(devices, nullptr);
    QStringList choices;
    for (int i = 0; i < devices->count(); ++i)
        choices << devices->itemText(i);
    EXPECT_EQ(choices, (QStringList{"(Todos)", "Nº 1", "Nº 2", "Nº 3"}));

    devices->setCurrentIndex(devices->findData(GetParam().device)); // as the operator picks it
    const QTreeWidget* list = dialog.findChild<QTreeWidget*>(QStringLiteral("lstHistorial"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(column(list, 1), GetParam().devices);
    QStringList days;
    for (const QString& when : column(list, 0))
        days << when.left(2);
    EXPECT_EQ(days, GetParam().days);
}

INSTANTIATE_TEST_SUITE_P(Devices, HistoryListFilter,
                         ::testing::Values(FilterCase{"All",
                                                      0,
                                                      {"2 - Ruta 2", "2 - Ruta 2", "3 - Ruta 3",
                                                       "1 - Ruta 1"},
                                                      {"04", "03", "02", "01"}},
                                           FilterCase{"Two", 2, {"2 - Ruta 2", "2 - Ruta 2"}, {"04", "03"}},
                                           FilterCase{"Three", 3, {"3 - Ruta 3"}, {"02"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryList, TheConsoleMenuOpensItInThePlanillaMenu) {
    FrmControl console;
    QAction* item = console.findChild<QAction*>(QStringLiteral("MNU_Historial"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("Historial"));
    QMenu* menu = console.findChild<QMenu*>(QStringLiteral("MNU_Planilla_Control"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().contains(item));

    int rows = -1;
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto* d = qobject_cast<FrmHistorial*>(QApplication::activeModalWidget())) {
            rows = d->list()->topLevelItemCount();
            title = d->windowTitle();
            d->reject();
        }
    });
    item->trigger();
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(title, QStringLiteral("Historial de Envíos y Recepciones"));
}

TEST_F(HistoryList, AnUnreadableHistoryIsExplainedNotShownEmptyInSilence) {
    QFile junk(historyPath());
    junk.remove();
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("esto no es una base de datos");
    junk.close();
    FrmHistorial dialog;
    EXPECT_EQ(dialog.list()->topLevelItemCount(), 0);
    const auto shown = person.person.shownOf(QStringLiteral("message"));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].style, 64);
    EXPECT_TRUE(shown[0].text.startsWith(QLatin1String("No se pudo leer el historial")))
        << shown[0].text.toStdString();
}

// The parameters dialog's preview, for the filters as typed and not yet saved.
struct TypedCase {
    const char* name;
    bool typeVendor; // the second vendor in REPARTO
    bool typeClient; // the first client in CLIENTE
};

class PreviewButton : public ::testing::TestWithParam<TypedCase> {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(Engine::Sqlite, test::ErpFixture::Sizes{25, 10, 4, 0});
        ASSERT_TRUE(f->available());
        vendors = f->erpRows(QStringLiteral("SELECT TRIM(IdVendedor) FROM V_TA_VENDEDORES ORDER BY 1"));
        clients = f->erpRows(QStringLiteral("SELECT TRIM(CODIGO) FROM VT_CLIENTES ORDER BY 1"));
        // Saved: a vendor without clients, so the saved filter's counts differ from any typed one.
        settings::writeDevice(1, settings::Reparto, kSaved);
    }
    const QString kSaved = QStringLiteral("ZZ9");
    std::unique_ptr<test::ErpFixture> f;
    QStringList vendors, clients;
};

TEST_P(PreviewButton, CountsTheValuesBeingEditedAndSavesNothing) {
    frmParam form;
    form.pPalmNro = 1;
    form.show();
    auto* reparto = form.findChild<QLineEdit*>(QStringLiteral("txtfields0"));
    auto* cliente = form.findChild<QLineEdit*>(QStringLiteral("txtfields3"));
    auto* button = form.findChild<QPushButton*>(QStringLiteral("cmdVistaPrevia"));
    ASSERT_TRUE(reparto && cliente && button);
    EXPECT_TRUE(form.findChild<QWidget*>(QStringLiteral("tabFiltro"))->isAncestorOf(button))
        << "next to the filters";
    ASSERT_EQ(reparto->text(), kSaved);

    reparto->selectAll();
    QTest::keyClick(reparto, Qt::Key_Delete);
    if (GetParam().typeVendor) QTest::keyClicks(reparto, vendors[1]);
    if (GetParam().typeClient) QTest::keyClicks(cliente, clients[0]);
    QTest::mouseClick(button, Qt::LeftButton);

    const auto shown = f->person.person.shownOf(QStringLiteral("message"));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].title, QStringLiteral("Vista Previa del Envío"));
    EXPECT_EQ(shown[0].style, 64);
    EXPECT_EQ(shown[0].text, previewText(previewFilters(reparto->text(), cliente->text())));
    EXPECT_NE(shown[0].text, previewText(previewDevice(1))) << "the counts of the saved filter";
    EXPECT_EQ(settings::readDevice(1, settings::Reparto), kSaved) << "nothing is saved";
    EXPECT_TRUE(settings::readDevice(1, settings::Cliente).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Typed, PreviewButton,
                         ::testing::Values(TypedCase{"AnotherVendor", true, false},
                                           TypedCase{"AClient", false, true},
                                           TypedCase{"NoFilter", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

#include "settings/gui/frmParam.h"

#include "app/SettingsFile.h"
#include "CaseName.h"
#include "lookup/LookupSession.h"
#include "LookupErp.h"
#include "ScriptedOperator.h"
#include "settings/DeviceSettings.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

using namespace kv;
using namespace kv::settings;

namespace {

const int Indices[] = {0, 3, 4, 5, 6, 7, 8};

// The stored text, untouched by any trimming ("<none>" when the key is not there).
QString stored(int device, const QString& key) {
    return LeerIni(File, deviceSection(device), key, QStringLiteral("<none>"));
}

class FrmParam : public ::testing::Test {
protected:
    test::LookupErp erp;
    test::ScopedOperator o;
    frmParam form;
    QSignalSpy captions{&form, &frmParam::tileCaptionChanged};

    void open(int device) {
        form.pPalmNro = device;
        form.show();
    }
    QLineEdit* field(int index) {
        return form.findChild<QLineEdit*>(QStringLiteral("txtfields%1").arg(index));
    }
    void click(const char* name) {
        QTest::mouseClick(form.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
    }
    void type(int index, const QString& text) {
        field(index)->setFocus();
        field(index)->selectAll();
        QTest::keyClicks(field(index), text);
    }
};

TEST_F(FrmParam, ShowsTheRecordOfItsDevice) {
    writeDevice(3, Nombre, QStringLiteral("  Ruta Norte "));
    writeDevice(3, Contrasena, QStringLiteral("s3creta"));
    writeDevice(3, Servidor, QStringLiteral("srv"));
    open(3);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Parametros de Conexión PALM Nº3"));
    EXPECT_EQ(field(8)->text(), QStringLiteral("Ruta Norte")) << "shown trimmed";
    EXPECT_EQ(field(5)->text(), QStringLiteral("s3creta"));
    EXPECT_EQ(field(5)->echoMode(), QLineEdit::Normal) << "the password shows in clear";
    EXPECT_EQ(field(7)->text(), QStringLiteral("srv"));
    EXPECT_EQ(form.findChild<QLineEdit*>(QStringLiteral("txtfields1")), nullptr);
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("&Filtro de Datos"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Parametros de Conexión &DB"));
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("lblContrasena"))->text(), QStringLiteral("Cotraseña"));
    // NOMBRE, REPARTO, CLIENTE, USUARIO, CONTRASEÑA, BASE DE DATOS, SERVIDOR.
    QWidget* w = field(8);
    for (int next : {0, 3, 4, 5, 6, 7}) {
        w = w->nextInFocusChain();
        while (!qobject_cast<QLineEdit*>(w))
            w = w->nextInFocusChain();
        EXPECT_EQ(w, field(next)) << "after the field before " << next;
    }
}

TEST_F(FrmParam, BothFiltersStoredShowOnlyTheClientsAndAcceptEmptiesTheVendors) {
    writeDevice(2, Reparto, QStringLiteral("V01"));
    writeDevice(2, Cliente, QStringLiteral("C001,C002"));
    open(2);
    EXPECT_EQ(field(0)->text(), QString());
    EXPECT_EQ(field(3)->text(), QStringLiteral("C001,C002"));
    click("cmdAceptar");
    EXPECT_EQ(stored(2, Reparto), QString());
    EXPECT_EQ(stored(2, Cliente), QStringLiteral("C001,C002"));
    EXPECT_FALSE(form.isVisible());
}

// The case: after a cancelled lookup emptied both filters, Enter in "Nombre:" must not
// save an unfiltered device. Enter only moves on, through both tabs; "&Aceptar" alone saves.
TEST_F(FrmParam, EnterMovesToTheNextFieldAndOnlyAceptarSaves) {
    writeDevice(2, Reparto, QStringLiteral("V01"));
    open(2);
    click("cmdConsultaVdor"); // cancelled: both filters emptied
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    field(8)->setFocus();
    for (int next : {0, 3, 4, 5, 6, 7, 8}) {
        QTest::keyClick(form.focusWidget(), Qt::Key_Return);
        ASSERT_TRUE(form.isVisible()) << "Enter closed the dialog before field " << next;
        EXPECT_EQ(form.focusWidget(), field(next));
        EXPECT_TRUE(tabs->currentWidget()->isAncestorOf(field(next))) << "field " << next << " is in view";
    }
    QTest::keyClick(form.findChild<QPushButton*>(QStringLiteral("cmdCancelar")), Qt::Key_Enter);
    EXPECT_TRUE(form.isVisible()) << "no button takes Enter";
    for (auto* b : form.findChildren<QPushButton*>()) EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
    EXPECT_EQ(stored(2, Reparto), QStringLiteral("V01"));
    auto* aceptar = form.findChild<QPushButton*>(QStringLiteral("cmdAceptar"));
    EXPECT_EQ(aceptar->shortcut(), QKeySequence(QStringLiteral("Alt+A")));
    click("cmdAceptar");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(stored(2, Reparto), QString());
}

TEST_F(FrmParam, CancelWritesNothing) {
    writeDevice(2, Reparto, QStringLiteral("V01"));
    open(2);
    type(8, QStringLiteral("otro"));
    click("cmdConsultaVdor"); // cancelled: both filters emptied
    EXPECT_EQ(field(0)->text(), QString());
    click("cmdCancelar");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(stored(2, Reparto), QStringLiteral("V01"));
    EXPECT_EQ(stored(2, Nombre), QStringLiteral("<none>"));
    EXPECT_EQ(captions.size(), 0);
}

TEST_F(FrmParam, CancelledLookupLeavesBothFiltersEmptyAndAcceptStoresThem) {
    writeDevice(5, Cliente, QStringLiteral("C003"));
    open(5);
    click("cmdConsultaCli");
    EXPECT_EQ(o.person.shownOf(QStringLiteral("lookup")).size(), 1);
    EXPECT_EQ(field(0)->text(), QString());
    EXPECT_EQ(field(3)->text(), QString());
    click("cmdAceptar");
    EXPECT_EQ(stored(5, Cliente), QString());
    EXPECT_EQ(stored(5, Reparto), QString());
}

struct PickCase {
    std::string name;
    const char* button;
    QString campo;
    int target;
    int other;
    QList<int> rows;
    QString joined;
};

class Picks : public FrmParam, public ::testing::WithParamInterface<PickCase> {};

TEST_P(Picks, JoinTheCodesInListOrderAndEmptyTheOtherFilter) {
    const auto& c = GetParam();
    open(1);
    field(c.other)->setText(QStringLiteral("X1"));
    QString campo;
    bool checks = false;
    o.person.onListLookup([&](LookupSession& s) {
        campo = s.CampoDevuelto;
        checks = s.CheckBoxes;
        for (int r : c.rows)
            s.setTicked(r, true);
        s.accept();
    });
    click(c.button);
    EXPECT_EQ(field(c.target)->text(), c.joined);
    EXPECT_EQ(field(c.other)->text(), QString());
    EXPECT_TRUE(checks);
    EXPECT_EQ(campo, c.campo);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, Picks,
    ::testing::Values(
        PickCase{
            "three_vendors", "cmdConsultaVdor", "IdVendedor", 0, 3, {2, 0, 1}, QStringLiteral("V04,V01,V02")},
        PickCase{"two_clients", "cmdConsultaCli", "CODIGO", 3, 0, {4, 1}, QStringLiteral("C001,C004")},
        PickCase{"none_ticked", "cmdConsultaVdor", "IdVendedor", 0, 3, {}, QString()}),
    test::CaseName());

struct RuleCase {
    std::string name;
    int typedField;
    QString text;
    int otherField;
    bool otherEmptied;
};

class ExclusiveFilters : public FrmParam, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(ExclusiveFilters, ATypedFilterEmptiesTheOther) {
    const auto& c = GetParam();
    open(1);
    field(c.otherField)->setText(QStringLiteral("K9"));
    type(c.typedField, c.text);
    EXPECT_EQ(field(c.typedField)->text(), c.text);
    EXPECT_EQ(field(c.otherField)->text(), c.otherEmptied ? QString() : QStringLiteral("K9"));
}

INSTANTIATE_TEST_SUITE_P(
    Typing, ExclusiveFilters,
    ::testing::Values(RuleCase{"vendor_empties_client", 0, QStringLiteral("V01"), 3, true},
                      RuleCase{"client_empties_vendor", 3, QStringLiteral(" C1"), 0, true},
                      RuleCase{"blank_vendor_keeps_client", 0, QStringLiteral("   "), 3, false},
                      RuleCase{"blank_client_keeps_vendor", 3, QStringLiteral(" "), 0, false},
                      RuleCase{"name_keeps_both", 8, QStringLiteral("V01"), 3, false}),
    test::CaseName());

TEST_F(FrmParam, AcceptWithEveryFieldEmptyWritesSevenEmptyValues) {
    writeDevice(4, Nombre, QStringLiteral("Viejo"));
    writeDevice(4, Usuario, QStringLiteral("ana"));
    open(4);
    for (int i : Indices)
        field(i)->clear();
    click("cmdAceptar");
    for (const QString& key : {Reparto, Cliente, Usuario, Contrasena, BaseDeDatos, Servidor, Nombre})
        EXPECT_EQ(stored(4, key), QString()) << key.toStdString();
    ASSERT_EQ(captions.size(), 1);
    EXPECT_EQ(captions.first().at(0).toInt(), 4);
    // The name is stored (empty): only a device never named is "Nº 4".
    EXPECT_EQ(captions.first().at(1).toString(), QStringLiteral("Móvil\r\n"));
}

TEST_F(FrmParam, AcceptWritesTheTextsUntrimmedAndCaptionsWithTheTrimmedName) {
    open(6);
    type(8, QStringLiteral(" Ruta Sur "));
    type(6, QStringLiteral(" erp "));
    click("cmdAceptar");
    EXPECT_EQ(stored(6, Nombre), QStringLiteral(" Ruta Sur "));
    EXPECT_EQ(stored(6, BaseDeDatos), QStringLiteral(" erp "));
    ASSERT_EQ(captions.size(), 1);
    EXPECT_EQ(captions.first().at(1).toString(), QStringLiteral("Móvil\r\nRuta Sur"));
}

// Whatever the file held, the name is written back exactly as the field shows it: the file's
// NOMBRE line after Aceptar.
struct NameCase {
    const char* name;
    const char* line;  // the device's NOMBRE line before; nullptr: none
    const char* typed; // nullptr: accepted as shown
    const char* written;
};

class NameAsShown : public FrmParam, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameAsShown, IsWrittenBack) {
    const NameCase& c = GetParam();
    const QString path = erp.home.file(File);
    writeDevice(5, Usuario, QStringLiteral("ana"));
    if (c.line) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(c.line) + '\n');
    }
    open(5);
    EXPECT_EQ(form.focusWidget(), field(8)) << "the dialog opens in Nombre";
    if (c.typed) {
        field(8)->selectAll();
        QTest::keyClick(field(8), Qt::Key_Delete);
        QTest::keyClicks(field(8), QString::fromUtf8(c.typed));
    }
    click("cmdAceptar");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList names;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("NOMBRE")) names << QString::fromUtf8(line);
    EXPECT_EQ(names, QStringList{QString::fromUtf8(c.written)});
}

INSTANTIATE_TEST_SUITE_P(Names, NameAsShown,
                         ::testing::Values(NameCase{"blanks_typed_over_a_name", "NOMBRE=Ruta", "   ", "NOMBRE=\"   \""},
                                           NameCase{"blanks_typed_without_a_name", nullptr, "  ", "NOMBRE=\"  \""},
                                           NameCase{"blanks_shown_empty", "NOMBRE=   ", nullptr, "NOMBRE="},
                                           NameCase{"quoted_blanks_shown_empty", "NOMBRE=\"   \"", nullptr, "NOMBRE="},
                                           NameCase{"spaced_key_cleared", "NOMBRE = Ruta ", "", "NOMBRE ="},
                                           NameCase{"never_named_accepted", nullptr, nullptr, "NOMBRE="}),
                         test::CaseName());

TEST_F(FrmParam, FocusedFieldIsCyanAndTheOneLeftWhite) {
    open(1);
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    field(8)->setFocus();
    EXPECT_EQ(field(8)->palette().color(QPalette::Base), QColor(0, 255, 255));
    field(0)->setFocus();
    EXPECT_EQ(field(8)->palette().color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_EQ(field(0)->palette().color(QPalette::Base), QColor(0, 255, 255));
}

} // namespace

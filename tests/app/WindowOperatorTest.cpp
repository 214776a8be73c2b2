#include "app/gui/FrmAcceso.h"
#include "app/gui/WindowOperator.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kv;

namespace {

// Presses `button` on the message box as soon as it is shown.
void pressWhenShown(QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [button] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                box->button(button)->click();
                return;
            }
    });
}

struct BoxCase {
    const char* name;
    int style;
    QMessageBox::StandardButton press;
    int answer;
};

class MessageBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxes, AnswerWithTheClassicCodes) {
    WindowOperator o;
    pressWhenShown(GetParam().press);
    EXPECT_EQ(o.messageBox(QStringLiteral("uno\rdos"), GetParam().style, QStringLiteral("Aviso")), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, MessageBoxes,
    ::testing::Values(BoxCase{"ok_only", 64, QMessageBox::Ok, 1}, BoxCase{"retry", 18, QMessageBox::Retry, 4},
                      BoxCase{"ignore", 18, QMessageBox::Ignore, 5}, BoxCase{"abort", 18, QMessageBox::Abort, 3},
                      BoxCase{"yes", 20, QMessageBox::Yes, 6}, BoxCase{"no", 20, QMessageBox::No, 7},
                      BoxCase{"cancel", 1, QMessageBox::Cancel, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowOperator, ClassicFilterMatchesEitherCase) {
    EXPECT_EQ(WindowOperator::qtFilter(QStringLiteral("Base de Datos de Microsoft Access |*.MDB")),
              QStringLiteral("Base de Datos de Microsoft Access (*.MDB *.mdb)"));
    EXPECT_EQ(WindowOperator::qtFilter(QStringLiteral("Todos|*.*|Texto|*.txt")),
              QStringLiteral("Todos (*.*);;Texto (*.txt *.TXT)"));
}

struct DialogCase {
    const char* name;
    const char* button; // object name pressed, or "" to close with the window box
    bool accepted;
};

class ConnectionDialog : public ::testing::TestWithParam<DialogCase> {};

TEST_P(ConnectionDialog, ReturnsTheEditedValuesOnlyWhenAccepted) {
    WindowOperator o;
    ConnectionValues v{QStringLiteral("erp"), QStringLiteral("srv"), QStringLiteral("ana"), QStringLiteral("secreto"), 2};
    const QString button = QString::fromLatin1(GetParam().button);
    QTimer::singleShot(0, [button] {
        auto* d = qobject_cast<FrmAcceso*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Control de Acceso"));
        auto* pwd = d->findChild<QLineEdit*>(QStringLiteral("TxtUserPassword"));
        EXPECT_EQ(pwd->echoMode(), QLineEdit::Password);
        EXPECT_EQ(pwd->text(), QStringLiteral("secreto"));
        EXPECT_EQ(d->findChild<QComboBox*>(QStringLiteral("CboPlataformaDB"))->currentText(), QStringLiteral("PostgreSQL"));
        d->findChild<QLineEdit*>(QStringLiteral("TxtServidor"))->setText(QStringLiteral("otro"));
        d->findChild<QComboBox*>(QStringLiteral("CboPlataformaDB"))->setCurrentIndex(1);
        if (button.isEmpty()) d->reject(); // the window's close box
        else d->findChild<QPushButton*>(button)->click();
    });
    EXPECT_EQ(o.connectionDialog(v), GetParam().accepted);
    EXPECT_EQ(v.server, GetParam().accepted ? QStringLiteral("otro") : QStringLiteral("srv"));
    EXPECT_EQ(v.platform, GetParam().accepted ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Buttons, ConnectionDialog,
                         ::testing::Values(DialogCase{"aceptar", "bcAceptar", true},
                                           DialogCase{"cancelar", "bcCancelar", false},
                                           DialogCase{"close_box", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

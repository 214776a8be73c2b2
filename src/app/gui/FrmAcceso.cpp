#include "app/gui/FrmAcceso.h"

#include "app/gui/PrepararFormulario.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

FrmAcceso::FrmAcceso(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAcceso"));
    setWindowTitle(QStringLiteral("Control de Acceso"));

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("framAcceso"));
    auto* form = new QFormLayout(frame);
    auto field = [&](const char* name, const QString& label, const char* labelName) {
        auto* edit = new QLineEdit(frame);
        edit->setObjectName(QLatin1String(name));
        auto* l = new QLabel(label, frame);
        l->setObjectName(QLatin1String(labelName));
        l->setBuddy(edit);
        form->addRow(l, edit);
        return edit;
    };
    m_user = field("TxtUserId", QStringLiteral("&Usuario"), "lbUsuario");
    m_password = field("TxtUserPassword", QStringLiteral("&Contraseña"), "lbcontrasena");
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // every character as "*"
    m_dbName = field("TxtDbName", QStringLiteral("&Base de Datos"), "lbBaseDatos");
    m_server = field("TxtServidor", QStringLiteral("&Servidor"), "lbServidor");
    m_platform = new QComboBox(frame);
    m_platform->setObjectName(QStringLiteral("CboPlataformaDB"));
    m_platform->addItems({QStringLiteral("SQL Server"), QStringLiteral("ORACLE"), QStringLiteral("PostgreSQL"),
                          QStringLiteral("SQLite")});
    form->addRow(QString(), m_platform);

    auto* ok = new QPushButton(QStringLiteral("Aceptar"), this);
    ok->setObjectName(QStringLiteral("bcAceptar"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel->setObjectName(QStringLiteral("bcCancelar"));
    connect(ok, &QPushButton::clicked, this, [this] {
        Aceptar = true;
        hide();
        done(Accepted);
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        Aceptar = false;
        hide();
        done(Rejected);
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    PrepararFormulario(this);
}

void FrmAcceso::setValues(const ConnectionValues& v) {
    m_dbName->setText(v.dbName);
    m_server->setText(v.server);
    m_user->setText(v.user);
    m_password->setText(v.password);
    m_platform->setCurrentIndex(qBound(0, v.platform, m_platform->count() - 1));
}

ConnectionValues FrmAcceso::values() const {
    return {m_dbName->text(), m_server->text(), m_user->text(), m_password->text(), m_platform->currentIndex()};
}

} // namespace kv

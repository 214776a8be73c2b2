#include "settings/gui/frmParam.h"

#include "app/gui/FocusColour.h"
#include "app/gui/PrepararFormulario.h"
#include "console/SendPreview.h"
#include "cradle/gui/PairingDialog.h"
#include "settings/DeviceParameters.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kv {

frmParam::frmParam(QWidget* parent) : QDialog(parent), m_model(new DeviceParameters(this)) {
    setObjectName(QStringLiteral("frmParam"));
    setModal(true);

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("SSTab1"));
    tabs->setUsesScrollButtons(false); // both tab captions always in full
    auto* filtro = new QWidget;
    filtro->setObjectName(QStringLiteral("tabFiltro"));
    auto* conexion = new QWidget;
    conexion->setObjectName(QStringLiteral("tabConexion"));
    tabs->addTab(filtro, QStringLiteral("&Filtro de Datos"));
    tabs->addTab(conexion, QStringLiteral("Parametros de Conexión &DB"));

    auto frame = [](const char* name, const QString& title, QWidget* parent) {
        auto* g = new QGroupBox(title, parent);
        g->setObjectName(QLatin1String(name));
        return g;
    };
    auto field = [this](int index, QWidget* parent) {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(QStringLiteral("txtfields%1").arg(index));
        for (const auto& f : DeviceParameters::fields())
            if (f.index == index) edit->setProperty("key", f.key);
        paintFocus(edit, false);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, m_model,
                [this, index](const QString& t) { m_model->setText(index, t); });
        m_fields.insert(index, edit);
        return edit;
    };
    auto label = [](const char* name, const QString& text, QLineEdit* buddy) {
        auto* l = new QLabel(text, buddy->parentWidget());
        l->setObjectName(QLatin1String(name));
        l->setBuddy(buddy);
        return l;
    };
    auto lookupButton = [](const char* name, QWidget* parent) {
        auto* b = new QPushButton(QStringLiteral("..."), parent);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 12);
        return b;
    };

    auto* nombre = frame("fraNombre", QStringLiteral(" Nombre Palm "), filtro);
    auto* nombreRow = new QHBoxLayout(nombre);
    QLineEdit* txtNombre = field(DeviceParameters::Nombre, nombre);
    nombreRow->addWidget(label("lblNombre", QStringLiteral("Nombre:"), txtNombre));
    nombreRow->addWidget(txtNombre);

    auto filterFrame = [&](const char* frameName, const QString& title, int index, const char* labelName,
                           const char* buttonName) {
        auto* g = frame(frameName, title, filtro);
        auto* row = new QHBoxLayout(g);
        QLineEdit* edit = field(index, g);
        row->addWidget(label(labelName, QStringLiteral("Desde"), edit));
        row->addWidget(edit);
        auto* b = lookupButton(buttonName, g);
        row->addWidget(b);
        return std::pair{g, b};
    };
    auto [vendedor, cmdVdor] = filterFrame("fraVendedor", QStringLiteral("Vendedor"),
                                           DeviceParameters::Reparto, "lblVendedor", "cmdConsultaVdor");
    auto [cliente, cmdCli] = filterFrame("fraCliente", QStringLiteral("Cliente"), DeviceParameters::Cliente,
                                         "lblCliente", "cmdConsultaCli");
    // What the filters being edited would send, before they are saved.
    auto* vistaPrevia = new QPushButton(QStringLiteral("&Vista previa"), filtro);
    vistaPrevia->setObjectName(QStringLiteral("cmdVistaPrevia"));
    vistaPrevia->setAutoDefault(false);
    // The link and QR code that pair a phone's kvmovil with this device.
    auto* vincular = new QPushButton(QStringLiteral("Vincular &teléfono..."), filtro);
    vincular->setObjectName(QStringLiteral("cmdVincular"));
    vincular->setAutoDefault(false);
    auto* previewRow = new QHBoxLayout;
    previewRow->addWidget(vincular);
    previewRow->addStretch();
    previewRow->addWidget(vistaPrevia);
    auto* filtroLayout = new QVBoxLayout(filtro);
    filtroLayout->addWidget(nombre);
    filtroLayout->addWidget(vendedor);
    filtroLayout->addWidget(cliente);
    filtroLayout->addLayout(previewRow);
    filtroLayout->addStretch();

    auto* base = frame("fraBaseDatos", QStringLiteral("Base de Datos"), conexion);
    auto* grid = new QGridLayout(base);
    const struct {
        int index;
        const char* labelName;
        QString text;
    } connectionFields[] = {{4, "lblUsuario", QStringLiteral("Usuario")},
                            {5, "lblContrasena", QStringLiteral("Cotraseña")},
                            {6, "lblBaseDatos", QStringLiteral("Base de Datos")},
                            {7, "lblServidor", QStringLiteral("Servidor")}};
    int gridRow = 0;
    for (const auto& c : connectionFields) {
        QLineEdit* edit = field(c.index, base); // the password too is shown in clear
        grid->addWidget(label(c.labelName, c.text, edit), gridRow, 0);
        grid->addWidget(edit, gridRow++, 1);
    }
    auto* conexionLayout = new QVBoxLayout(conexion);
    conexionLayout->addWidget(base);
    conexionLayout->addStretch();

    // No default button: Enter in a field moves on to the next one, and only "&Aceptar" itself
    // (a click or Alt+A) saves.
    auto* aceptar = new QPushButton(QStringLiteral("&Aceptar"), this);
    aceptar->setObjectName(QStringLiteral("cmdAceptar"));
    aceptar->setAutoDefault(false);
    auto* cancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    cancelar->setObjectName(QStringLiteral("cmdCancelar"));
    cancelar->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(aceptar);
    buttons->addWidget(cancelar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);

    // NOMBRE, REPARTO, CLIENTE, USUARIO, CONTRASEÑA, BASE DE DATOS, SERVIDOR.
    for (const int index : {DeviceParameters::Nombre, DeviceParameters::Reparto, DeviceParameters::Cliente, 4, 5, 6, 7})
        m_order << m_fields.value(index);
    for (qsizetype i = 1; i < m_order.size(); ++i)
        setTabOrder(m_order.at(i - 1), m_order.at(i));
    m_tabs = tabs;

    connect(m_model, &DeviceParameters::textChanged, this, [this](int index, const QString& text) {
        if (QLineEdit* edit = m_fields.value(index); edit && edit->text() != text) edit->setText(text);
    });
    connect(m_model, &DeviceParameters::tileCaptionChanged, this, &frmParam::tileCaptionChanged);
    connect(cmdVdor, &QPushButton::clicked, m_model, &DeviceParameters::ConsultaVendedor);
    connect(cmdCli, &QPushButton::clicked, m_model, &DeviceParameters::ConsultaCliente);
    connect(vistaPrevia, &QPushButton::clicked, this, [this] {
        VistaPrevia(m_model->text(DeviceParameters::Reparto), m_model->text(DeviceParameters::Cliente));
    });
    connect(vincular, &QPushButton::clicked, this, [this] { PairingDialog::pair(pPalmNro, this); });
    connect(aceptar, &QPushButton::clicked, this, [this] {
        m_model->pPalmNro = pPalmNro;
        m_model->Aceptar();
        accept();
    });
    connect(cancelar, &QPushButton::clicked, this, &QDialog::reject);
}

frmParam::~frmParam() = default;

void frmParam::showEvent(QShowEvent* event) {
    if (!m_loaded) {
        // Each opening starts from the settings file, for the device set before showing.
        m_loaded = true;
        PrepararFormulario(this, false);
        setWindowTitle(DeviceParameters::caption(pPalmNro));
        m_model->pPalmNro = pPalmNro;
        m_model->TomarDatos(m_model->pPalmNro);
        // The first field of the tab order: the operator types the name at once.
        m_tabs->setCurrentIndex(0);
        m_order.first()->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

void frmParam::focusNextField(QLineEdit* from) {
    QLineEdit* next = m_order.value((m_order.indexOf(from) + 1) % m_order.size());
    if (!next) return;
    // The next field may be on the other tab.
    for (int t = 0; t < m_tabs->count(); ++t)
        if (m_tabs->widget(t)->isAncestorOf(next)) m_tabs->setCurrentIndex(t);
    next->setFocus(Qt::TabFocusReason);
}

bool frmParam::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (auto* edit = qobject_cast<QLineEdit*>(watched);
            edit && (key == Qt::Key_Return || key == Qt::Key_Enter) && m_order.contains(edit)) {
            focusNextField(edit);
            return true;
        }
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && m_fields.values().contains(edit))
            paintFocus(edit, event->type() == QEvent::FocusIn);
    return QDialog::eventFilter(watched, event);
}

} // namespace kv

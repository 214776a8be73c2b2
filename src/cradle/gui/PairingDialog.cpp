#include "cradle/gui/PairingDialog.h"

#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "cradle/CradleTokens.h"
#include "cradle/PairingLink.h"

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

namespace {

const QString kTitle = QStringLiteral("Vincular teléfono");
constexpr int kQuiet = 4;  // modules of light margin around the code
constexpr int kModule = 6; // pixels a module: large enough for a phone's camera across a desk

QPixmap picture(const cradle::QrCode& code) {
    const int side = code.size + 2 * kQuiet;
    QImage image(side, side, QImage::Format_Mono);
    image.fill(1);
    for (int y = 0; y < code.size; ++y)
        for (int x = 0; x < code.size; ++x)
            if (code.dark(x, y)) image.setPixel(x + kQuiet, y + kQuiet, 0);
    return QPixmap::fromImage(image.scaled(side * kModule, side * kModule));
}

} // namespace

PairingDialog::PairingDialog(int device, const QString& link, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmVincular"));
    setWindowTitle(QStringLiteral("%1 Nº %2").arg(kTitle).arg(device));
    setModal(true);
    auto* hint = new QLabel(
        QStringLiteral("Escanee el código con el teléfono del equipo Nº %1, o abra en él este enlace:").arg(device), this);
    hint->setWordWrap(true);
    auto* code = new QLabel(this);
    code->setObjectName(QStringLiteral("lblCodigoQR"));
    code->setPixmap(picture(cradle::qrCode(link)));
    code->setAlignment(Qt::AlignCenter);
    code->setAccessibleName(QStringLiteral("Código QR del enlace de vinculación"));
    auto* text = new QLineEdit(link, this);
    text->setObjectName(QStringLiteral("txtEnlace"));
    text->setReadOnly(true);
    text->setAccessibleName(QStringLiteral("Enlace de vinculación"));
    auto* close = new QPushButton(QStringLiteral("&Cerrar"), this);
    close->setObjectName(QStringLiteral("cmdCerrar"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(code);
    layout->addWidget(text);
    layout->addLayout(buttons);
}

void PairingDialog::pair(int device, QWidget* parent) {
    const bool renew = cradle::CradleTokens().devices().contains(device);
    if (renew &&
        op().messageBox(QStringLiteral("El equipo Nº %1 ya tiene un código. Con un enlace nuevo, el teléfono "
                                       "vinculado antes deja de sincronizar hasta que se vincule otra vez. "
                                       "¿Crear el enlace nuevo?")
                            .arg(device),
                        mb::Question + mb::YesNo, kTitle) != mb::Yes)
        return;
    QString link;
    try {
        link = cradle::newPairingLink(device, renew);
    } catch (const RunTimeError& e) {
        op().messageBox(e.description(), mb::Critical, kTitle);
        return;
    }
    PairingDialog(device, link, parent).exec();
}

} // namespace kv

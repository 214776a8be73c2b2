#pragma once

#include <QDialog>

namespace kv {

// "Vincular teléfono": the link that pairs a phone's kvmovil with a device, as a QR code to scan
// and as text to send. Making it gives the device a new token.
class PairingDialog : public QDialog {
    Q_OBJECT
public:
    PairingDialog(int device, const QString& link, QWidget* parent = nullptr);

    // Asks before replacing a token a phone may be using, makes the link and shows it; tells the
    // operator why when it cannot.
    static void pair(int device, QWidget* parent);
};

} // namespace kv

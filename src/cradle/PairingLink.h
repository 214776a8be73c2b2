#pragma once

#include <QList>
#include <QString>

namespace kv::cradle {

// The link a phone is paired by: the handheld application's address on the cradle, with the
// cradle, the device number and its token in the fragment (which a browser never sends to any
// server). "http://host:8790/app/#server=http%3A%2F%2Fhost%3A8790&device=1&token=..."
QString pairingLink(const QString& cradleUrl, qint32 device, const QString& token);

// A QR code's modules, row by row (true: dark), without the quiet zone. Empty when the text
// cannot be encoded.
struct QrCode {
    int size = 0;
    QList<bool> modules;
    bool dark(int x, int y) const { return x >= 0 && y >= 0 && x < size && y < size && modules.at(y * size + x); }
};
QrCode qrCode(const QString& text);

// The code drawn with half-block characters, two rows of modules a line, inside a quiet zone of
// four modules. With `colours`, dark on light whatever the terminal's own colours are.
QString terminalQr(const QrCode& code, bool colours);

// Makes device N's token (replacing the one it has only with `renew`) and the link that carries
// it, to `cradleUrl` or, when empty, the configured cradle. Throws RunTimeError as
// CradleTokens::issue does.
QString newPairingLink(qint32 device, bool renew, const QString& cradleUrl = QString());

// The address the settings file gives for the cradle ([General] CradleUrl), else the default.
QString configuredCradleUrl();

} // namespace kv::cradle

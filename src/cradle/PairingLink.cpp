#include "cradle/PairingLink.h"

#include "app/SettingsFile.h"
#include "cradle/CradleTokens.h"
#include "settings/DeviceSettings.h"

#include <qrencode.h>
#include <QUrl>

namespace kv::cradle {

namespace {
constexpr int kQuiet = 4;
const QString kDefaultCradle = QStringLiteral("http://127.0.0.1:8790");
} // namespace

QString pairingLink(const QString& cradleUrl, qint32 device, const QString& token) {
    QString base = cradleUrl.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QStringLiteral("/app/#server=") + QString::fromLatin1(QUrl::toPercentEncoding(base)) +
           QStringLiteral("&device=") + QString::number(device) + QStringLiteral("&token=") +
           QString::fromLatin1(QUrl::toPercentEncoding(token));
}

QrCode qrCode(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QRcode* code = QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M);
    QrCode out;
    if (!code) return out;
    out.size = code->width;
    out.modules.reserve(out.size * out.size);
    for (int i = 0; i < out.size * out.size; ++i)
        out.modules << bool(code->data[i] & 1);
    QRcode_free(code);
    return out;
}

QString terminalQr(const QrCode& code, bool colours) {
    if (code.size == 0) return QString();
    // Upper half, lower half: both dark, upper only, lower only, neither.
    const QString full = QStringLiteral("\u2588"), upper = QStringLiteral("\u2580"), lower = QStringLiteral("\u2584");
    const QString begin = colours ? QStringLiteral("\x1b[30;47m") : QString();
    const QString end = colours ? QStringLiteral("\x1b[0m") : QString();
    QString out;
    for (int y = -kQuiet; y < code.size + kQuiet; y += 2) {
        out += begin;
        for (int x = -kQuiet; x < code.size + kQuiet; ++x) {
            const bool top = code.dark(x, y), bottom = code.dark(x, y + 1);
            out += top && bottom ? full : top ? upper : bottom ? lower : QStringLiteral(" ");
        }
        out += end + QLatin1Char('\n');
    }
    return out;
}

QString newPairingLink(qint32 device, bool renew, const QString& cradleUrl) {
    const QString token = CradleTokens().issue(device, renew);
    return pairingLink(cradleUrl.isEmpty() ? configuredCradleUrl() : cradleUrl, device, token);
}

QString configuredCradleUrl() {
    return LeerIni(settings::File, settings::General, QStringLiteral("CradleUrl"), kDefaultCradle).trimmed();
}

} // namespace kv::cradle

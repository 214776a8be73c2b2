#pragma once

#include <optional>
#include <QByteArray>
#include <QString>

namespace kv::cradle {

// The devices allowed to sync through the network cradle, one token each. Only a token's SHA-256
// is kept, in an owner-only file in the application folder ("DEVICE HEX" a line), so the file
// lets no one sync; the token itself is shown once, when it is made.
class CradleTokens {
public:
    static QString fileName() { return QStringLiteral("kvcradle.tokens"); }

    // The application folder's file when empty.
    explicit CradleTokens(QString path = QString());

    // Makes device N's token (256 random bits, URL-safe text) and stores its hash. Throws
    // RunTimeError when the device already has one and `renew` is false, or the file cannot be
    // written; a renewed token makes the old one useless at once.
    QString issue(qint32 device, bool renew);

    // The device whose token this is. Every stored hash is compared in full, in time that does
    // not depend on where the bytes differ, so the answer's timing tells nothing about a token.
    std::optional<qint32> deviceFor(const QByteArray& token) const;

    // Devices that have a token, in order.
    QList<qint32> devices() const;

private:
    QList<std::pair<qint32, QByteArray>> read() const;
    QString m_path;
};

} // namespace kv::cradle

#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace kv::cradle {

// The handheld's side of the network cradle, as kvhandheld and kvctl speak to kvcradle.
// Failures are RunTimeErrors carrying the server's own message when it sent one.
class CradleClient {
public:
    // `server` is the cradle's base address ("http://127.0.0.1:8790"); a self-signed certificate
    // is accepted only when `trustedCertificate` (a PEM file) names it.
    explicit CradleClient(const QUrl& server, QString trustedCertificate = QString());

    struct SyncOutcome {
        qint64 sent = 0;
        qint64 received = 0;
    };
    // One sync: the handheld's file sent with the device token, the answer written back over it
    // atomically, then the sync confirmed (POST /sync/ID/done), which is when it counts. The handheld is held (an SQLite write lock) from before it is read until the
    // answer has replaced it, so nothing written on it meanwhile is lost.
    SyncOutcome sync(const QString& handheldPath, const QString& token) const;

    // The cradle's GET /status, as the JSON text it sent.
    QByteArray status() const;

private:
    struct Reply {
        int status = 0;
        QByteArray body;
        QByteArray syncId; // X-Kvcradle-Sync: the sync to confirm
    };
    Reply exchange(const QString& path, const QByteArray* body, const QString& token) const;
    QUrl m_server;
    QString m_certificate;
};

} // namespace kv::cradle

#pragma once

#include "cradle/net/ExchangeReceipt.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

class QIODevice;

namespace kv {
class AtomicFileWriter;
}

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
    // atomically, then the sync confirmed (POST /sync/ID/done), which is when it counts.
    SyncOutcome sync(const QString& handheldPath, const QString& token) const;

    // One exchange (POST /exchange): the handheld's documents into the ERP and the device's
    // fresh data back, stored over the handheld atomically, then confirmed; the cradle's report.
    ExchangeReceipt exchange(const QString& handheldPath, const QString& token) const;

    // The cradle's GET /status, as the JSON text it sent.
    QByteArray status() const;

private:
    // A sync and an exchange alike: "sync" or "exchange" is both its path and its name in messages.
    struct Stored {
        QByteArray id;
        qint64 documents = 0; // the handheld's documents (MV_CPTE) as sent
        qint64 sent = 0;
        qint64 received = 0;
        QByteArray confirmation; // the body of the confirmation's answer
    };
    // The handheld is held (an SQLite write lock) from before it is read until the answer has
    // replaced it, so nothing written on it meanwhile is lost; the answer goes straight to a
    // file beside it, never into memory.
    Stored roundTrip(const QString& handheldPath, const QString& token, const QString& noun) const;

    struct Reply {
        int status = 0;
        QByteArray body; // a refusal's or a confirmation's; an answer streamed to a file is not here
        QByteArray syncId; // X-Kvcradle-Sync: the sync or exchange to confirm
        qint64 declaredLength = -1;
        QByteArray retryAfter;
    };
    enum class Method { Get, Post };
    // One request; with `answer`, a 200 answer's body is written there as it comes. A cradle
    // whose exchanges are all taken for a moment (503 exchanges-busy, a Retry-After of a few
    // seconds) is asked again then, for a minute at most; any other refusal throws.
    Reply call(Method method, const QString& path, QIODevice* upload, const QString& token,
               AtomicFileWriter* answer = nullptr) const;
    Reply callOnce(Method method, const QString& path, QIODevice* upload, const QString& token,
                   AtomicFileWriter* answer) const;
    QUrl m_server;
    QString m_certificate;
};

} // namespace kv::cradle

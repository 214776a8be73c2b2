#pragma once

#include <atomic>
#include <optional>
#include <QByteArray>
#include <QString>

namespace kv::cradle {

// What the network cradle knows of a request before its body has been read.
struct CradleHead {
    QByteArray method;            // "GET", "POST"
    QByteArray path;              // without the query
    QByteArray authorization;     // the Authorization header as sent
    std::optional<qint64> length; // Content-Length, when given
    bool chunked = false;         // Transfer-Encoding: chunked
};

// The answer to one request, and what the log line says about it.
struct CradleAnswer {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    qint32 device = 0; // the device the token named; 0 when none did
    QString outcome;   // "copied 16 tables", or the error code
};

// The network cradle without sockets: `GET /status`, and `POST /sync` with a device token and the
// handheld's SQLite file, which runs the same sync as the cradle button on the workstation and
// answers with the handheld's file after it. A refusal changes nothing and answers JSON
// {"error": CODE, "message": TEXT}: 401 no or wrong token, 409 conduit not ready or another
// device's sync, 503 another sync under way, 400 not an SQLite file or tables missing, 413 over
// the size limit, 411 no declared length.
class CradleService {
public:
    explicit CradleService(qint64 maxBytes);

    qint64 maxBytes() const { return m_maxBytes; }

    // The answer decided on the head alone (unknown path, no or wrong token, no length, over
    // the limit), so a refused body is never buffered; nullopt when the body is to be read.
    std::optional<CradleAnswer> checkHead(const CradleHead& head) const;

    // The whole request. A sync blocks until it is over; one runs at a time in this service, and
    // one at a time in the application folder (the sync lock).
    CradleAnswer answer(const CradleHead& head, const QByteArray& body);

    // The conduit as a handheld application may see it: registered, enabled, direction, the
    // device waited for. Nothing secret.
    CradleAnswer status() const;

    static CradleAnswer refusal(int status, const QString& error, const QString& message);

private:
    CradleAnswer sync(qint32 device, const QByteArray& body);
    // checkHead, also giving the token's device when the request may go on (0 for /status).
    std::optional<CradleAnswer> checkHead(const CradleHead& head, qint32* syncing) const;
    CradleAnswer tooLarge(qint64 length) const;
    std::optional<qint32> device(const QByteArray& authorization) const;

    qint64 m_maxBytes;
    std::atomic<bool> m_syncing{false};
};

} // namespace kv::cradle

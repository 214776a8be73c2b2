#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "cradle/AwaitingConfirmation.h"

namespace kv::cradle {

class PreparedSync;
class RequestFolder;
class AppFiles;
class ExchangeService;
struct ExchangeWorkersOptions;

// What the network cradle knows of a request before its body has been read.
struct CradleHead {
    QByteArray method;            // "GET", "POST"
    QByteArray path;              // without the query
    QByteArray authorization;     // the Authorization header as sent
    std::optional<qint64> length; // Content-Length, when given
    bool chunked = false;         // Transfer-Encoding: chunked
};

// The answer to one request, and what the log line says about it. A handheld's file is answered
// from `file` (kept by the service until the sync is confirmed or dropped), anything else from
// `body`.
struct CradleAnswer {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QString file;
    QList<std::pair<QByteArray, QByteArray>> headers; // besides Content-Type and Content-Length
    qint32 device = 0; // the device the token named; 0 when none did
    QString outcome;   // "copied 16 tables", or the error code
};

// Limits of the service itself; the network layer keeps its own (connections, head, deadlines).
struct CradleLimits {
    qint64 maxBytes = qint64(64) << 20; // largest handheld file
    std::chrono::seconds confirmWithin{60};
    std::chrono::seconds workBudget{120}; // the most work a handheld's file may ask for
};

// The network cradle without sockets. `GET /status`; `POST /sync` with a device token and the
// handheld's SQLite file, which prepares the same sync as the cradle button on the workstation
// and answers with the handheld's file after it and the sync's id (header X-Kvcradle-Sync); and
// `POST /sync/ID/done`, with which the handheld says it has stored that file. Only then does the
// sync count (the store's side committed, the waiting program told); a sync not confirmed within
// `confirmWithin` is dropped whole and the program goes on waiting.
//
// `POST /exchange` and `POST /exchange/ID/done`: a handheld's exchange with nobody at a cradle
// (ExchangeService.h).
//
// `GET /app/...` answers the handheld web application's files (AppFiles.h).
//
// A refusal changes nothing and answers JSON {"error": CODE, "message": TEXT}: 400 a malformed
// request, 401 no or wrong token, 404 unknown path or sync id, 405 wrong method, 409 conduit
// not ready or another device's sync, 411 no declared length, 413 over the size limit, 422 the
// handheld's file itself is refused (not SQLite, tables missing, unsafe schema, content the
// store refuses, too much work), 503 another sync under way or the cradle stopping (with
// Retry-After), 500 a fault of the cradle itself, whose message names no path of the server.
class CradleService {
public:
    explicit CradleService(CradleLimits limits = {});
    ~CradleService();
    CradleService(const CradleService&) = delete;
    CradleService& operator=(const CradleService&) = delete;

    const CradleLimits& limits() const { return m_limits; }
    // The folder of the handheld web application answered at /app/ (none when empty).
    void setAppFolder(const QString& folder);
    // Takes exchanges, run as `workers` says (until called, /exchange is refused: 409 exchange-off).
    void offerExchanges(const ExchangeWorkersOptions& workers);
    // The largest body the request may carry: 0 for paths that take none.
    qint64 bodyLimit(const CradleHead& head) const;

    // The answer decided on the head alone (unknown path, wrong method, no or wrong token, no
    // length, over the limit), so a refused body is never read; nullopt when the body is to be
    // read into a file.
    std::optional<CradleAnswer> checkHead(const CradleHead& head) const;

    // The whole request, its body (when it has one) in `bodyFile`, a file the caller made and
    // removes. A sync blocks until its answer is ready; one sync runs at a time.
    CradleAnswer answer(const CradleHead& head, const QString& bodyFile);

    // Drops the prepared syncs whose confirmation is overdue; called now and then by the server.
    // A line for the log about each one dropped.
    QStringList expire();
    // From now on a new sync is refused (503): the cradle is stopping. Confirmations are still
    // taken, so the sync under way can be finished.
    void stop();
    // No sync under way or awaiting its confirmation.
    bool idle() const;
    // When the next prepared sync falls due (nullopt: none waits).
    std::optional<std::chrono::steady_clock::time_point> nextDeadline() const;

    // The conduit as a handheld application may see it: registered, enabled, direction, the
    // device waited for. Nothing secret.
    CradleAnswer status() const;

    static CradleAnswer refusal(int status, const QString& error, const QString& message);

private:
    struct HeldSync {
        std::unique_ptr<PreparedSync> sync;
        std::unique_ptr<RequestFolder> folder; // the handheld's copy and its answer live here
    };

    CradleAnswer sync(qint32 device, const QString& bodyFile);
    CradleAnswer confirm(qint32 device, const QByteArray& id);
    std::optional<CradleAnswer> checkHead(const CradleHead& head, qint32* device) const;
    CradleAnswer tooLarge(qint64 length, qint64 limit) const;
    std::optional<qint32> deviceOf(const QByteArray& authorization) const;

    CradleLimits m_limits;
    std::unique_ptr<AppFiles> m_app;
    std::unique_ptr<ExchangeService> m_exchanges;
    mutable std::mutex m_mutex; // guards everything below
    bool m_syncing = false;     // a sync is being prepared
    bool m_stopping = false;
    AwaitingConfirmation<HeldSync> m_pending;
};

// "/sync/ID/done" → ID; empty for any other path.
QByteArray confirmedSyncId(const QByteArray& path);
// "/exchange/ID/done" → ID; empty for any other path.
QByteArray confirmedExchangeId(const QByteArray& path);

} // namespace kv::cradle

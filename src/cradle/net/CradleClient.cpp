#include "cradle/net/CradleClient.h"

#include "app/AtomicFile.h"
#include "app/RunTimeError.h"
#include "cradle/SqliteFile.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <sqlite3.h>

namespace kv::cradle {

namespace {

const QString kSource = QStringLiteral("kvcradle client");
constexpr long kRefused = 93;     // the cradle answered with a refusal
constexpr long kUnreachable = 94; // no answer from the cradle
// A sync may wait for the sync lock and copy a large store: the limit is on silence, not on
// the whole exchange.
constexpr int kSilenceMs = 300000;

} // namespace

CradleClient::CradleClient(const QUrl& server, QString trustedCertificate)
    : m_server(server), m_certificate(std::move(trustedCertificate)) {}

CradleClient::Reply CradleClient::exchange(const QString& path, const QByteArray* body,
                                           const QString& token) const {
    QUrl url = m_server;
    url.setPath(url.path().endsWith(QLatin1Char('/')) ? url.path() + path.mid(1) : url.path() + path);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        throw RunTimeError(
            kUnreachable,
            QStringLiteral("%1 is not an http:// or https:// address.").arg(m_server.toString()), kSource);
    QNetworkRequest request(url);
    request.setTransferTimeout(kSilenceMs);
    if (!token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    if (!m_certificate.isEmpty()) {
        QFile pem(m_certificate);
        if (!pem.open(QIODevice::ReadOnly))
            throw RunTimeError(kUnreachable, QStringLiteral("Cannot read %1.").arg(m_certificate), kSource);
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromData(pem.readAll(), QSsl::Pem));
        request.setSslConfiguration(tls);
    }
    QNetworkAccessManager manager;
    QNetworkReply* reply;
    if (body) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/vnd.sqlite3"));
        reply = manager.post(request, *body);
    } else {
        reply = manager.get(request);
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    Reply r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.body = reply->readAll();
    r.syncId = reply->rawHeader("X-Kvcradle-Sync");
    const QString problem = reply->errorString();
    const bool noAnswer = r.status == 0;
    reply->deleteLater();
    if (noAnswer)
        throw RunTimeError(kUnreachable,
                           QStringLiteral("No answer from the cradle at %1: %2").arg(url.toString(), problem),
                           kSource);
    if (r.status != 200) {
        const QJsonObject refusal = QJsonDocument::fromJson(r.body).object();
        const QString message = refusal.value(QStringLiteral("message")).toString();
        throw RunTimeError(kRefused,
                           QStringLiteral("The cradle refused (%1 %2): %3")
                               .arg(r.status)
                               .arg(refusal.value(QStringLiteral("error")).toString(),
                                    message.isEmpty() ? QString::fromUtf8(r.body.left(200)) : message),
                           kSource);
    }
    return r;
}

QByteArray CradleClient::status() const {
    return exchange(QStringLiteral("/status"), nullptr, QString()).body;
}

CradleClient::SyncOutcome CradleClient::sync(const QString& handheldPath, const QString& token) const {
    // Opening rolls back what a killed program left half written; a rollback journal keeps the
    // whole database in the one file that is sent; the write lock keeps captures out until the
    // answer is in place.
    const Database handheld(handheldPath, QStringLiteral("handheld"), Trust::Untrusted);
    handheld.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
    Transaction hold(handheld);
    // The bytes come through the connection that holds the lock: opening and closing the file
    // another way would drop this process's locks on it (POSIX locks belong to the process).
    sqlite3_int64 size = 0;
    unsigned char* image = sqlite3_serialize(handheld.handle(), "main", &size, 0);
    if (!image) handheld.fail(QStringLiteral("Cannot read the handheld"));
    const QByteArray sent(reinterpret_cast<const char*>(image), qsizetype(size));
    sqlite3_free(image);
    const Reply reply = exchange(QStringLiteral("/sync"), &sent, token);
    if (!reply.body.startsWith(QByteArrayLiteral("SQLite format 3")))
        throw RunTimeError(kRefused,
                           QStringLiteral("The cradle's answer is not an SQLite database; the handheld "
                                          "was left as it was."),
                           kSource);
    if (reply.syncId.isEmpty())
        throw RunTimeError(kRefused,
                           QStringLiteral("The cradle's answer carries no sync id to confirm; the handheld "
                                          "was left as it was."),
                           kSource);
    writeFileAtomically(handheld.path(), reply.body, 0600, kSource);
    // Only now, with the answer stored, does the sync count on the cradle's side.
    const QByteArray none;
    try {
        exchange(QStringLiteral("/sync/%1/done").arg(QString::fromLatin1(reply.syncId)), &none, token);
    } catch (const RunTimeError& e) {
        throw RunTimeError(e.number(),
                           QStringLiteral("The handheld holds the cradle's answer, but the cradle did not "
                                          "take its confirmation, so the sync did not count: sync again. (%1)")
                               .arg(e.description()),
                           kSource);
    }
    return {sent.size(), reply.body.size()};
}

} // namespace kv::cradle

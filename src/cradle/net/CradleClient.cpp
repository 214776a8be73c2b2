#include "cradle/net/CradleClient.h"

#include "app/AtomicFileWriter.h"
#include "app/RunTimeError.h"
#include "cradle/net/SqliteImage.h"
#include "cradle/SqliteFile.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QThread>
#include <algorithm>

namespace kv::cradle {

namespace {

const QString kSource = QStringLiteral("kvcradle client");
constexpr long kRefused = 93;     // the cradle answered with a refusal
constexpr long kUnreachable = 94; // no answer from the cradle
// A sync may wait for the sync lock and copy a large store: the limit is on silence, not on
// the whole exchange.
constexpr int kSilenceMs = 300000;
// What the client holds of an answer at once: the network layer stops reading past it.
constexpr qint64 kReadBuffer = 1 << 20;
// A refusal is a short JSON text; more of it is not kept.
constexpr qsizetype kRefusalBytes = 65536;

QString refusalText(int status, const QByteArray& body, const QByteArray& retryAfter) {
    const QJsonObject refusal = QJsonDocument::fromJson(body).object();
    const QString message = refusal.value(QStringLiteral("message")).toString();
    QString text = QStringLiteral("The cradle refused (%1 %2): %3")
                       .arg(status)
                       .arg(refusal.value(QStringLiteral("error")).toString(),
                            message.isEmpty() ? QString::fromUtf8(body.left(200)) : message);
    bool seconds = false;
    const int wait = retryAfter.trimmed().toInt(&seconds);
    if (seconds && wait >= 0) text += QStringLiteral(" Try again in %1 s.").arg(wait);
    return text;
}

// `text` with `more` after it as a sentence of its own.
QString andThen(const QString& text, const QString& more) {
    const QString t = text.trimmed();
    return t + (t.endsWith(QLatin1Char('.')) ? QStringLiteral(" ") : QStringLiteral(". ")) + more;
}

} // namespace

CradleClient::CradleClient(const QUrl& server, QString trustedCertificate)
    : m_server(server), m_certificate(std::move(trustedCertificate)) {}

CradleClient::Reply CradleClient::call(Method method, const QString& path, QIODevice* upload, const QString& token,
                                       AtomicFileWriter* answer) const {
    constexpr int kLongestRetryAfter = 5, kRetryForSeconds = 60;
    for (int waited = 0;;) {
        Reply r = callOnce(method, path, upload, token, answer);
        if (r.status == 200) return r;
        bool seconds = false;
        const int wait = r.retryAfter.trimmed().toInt(&seconds);
        const bool busy = r.status == 503 && QJsonDocument::fromJson(r.body).object().value(QStringLiteral("error")) ==
                                                 QStringLiteral("exchanges-busy");
        if (busy && seconds && wait >= 0 && wait <= kLongestRetryAfter && waited + wait <= kRetryForSeconds &&
            (!upload || upload->seek(0))) {
            QThread::sleep(std::max(wait, 1));
            waited += std::max(wait, 1);
            continue;
        }
        throw RunTimeError(kRefused, refusalText(r.status, r.body, r.retryAfter), kSource);
    }
}

CradleClient::Reply CradleClient::callOnce(Method method, const QString& path, QIODevice* upload,
                                           const QString& token, AtomicFileWriter* answer) const {
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
    if (method == Method::Get) {
        reply = manager.get(request);
    } else if (upload) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/vnd.sqlite3"));
        request.setHeader(QNetworkRequest::ContentLengthHeader, upload->size());
        reply = manager.post(request, upload);
    } else {
        reply = manager.post(request, QByteArray());
    }
    reply->setReadBufferSize(kReadBuffer);
    Reply r;
    bool storeFailed = false;
    QString storeProblem;
    // A 200 answer goes to the file as it comes; anything else is a refusal, kept short.
    const auto take = [&] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray piece = reply->readAll();
        if (storeFailed) return;
        if (status == 200 && answer) {
            try {
                answer->write(piece);
            } catch (const RunTimeError& e) {
                storeFailed = true;
                storeProblem = e.description();
                reply->abort();
            }
        } else if (r.body.size() < kRefusalBytes) {
            r.body += piece.left(kRefusalBytes - r.body.size());
        }
    };
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    take();
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.syncId = reply->rawHeader("X-Kvcradle-Sync");
    if (reply->hasRawHeader("Content-Length")) r.declaredLength = reply->rawHeader("Content-Length").toLongLong();
    r.retryAfter = reply->rawHeader("Retry-After");
    const bool broken = reply->error() != QNetworkReply::NoError && r.status == 200;
    const QString problem = reply->errorString();
    reply->deleteLater();
    if (storeFailed) throw RunTimeError(err::PathFileAccess, storeProblem, kSource);
    if (r.status == 0 || broken)
        throw RunTimeError(kUnreachable,
                           QStringLiteral("No answer from the cradle at %1: %2").arg(url.toString(), problem),
                           kSource);
    return r;
}

QByteArray CradleClient::status() const {
    return call(Method::Get, QStringLiteral("/status"), nullptr, QString()).body;
}

CradleClient::Stored CradleClient::roundTrip(const QString& handheldPath, const QString& token,
                                             const QString& noun) const {
    const QString keptAsItWas = QStringLiteral("The handheld was left as it was.");
    // Read through a descriptor of its own that stays open until the handheld's connection has
    // closed: closing any descriptor of the file would drop this process's locks on it (POSIX
    // locks belong to the process), so it is declared before the connection and goes after it.
    QFile upload(handheldPath);
    // Opening rolls back what a killed program left half written; a rollback journal keeps the
    // whole database in the one file that is sent; the write lock keeps captures out until the
    // answer is in place.
    const Database handheld(handheldPath, QStringLiteral("handheld"), Trust::Untrusted);
    handheld.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
    Transaction hold(handheld);
    Stored stored;
    try {
        stored.documents = handheld.value(QStringLiteral("SELECT count(*) FROM MV_CPTE")).toLongLong();
    } catch (const RunTimeError&) {
        // A handheld without its document table: the cradle names what it lacks.
    }
    if (!upload.open(QIODevice::ReadOnly))
        throw RunTimeError(err::PathFileAccess,
                           QStringLiteral("Cannot read the handheld %1: %2").arg(handheldPath, upload.errorString()),
                           kSource);
    stored.sent = upload.size();
    AtomicFileWriter answer(handheld.path(), 0600, kSource);
    Reply reply;
    try {
        reply = call(Method::Post, QLatin1Char('/') + noun, &upload, token, &answer);
    } catch (const RunTimeError& e) {
        if (e.number() != kUnreachable) throw RunTimeError(e.number(), andThen(e.description(), keptAsItWas), kSource);
        throw RunTimeError(e.number(),
                           andThen(e.description(), keptAsItWas) +
                               (noun == QLatin1String("exchange")
                                    ? QStringLiteral(" Whatever the cradle took from it into the ERP stays there, "
                                                     "and the next exchange finds it: exchange again.")
                                    : QStringLiteral(" Nothing counted: sync again.")),
                           kSource);
    }
    const QString wrong = sqliteImageProblem(answer, reply.declaredLength);
    if (!wrong.isEmpty())
        throw RunTimeError(kRefused, andThen(QStringLiteral("The cradle's answer %1").arg(wrong), keptAsItWas), kSource);
    if (reply.syncId.isEmpty())
        throw RunTimeError(kRefused,
                           andThen(QStringLiteral("The cradle's answer carries no %1 id to confirm").arg(noun), keptAsItWas),
                           kSource);
    stored.received = answer.written();
    answer.commit();
    stored.id = reply.syncId;
    // Only now, with the answer stored, does it count on the cradle's side.
    try {
        stored.confirmation =
            call(Method::Post, QStringLiteral("/%1/%2/done").arg(noun, QString::fromLatin1(reply.syncId)), nullptr, token)
                .body;
    } catch (const RunTimeError& e) {
        throw RunTimeError(e.number(),
                           noun == QLatin1String("exchange")
                               ? QStringLiteral("The handheld holds the cradle's answer and its documents are in "
                                                "the ERP, but the cradle did not take the confirmation, so this "
                                                "exchange is not counted in its history. Nothing is lost or "
                                                "doubled; the next exchange is counted as usual. (%1)")
                                     .arg(e.description())
                               : QStringLiteral("The handheld holds the cradle's answer, but the cradle did not "
                                                "take its confirmation, so the sync did not count: sync again. (%1)")
                                     .arg(e.description()),
                           kSource);
    }
    return stored;
}

CradleClient::SyncOutcome CradleClient::sync(const QString& handheldPath, const QString& token) const {
    const Stored s = roundTrip(handheldPath, token, QStringLiteral("sync"));
    return {s.sent, s.received};
}

ExchangeReceipt CradleClient::exchange(const QString& handheldPath, const QString& token) const {
    const Stored s = roundTrip(handheldPath, token, QStringLiteral("exchange"));
    bool ok = false;
    ExchangeReceipt report = ExchangeReceipt::fromJson(s.confirmation, &ok);
    if (!ok)
        throw RunTimeError(kRefused,
                           QStringLiteral("The exchange %1 is done and confirmed, but the cradle's report is not "
                                          "JSON; its history row says what it did.")
                               .arg(QString::fromLatin1(s.id)),
                           kSource);
    if (report.id.isEmpty()) report.id = QString::fromLatin1(s.id);
    report.documents = s.documents;
    report.bytesSent = s.sent;
    report.bytesReceived = s.received;
    return report;
}

} // namespace kv::cradle

#include "cradle/net/CradleServer.h"

#include "cradle/RequestFolder.h"

#include <atomic>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <thread>

namespace kv::cradle {

namespace {

constexpr qsizetype kMaxHeadBytes = 64 * 1024;
// What a refused request may still send, read and thrown away, before the connection is closed:
// a client that sends its whole body before it reads the answer (as Qt's own does) sees the
// refusal only when its body has gone. Closing earlier would reset the connection under it.
constexpr qint64 kDrainBytes = qint64(1) << 30;

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Internal Server Error";
    }
}

// Reads each request's head as it arrives, before Qt HTTP Server's own reader (connected after
// it) buffers the body; refuses on the head alone, answers "100 Continue" to a client that waits
// for it, and drops a connection that stalls.
class HeadReader : public QObject {
public:
    HeadReader(QTcpSocket* socket, CradleServer* server)
        : QObject(socket), m_socket(socket), m_server(server) {
        m_stall.setSingleShot(true);
        m_stall.setInterval(server->stallMs());
        connect(&m_stall, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QIODevice::readyRead, this, &HeadReader::onReadyRead);
        connect(socket, &QIODevice::bytesWritten, this, [this] { m_stall.start(); });
        m_stall.start();
    }

private:
    void onReadyRead() {
        m_stall.start();
        if (m_refused) {
            m_drained += m_socket->readAll().size();
            if (m_drained >= m_drain) m_socket->disconnectFromHost();
            return;
        }
        // The HTTP server reads everything that has come each time, so what is readable here is
        // what arrived since the last call.
        feed(m_socket->peek(m_socket->bytesAvailable()));
    }

    void feed(QByteArray bytes) {
        while (!bytes.isEmpty() && !m_refused) {
            if (m_remaining > 0) {
                const qint64 take = std::min<qint64>(m_remaining, bytes.size());
                m_remaining -= take;
                bytes.remove(0, take);
                if (m_remaining == 0) m_stall.stop(); // the request is whole: the server answers
                continue;
            }
            m_head += bytes;
            bytes.clear();
            const qsizetype end = m_head.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_head.size() > kMaxHeadBytes)
                    refuse(CradleService::refusal(431, QStringLiteral("head-too-large"),
                                                  QStringLiteral("The request's head is too large.")),
                           {}, {}, 0);
                return;
            }
            bytes = m_head.mid(end + 4);
            const QByteArray head = m_head.left(end);
            m_head.clear();
            readHead(head);
            if (m_remaining == 0) m_stall.stop();
        }
    }

    void readHead(const QByteArray& text) {
        const QList<QByteArray> lines = text.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        CradleHead head;
        head.method = requestLine.value(0);
        head.path = requestLine.value(1).split('?').value(0);
        bool expectsContinue = false;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon < 0) continue;
            const QByteArray name = lines[i].left(colon).trimmed().toLower();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            if (name == "content-length") {
                bool ok = false;
                const qint64 n = value.toLongLong(&ok);
                head.length = ok && n >= 0 ? std::optional<qint64>(n) : std::optional<qint64>(-1);
            } else if (name == "transfer-encoding") {
                head.chunked = !value.isEmpty() && value.toLower() != "identity";
            } else if (name == "authorization") {
                head.authorization = value;
            } else if (name == "expect") {
                expectsContinue = value.toLower() == "100-continue";
            }
        }
        if (head.length && *head.length < 0) {
            refuse(CradleService::refusal(400, QStringLiteral("bad-length"),
                                          QStringLiteral("The Content-Length is not a number.")),
                   head.method, head.path, 0);
            return;
        }
        if (std::optional<CradleAnswer> refused = m_server->service().checkHead(head)) {
            refuse(*refused, head.method, head.path, head.length.value_or(0));
            return;
        }
        m_remaining = head.length.value_or(0);
        if (expectsContinue && m_remaining > 0) m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    }

    // Answers on the socket itself and takes the connection from the HTTP server, which never
    // sees the request.
    void refuse(const CradleAnswer& answer, const QByteArray& method, const QByteArray& path,
                qint64 declared) {
        m_refused = true;
        QObject::disconnect(m_socket, &QIODevice::readyRead, m_server->http(), nullptr);
        if (m_socket->isTransactionStarted()) m_socket->commitTransaction();
        m_socket->readAll();
        m_drain = std::min(declared, kDrainBytes);
        m_socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reason(answer.status) +
                        "\r\nContent-Type: " + answer.contentType +
                        "\r\nContent-Length: " + QByteArray::number(answer.body.size()) +
                        "\r\nConnection: close\r\n\r\n" + answer.body);
        m_server->logLine(m_socket->peerAddress(), method, path, answer, 0, 0);
        if (m_drain == 0) m_socket->disconnectFromHost();
    }

    QTcpSocket* m_socket;
    CradleServer* m_server;
    QTimer m_stall;
    QByteArray m_head;
    qint64 m_remaining = 0;
    bool m_refused = false;
    qint64 m_drain = 0;
    qint64 m_drained = 0;
};

// A listening socket whose connections get a head reader before the HTTP server sees them.
template <class Base> class ReadingServer : public Base {
public:
    explicit ReadingServer(CradleServer* server) : m_server(server) {}
    QTcpSocket* nextPendingConnection() override {
        QTcpSocket* socket = Base::nextPendingConnection();
        if (socket) new HeadReader(socket, m_server);
        return socket;
    }

private:
    CradleServer* m_server;
};

} // namespace

CradleServer::CradleServer(CradleService& service, QTextStream& log, QObject* parent)
    : QObject(parent), m_service(service), m_log(log) {
    // A sync whose answer never reached its handheld is dropped once its confirmation is overdue,
    // so a lost answer never keeps the sync lock.
    auto* expiry = new QTimer(this);
    connect(expiry, &QTimer::timeout, this, [this] {
        for (const QString& line : m_service.expire())
            m_log << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << ' ' << line << Qt::endl;
    });
    expiry->start(1000);
}

CradleServer::~CradleServer() = default;

quint16 CradleServer::port() const {
    return m_tcp ? m_tcp->serverPort() : 0;
}

bool CradleServer::start(const CradleServerOptions& options, QString* error) {
    m_stallMs = options.stallSeconds * 1000;
    if (options.certificate.isEmpty() != options.key.isEmpty()) {
        *error = QStringLiteral("--cert and --key go together");
        return false;
    }
    if (!options.certificate.isEmpty()) {
        QFile certFile(options.certificate), keyFile(options.key);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            *error =
                QStringLiteral("cannot read %1").arg(certFile.isOpen() ? options.key : options.certificate);
            return false;
        }
        const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
        const QByteArray keyText = keyFile.readAll();
        QSslKey key(keyText, QSsl::Rsa, QSsl::Pem);
        if (key.isNull()) key = QSslKey(keyText, QSsl::Ec, QSsl::Pem);
        if (chain.isEmpty() || key.isNull()) {
            *error = QStringLiteral("%1 holds no PEM certificate or %2 no PEM private key (RSA or EC)")
                         .arg(options.certificate, options.key);
            return false;
        }
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(key);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto* ssl = new ReadingServer<QSslServer>(this);
        ssl->setSslConfiguration(tls);
        ssl->setHandshakeTimeout(m_stallMs);
        // The HTTP server takes connections when the listening socket says one is new; an
        // encrypted one is ready only after its handshake.
        connect(ssl, &QTcpServer::pendingConnectionAvailable, ssl, &QTcpServer::newConnection);
        m_tcp = ssl;
    } else {
        m_tcp = new ReadingServer<QTcpServer>(this);
    }
    if (!m_tcp->listen(options.address, options.port)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(options.address.toString())
                     .arg(options.port)
                     .arg(m_tcp->errorString());
        return false;
    }
    m_http = new QHttpServer(this);
    m_http->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
        CradleHead head;
        head.method = request.method() == QHttpServerRequest::Method::Post  ? QByteArray("POST")
                      : request.method() == QHttpServerRequest::Method::Get ? QByteArray("GET")
                                                                            : QByteArray("OTHER");
        head.path = request.url().path().toUtf8();
        head.authorization = request.value("authorization");
        const QByteArray body = request.body();
        head.length = body.size();
        RequestFolder folder;
        const QString bodyFile = folder.filePath(QStringLiteral("body"));
        if (QFile f(bodyFile); f.open(QIODevice::WriteOnly)) f.write(body);
        QElapsedTimer clock;
        clock.start();
        // A sync runs beside the event loop, which goes on serving other connections (their
        // status, their refusals); anything else is answered at once.
        CradleAnswer answer;
        std::exception_ptr failure;
        auto work = [&] {
            try {
                answer = m_service.answer(head, bodyFile);
            } catch (...) {
                failure = std::current_exception();
            }
        };
        if (head.path.startsWith("/sync") && head.method == "POST") {
            std::atomic<bool> done{false};
            QEventLoop loop;
            std::thread worker([&] {
                work();
                done = true;
                QMetaObject::invokeMethod(
                    &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
            });
            if (!done) loop.exec();
            worker.join();
        } else {
            work();
        }
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                answer = CradleService::refusal(500, QStringLiteral("sync-failed"),
                                                QString::fromLocal8Bit(e.what()));
            }
        }
        if (!answer.file.isEmpty()) {
            QFile f(answer.file);
            answer.body = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        if (answer.headers.isEmpty())
            responder.write(answer.body, answer.contentType, QHttpServerResponder::StatusCode(answer.status));
        else
            responder.write(answer.body,
                            {{"Content-Type", answer.contentType}, answer.headers.first()},
                            QHttpServerResponder::StatusCode(answer.status));
        logLine(request.remoteAddress(), head.method, head.path, answer, body.size(),
                clock.elapsed() / 1000.0);
    });
    m_http->bind(m_tcp);
    return true;
}

void CradleServer::logLine(const QHostAddress& peer, const QByteArray& method, const QByteArray& path,
                           const CradleAnswer& answer, qint64 bytesIn, double seconds) {
    m_log << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << ' ' << peer.toString() << ' '
          << (method.isEmpty() ? QByteArray("-") : method) << ' ' << (path.isEmpty() ? QByteArray("-") : path)
          << " device " << (answer.device > 0 ? QString::number(answer.device) : QStringLiteral("-")) << ' '
          << answer.status << ' ' << answer.outcome << " in " << bytesIn << " out " << answer.body.size()
          << " bytes " << QString::number(seconds, 'f', 2) << " s" << Qt::endl;
}

} // namespace kv::cradle

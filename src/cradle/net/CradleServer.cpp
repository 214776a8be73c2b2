#include "cradle/net/CradleServer.h"

#include "cradle/net/Answers.h"
#include "cradle/net/CradleLog.h"
#include "cradle/net/Exchange.h"
#include "cradle/net/RequestHead.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <QFile>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kv::cradle {

namespace {

// Files the service opens for a sync (the store, the upload, their journals, the answer) and
// the library's own (listening socket, epoll, its wake-up channel), kept free of connections.
constexpr long kFilesKept = 40;

// The largest refused body read (and thrown away) before its refusal goes out: a handheld's
// file somewhat over the limit, on a path that takes one; next to nothing on the others.
constexpr qint64 kDrainBytes = qint64(256) << 20;
constexpr qint64 kDrainBytesWithoutBody = 64 * 1024;

QByteArray header(MHD_Connection* mhd, const char* name) {
    return QByteArray(MHD_lookup_connection_value(mhd, MHD_HEADER_KIND, name));
}

// Whether a refusal goes out before the body it spares, the connection closed after it: when
// the client waits for "100 Continue", or the body is in chunks or huge. A client already sending
// a body of a sane size is let finish first (the body thrown away as it comes), else closing on
// its unread bytes would reset the connection under the refusal.
bool refuseBeforeBody(MHD_Connection* mhd, const CradleHead& head, qint64 pathLimit) {
    return head.chunked || *head.length > (pathLimit > 0 ? kDrainBytes : kDrainBytesWithoutBody) ||
           header(mhd, MHD_HTTP_HEADER_EXPECT).compare("100-continue", Qt::CaseInsensitive) == 0;
}

CradleServer* serverOf(void* cls) {
    return static_cast<CradleServer*>(cls);
}

MHD_Result onRequest(void* cls, MHD_Connection* mhd, const char* url, const char* method, const char*,
                     const char* data, size_t* size, void** requestContext) {
    auto* exchange = static_cast<Exchange*>(*requestContext);
    if (!exchange) return MHD_NO; // every request begins with its target: never here
    try {
        return MHD_Result(serverOf(cls)->handle(mhd, *exchange, url, method, data, size));
    } catch (...) {
        exchange->dropReason = QStringLiteral("cradle-fault");
        return MHD_NO;
    }
}

void* onTarget(void* cls, const char* target, MHD_Connection* mhd) {
    return serverOf(cls)->requestBegins(mhd, target);
}

void onCompleted(void* cls, MHD_Connection* mhd, void** requestContext, MHD_RequestTerminationCode code) {
    serverOf(cls)->requestEnded(mhd, static_cast<Exchange*>(*requestContext), int(code));
    *requestContext = nullptr;
}

void onConnection(void* cls, MHD_Connection* mhd, void** context, MHD_ConnectionNotificationCode code) {
    if (code == MHD_CONNECTION_NOTIFY_STARTED)
        serverOf(cls)->connectionStarted(mhd, context);
    else if (*context)
        serverOf(cls)->connectionClosed(static_cast<Connection*>(*context));
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) *context = nullptr;
}

void onMessage(void* cls, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    serverOf(cls)->libraryMessage(text);
}

// The files this process has open now.
long filesOpen() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return 16;
    long n = 0;
    while (::readdir(dir))
        ++n;
    ::closedir(dir);
    return n - 3; // ".", ".." and the directory itself
}

QByteArray peerOf(const sockaddr* address) {
    QHostAddress peer(address);
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    if (mapped) peer = QHostAddress(v4);
    return peer.toString().toLatin1();
}

} // namespace

CradleServer::CradleServer(CradleService& service, CradleLog& log) : m_service(service), m_log(log) {}

CradleServer::~CradleServer() {
    stop();
}

quint16 CradleServer::port() const {
    const MHD_DaemonInfo* info =
        m_daemon ? MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    return info ? info->port : 0;
}

bool CradleServer::start(const CradleServerOptions& options, QString* error) {
    m_limits = options.limits;
    const bool tls = !options.certificate.isEmpty();
    if (tls && !readTlsFiles(options.certificate, options.key, &m_tls, error)) return false;

    // Past the file limit the library can only spin on accept(): hold fewer connections.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    const long allowed = files.rlim_cur == RLIM_INFINITY ? 1 << 20 : long(files.rlim_cur);
    const long spare = (allowed - filesOpen() - kFilesKept) / 2; // a socket and its body's or answer's file
    if (spare < 1) {
        *error = QStringLiteral("this process may open only %1 files, too few for the cradle").arg(allowed);
        return false;
    }
    m_connectionLimit = unsigned(std::min<long>(m_limits.connections, spare));
    // One address never holds more than half of them, so a handheld elsewhere still gets in.
    m_perAddressLimit = std::min(m_limits.perAddress, std::max(1u, m_connectionLimit / 2));

    sockaddr_storage address{};
    // poll(), not epoll: with epoll this library version notices a client gone mid-body only at
    // the idle timeout.
    unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (options.address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(options.port);
        const Q_IPV6ADDR ip = options.address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, &ip, sizeof ip);
        flags |= MHD_USE_IPv6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(options.port);
        v4->sin_addr.s_addr = htonl(options.address.toIPv4Address());
    }
    if (tls) flags |= MHD_USE_TLS;

    // The head lives in the connection's memory, beside its read buffer and the answer's head:
    // the library refuses a head larger than that whatever way it comes, and readHead() the
    // rest over the limit.
    const std::size_t memory = std::max<std::size_t>(2 * m_limits.headBytes + 16 * 1024, 32 * 1024);
    std::vector<MHD_OptionItem> items{
        {MHD_OPTION_EXTERNAL_LOGGER, intptr_t(&onMessage), this},
        {MHD_OPTION_SOCK_ADDR, 0, &address},
        {MHD_OPTION_CONNECTION_LIMIT, intptr_t(m_connectionLimit), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, intptr_t(m_perAddressLimit), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, intptr_t(memory), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, intptr_t(m_limits.idle.count()), nullptr},
        {MHD_OPTION_STRICT_FOR_CLIENT, 1, nullptr},
        {MHD_OPTION_URI_LOG_CALLBACK, intptr_t(&onTarget), this},
        {MHD_OPTION_NOTIFY_COMPLETED, intptr_t(&onCompleted), this},
        {MHD_OPTION_NOTIFY_CONNECTION, intptr_t(&onConnection), this},
    };
    if (tls) {
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, m_tls.certificate.data()});
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, m_tls.key.data()});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});

    m_connections = std::make_unique<Connections>(m_limits.deadline);
    m_daemon = MHD_start_daemon(flags, options.port, nullptr, nullptr, &onRequest, this, MHD_OPTION_ARRAY,
                                items.data(), MHD_OPTION_END);
    if (!m_daemon) {
        *error = QStringLiteral("cannot listen on %1:%2 (see the line above)")
                     .arg(options.address.toString())
                     .arg(options.port);
        return false;
    }
    m_connections->startWatchdog([this] {
        try {
            for (const QString& line : m_service.expire())
                m_log.say(QStringLiteral("kvcradle: ") +
                          QString::fromUtf8(escapedForLog(line.toUtf8(), true)));
        } catch (const std::exception& e) {
            m_log.say(QStringLiteral("kvcradle: dropping overdue syncs failed: ") +
                      QString::fromUtf8(escapedForLog(e.what(), true)));
        }
    });
    return true;
}

void CradleServer::stop() {
    if (m_daemon) MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    if (m_connections) m_connections->stopWatchdog();
}

void CradleServer::connectionStarted(MHD_Connection* mhd, void** context) {
    auto* c = new Connection;
    c->opened = std::chrono::steady_clock::now();
    if (const MHD_ConnectionInfo* fd = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_CONNECTION_FD))
        c->fd = fd->connect_fd;
    if (const MHD_ConnectionInfo* peer = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
        c->peer = peerOf(peer->client_addr);
    c->tls = !m_tls.certificate.isEmpty();
    *context = c;
    m_connections->add(c);
}

void CradleServer::connectionClosed(Connection* c) {
    m_connections->remove(c); // before the library closes its descriptor
    if (c->current) {
        // The library dropped it without saying so to its request.
        requestEnded(nullptr, c->current, MHD_REQUEST_TERMINATED_WITH_ERROR);
    } else if (c->requests == 0 || c->deadlinePassed) {
        LogEntry e;
        e.peer = c->peer;
        e.outcome = closedBecause(*c);
        e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - c->opened).count();
        m_log.request(e);
    }
    delete c;
}

Exchange* CradleServer::requestBegins(MHD_Connection* mhd, const char* target) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto* c = static_cast<Connection*>(info ? info->socket_context : nullptr);
    if (!c) return nullptr;
    auto* exchange = new Exchange(*c, QByteArray(target));
    ++c->requests;
    c->current = exchange;
    ++m_inFlight;
    return exchange;
}

void CradleServer::requestEnded(MHD_Connection* mhd, Exchange* exchange, int termination) {
    if (!exchange) return;
    Connection& c = exchange->connection;
    LogEntry e;
    e.peer = c.peer;
    e.method = exchange->head.method;
    e.path = exchange->headRead ? exchange->head.path : exchange->target.split('?').value(0);
    e.device = exchange->answer.device;
    e.bytesIn = exchange->bytesIn;
    e.bytesOut = exchange->bytesOut;
    e.seconds = exchange->clock.nsecsElapsed() / 1e9;
    // An answer the library made itself (a head too large for it, a malformed request) closes
    // the connection after it, so its request ends "with an error" though it was answered.
    const MHD_ConnectionInfo* info =
        mhd && !exchange->queued ? MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_HTTP_STATUS) : nullptr;
    if (termination == MHD_REQUEST_TERMINATED_COMPLETED_OK && exchange->queued) {
        e.status = exchange->answer.status;
        e.outcome = exchange->answer.outcome;
    } else if (info && info->http_status >= 400 && !m_connections->deadlinePassed(&c)) {
        e.status = int(info->http_status);
        e.outcome = libraryOutcome(info->http_status);
    } else {
        e.outcome = droppedBecause(*exchange, termination);
    }
    c.current = nullptr;
    m_connections->restartDeadline(&c);
    delete exchange; // its folder goes before the line that says the request is over
    --m_inFlight;
    m_log.request(e);
}

QString CradleServer::droppedBecause(const Exchange& exchange, int termination) const {
    if (m_connections->deadlinePassed(&exchange.connection)) return QStringLiteral("deadline");
    if (!exchange.dropReason.isEmpty()) return exchange.dropReason;
    if (termination == MHD_REQUEST_TERMINATED_TIMEOUT_REACHED) return QStringLiteral("idle");
    if (termination == MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN) return QStringLiteral("cradle-stopped");
    if (exchange.queued) return QStringLiteral("client-closed-mid-answer");
    if (!exchange.headRead) return QStringLiteral("client-closed-mid-head");
    if (exchange.hasBody() && !exchange.answering()) return QStringLiteral("client-closed-mid-body");
    return QStringLiteral("client-closed");
}

QString CradleServer::closedBecause(const Connection& c) const {
    if (c.deadlinePassed) return QStringLiteral("deadline");
    tcp_info tcp{};
    socklen_t size = sizeof tcp;
    const bool known = ::getsockopt(c.fd, IPPROTO_TCP, TCP_INFO, &tcp, &size) == 0;
    const bool peerClosed = known && (tcp.tcpi_state == TCP_CLOSE_WAIT || tcp.tcpi_state == TCP_LAST_ACK ||
                                      tcp.tcpi_state == TCP_CLOSE);
    // The library's idle timeout is the only thing that closes a connection silent that long.
    const auto silentMs = std::chrono::milliseconds(known ? tcp.tcpi_last_data_recv : 0);
    if (silentMs + std::chrono::milliseconds(500) >= m_limits.idle) return QStringLiteral("idle");
    if (c.tls && c.requests == 0) return QStringLiteral("tls-failure");
    if (peerClosed) return QStringLiteral("client-closed-before-its-request");
    return QStringLiteral("refused-by-http-layer");
}

void CradleServer::libraryMessage(const char* text) {
    m_log.library(QByteArray(text));
}

int CradleServer::handle(MHD_Connection* mhd, Exchange& exchange, const char* url, const char* method,
                         const char* data, std::size_t* size) {
    if (exchange.queued) {
        *size = 0;
        return MHD_YES;
    }
    if (!exchange.headRead) {
        exchange.headRead = true;
        // A request without a body is answered in its turn, so the connection stays open for the
        // next.
        exchange.refusal =
            readRequestHead(mhd, url, method, m_limits, m_service, exchange.head, &exchange.bodyLimit);
        if (exchange.refusal && exchange.hasBody() &&
            refuseBeforeBody(mhd, exchange.head, m_service.bodyLimit(exchange.head)))
            return queue(mhd, exchange, std::move(*exchange.refusal));
        if (exchange.refusal || !exchange.hasBody()) return MHD_YES;
        QString problem;
        if (!exchange.openBody(&problem)) return queue(mhd, exchange, cradleFault(0, problem));
        return MHD_YES;
    }
    if (exchange.answering())
        return exchange.answerReady() ? queue(mhd, exchange, exchange.takeAnswer()) : MHD_YES;
    if (*size == 0)
        return exchange.refusal ? queue(mhd, exchange, std::move(*exchange.refusal))
                                : answerInBackground(mhd, exchange);
    if (exchange.refusal) {
        exchange.bytesIn += qint64(*size);
        *size = 0;
        return MHD_YES;
    }
    if (qint64(*size) > exchange.bodyLimit - exchange.bytesIn) {
        // Only a body in chunks gets here: a declared length was checked with the head. The
        // library takes no answer in the middle of a body, so the connection is dropped.
        exchange.bytesIn += qint64(*size);
        exchange.dropReason = QStringLiteral("over-the-body-limit");
        return MHD_NO;
    }
    if (!exchange.writeBody(data, *size)) {
        exchange.dropReason = QStringLiteral("body-not-stored: ") + QString::fromLocal8Bit(strerror(errno));
        return MHD_NO;
    }
    exchange.bytesIn += qint64(*size);
    *size = 0;
    return MHD_YES;
}

int CradleServer::answerInBackground(MHD_Connection* mhd, Exchange& exchange) {
    const QString body = exchange.closeBody();
    m_connections->suspend(&exchange.connection);
    MHD_suspend_connection(mhd);
    try {
        startAnswer(mhd, exchange, body);
    } catch (const std::system_error& e) { // no thread to be had
        m_connections->resume(&exchange.connection);
        MHD_resume_connection(mhd);
        return queue(mhd, exchange, cradleFault(0, QString::fromLocal8Bit(e.what())));
    }
    return MHD_YES;
}

void CradleServer::startAnswer(MHD_Connection* mhd, Exchange& exchange, const QString& body) {
    exchange.startAnswer(
        [this, &exchange, body] {
            try {
                return m_service.answer(exchange.head, body);
            } catch (const std::exception& e) {
                return cradleFault(0, QString::fromLocal8Bit(e.what()));
            } catch (...) {
                return cradleFault(0, QStringLiteral("unknown"));
            }
        },
        [this, &exchange, mhd] {
            m_connections->resume(&exchange.connection);
            MHD_resume_connection(mhd);
        });
}

int CradleServer::queue(MHD_Connection* mhd, Exchange& exchange, CradleAnswer answer) {
    qint64 bytes = 0;
    MHD_Response* response = responseFor(answer, &bytes);
    if (!response) return MHD_NO;
    const MHD_Result queued = MHD_queue_response(mhd, unsigned(answer.status), response);
    MHD_destroy_response(response);
    if (queued == MHD_YES) {
        exchange.queued = true;
        exchange.bytesOut = bytes;
        exchange.answer = std::move(answer);
    }
    return queued;
}

} // namespace kv::cradle

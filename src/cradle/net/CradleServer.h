#pragma once

#include "cradle/CradleService.h"
#include "cradle/net/Connections.h"
#include "cradle/net/NetLimits.h"
#include "cradle/net/TlsFiles.h"

#include <atomic>
#include <chrono>
#include <QHostAddress>
#include <QString>

struct MHD_Daemon;
struct MHD_Connection;

namespace kv::cradle {

class CradleLog;
class Exchange;

struct CradleServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8790;
    QString certificate; // PEM files; both or neither
    QString key;
    CradleNetLimits limits;
};

// The network cradle on a socket, over libmicrohttpd: its own thread reads and answers every
// connection, the head of each request is checked (limits, then the service) before any of its
// body is read, a body goes straight into a file of the request's own folder, and the service's
// answer is worked out on a thread of its own while the connection waits and the others go on.
// One log line per request and per connection dropped.
class CradleServer {
public:
    CradleServer(CradleService& service, CradleLog& log);
    ~CradleServer();
    CradleServer(const CradleServer&) = delete;
    CradleServer& operator=(const CradleServer&) = delete;

    // Listens; false with the reason in *error.
    bool start(const CradleServerOptions& options, QString* error);
    quint16 port() const;
    // The connections it will hold at once (the option, or fewer when files are short).
    unsigned connectionLimit() const { return m_connectionLimit; }
    // Those from one address: the option, or half the connections when that is fewer.
    unsigned perAddressLimit() const { return m_perAddressLimit; }
    // No request is being received, worked out or answered.
    bool quiet() const { return m_inFlight.load() == 0; }
    // Closes every connection and stops listening.
    void stop();

    // The library's callbacks.
    void connectionStarted(MHD_Connection* mhd, void** context);
    void connectionClosed(Connection* connection);
    Exchange* requestBegins(MHD_Connection* mhd, const char* target);
    int handle(MHD_Connection* mhd, Exchange& exchange, const char* url, const char* method, const char* data,
               std::size_t* size);
    void requestEnded(MHD_Connection* mhd, Exchange* exchange, int termination);
    void libraryMessage(const char* text);

private:
    int answerInBackground(MHD_Connection* mhd, Exchange& exchange);
    void startAnswer(MHD_Connection* mhd, Exchange& exchange, const QString& body);
    int queue(MHD_Connection* mhd, Exchange& exchange, CradleAnswer answer);
    QString droppedBecause(const Exchange& exchange, int termination) const;
    QString closedBecause(const Connection& connection) const;

    CradleService& m_service;
    CradleLog& m_log;
    CradleNetLimits m_limits;
    TlsFiles m_tls;
    unsigned m_connectionLimit = 0;
    unsigned m_perAddressLimit = 0;
    std::unique_ptr<Connections> m_connections;
    std::atomic<int> m_inFlight{0};
    MHD_Daemon* m_daemon = nullptr;
};

} // namespace kv::cradle

#pragma once

#include "cradle/CradleService.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTextStream>

class QHttpServer;
class QTcpServer;
class QTcpSocket;

namespace kv::cradle {

struct CradleServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8790;
    QString certificate; // PEM files; both or neither
    QString key;
    int stallSeconds = 30; // a client that sends nothing for this long is dropped
};

// The network cradle on a socket: Qt HTTP Server answers the requests the service decides. Each
// request's head is read before Qt buffers its body, so a body without a token or over the limit
// is refused on its declared length and never kept. A sync runs on a thread of its own while
// the server goes on answering (status, refusals). One line per request goes to `log`.
class CradleServer : public QObject {
public:
    CradleServer(CradleService& service, QTextStream& log, QObject* parent = nullptr);
    ~CradleServer() override;

    // Listens; false with the reason in *error.
    bool start(const CradleServerOptions& options, QString* error);
    quint16 port() const;

    // Called by the head reader of each connection.
    void logLine(const QHostAddress& peer, const QByteArray& method, const QByteArray& path,
                 const CradleAnswer& answer, qint64 bytesIn, double seconds);
    CradleService& service() { return m_service; }
    QHttpServer* http() const { return m_http; }
    int stallMs() const { return m_stallMs; }

private:
    CradleService& m_service;
    QTextStream& m_log;
    QHttpServer* m_http = nullptr;
    QTcpServer* m_tcp = nullptr;
    int m_stallMs = 30000;
};

} // namespace kv::cradle

#pragma once

#include <mutex>
#include <QByteArray>
#include <QString>

namespace kv::cradle {

// What a log line says of one request or of a connection dropped before its answer.
struct LogEntry {
    QByteArray peer;   // the client's address
    QByteArray method; // empty before the head was read
    QByteArray path;
    qint32 device = 0;
    int status = 0;  // 0: no answer went out (the connection was dropped)
    QString outcome; // the service's outcome, or why the connection was dropped
    qint64 bytesIn = 0;
    qint64 bytesOut = 0;
    double seconds = 0;
};

// Bytes from the network (a path, a method) or from a handheld (an outcome naming its tables)
// made safe for one log line: control characters, bytes outside ASCII, the backslash and,
// unless `keepSpaces`, the space are written as \xNN, so no one can forge a line or a field.
QByteArray escapedForLog(const QByteArray& bytes, bool keepSpaces = false);

// The cradle's log on a file descriptor (stderr): one line per request, one per dropped
// connection, the server library's own messages. Lines from several threads never interleave:
// each goes out whole in one write.
class CradleLog {
public:
    explicit CradleLog(int fd) : m_fd(fd) {}

    // "TIME PEER METHOD PATH device N STATUS OUTCOME in N out N bytes S s"; a dropped
    // connection has "dropped" for its status.
    void request(const LogEntry& entry);
    // A line of the cradle's own ("kvcradle: listening on ..."), written as it is.
    void say(const QString& text);
    // A message of the HTTP library, escaped.
    void library(const QByteArray& message);

private:
    void write(const QByteArray& line);

    int m_fd;
    std::mutex m_mutex;
};

} // namespace kv::cradle

#include "cradle/net/CradleLog.h"

#include <cerrno>
#include <QDateTime>
#include <unistd.h>

namespace kv::cradle {

namespace {

QByteArray now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1();
}

QByteArray field(const QByteArray& bytes) {
    return bytes.isEmpty() ? QByteArray("-") : escapedForLog(bytes);
}

} // namespace

QByteArray escapedForLog(const QByteArray& bytes, bool keepSpaces) {
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7f || c == '\\' || (c == ' ' && !keepSpaces)) {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

void CradleLog::request(const LogEntry& e) {
    QByteArray line = now() + ' ' + field(e.peer) + ' ' + field(e.method) + ' ' + field(e.path) + " device " +
                      (e.device > 0 ? QByteArray::number(e.device) : QByteArray("-")) + ' ' +
                      (e.status > 0 ? QByteArray::number(e.status) : QByteArray("dropped")) + ' ' +
                      escapedForLog(e.outcome.toUtf8(), true) + " in " + QByteArray::number(e.bytesIn) +
                      " out " + QByteArray::number(e.bytesOut) + " bytes " +
                      QByteArray::number(e.seconds, 'f', 2) + " s\n";
    write(line);
}

void CradleLog::say(const QString& text) {
    write(text.toUtf8() + '\n');
}

void CradleLog::library(const QByteArray& message) {
    write(now() + " kvcradle: http: " + escapedForLog(message.trimmed(), true) + '\n');
}

void CradleLog::write(const QByteArray& line) {
    const std::lock_guard lock(m_mutex);
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(m_fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // a log nobody reads does not stop the cradle
        done += n;
    }
}

} // namespace kv::cradle

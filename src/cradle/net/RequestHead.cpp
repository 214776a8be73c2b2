#include "cradle/net/RequestHead.h"

#include "cradle/net/CradleLog.h"

#include <cstring>
#include <microhttpd.h>
#include <strings.h>

namespace kv::cradle {

namespace {

std::optional<qint64> lengthOf(const char* text) {
    const qsizetype n = qsizetype(std::strlen(text));
    if (n == 0 || n > 18) return std::nullopt;
    qint64 value = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int timesGiven(MHD_Connection* mhd, const char* name) {
    struct Count {
        const char* name;
        int times = 0;
    } count{name};
    MHD_get_connection_values(
        mhd, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char*) {
            auto* c = static_cast<Count*>(cls);
            if (strcasecmp(key, c->name) == 0) ++c->times;
            return MHD_YES;
        },
        &count);
    return count.times;
}

QByteArray header(MHD_Connection* mhd, const char* name) {
    return QByteArray(MHD_lookup_connection_value(mhd, MHD_HEADER_KIND, name));
}

} // namespace

std::optional<CradleAnswer> readRequestHead(MHD_Connection* mhd, const char* url, const char* method,
                                            const CradleNetLimits& limits, const CradleService& service,
                                            CradleHead& head, qint64* bodyLimit) {
    head.method = method;
    head.path = url;
    head.authorization = header(mhd, MHD_HTTP_HEADER_AUTHORIZATION);
    // The length first: a refusal for any reason is sent before the body or after it by it.
    const QByteArray encoding = header(mhd, MHD_HTTP_HEADER_TRANSFER_ENCODING);
    const int lengths = timesGiven(mhd, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (lengths > 0) head.length = lengthOf(header(mhd, MHD_HTTP_HEADER_CONTENT_LENGTH).constData());
    head.chunked = !encoding.isNull();
    // Two lengths, or a length beside chunks, are how one request is smuggled inside another.
    if (lengths > 1 || (lengths == 1 && !head.length) || (head.chunked && lengths > 0) ||
        (head.chunked && encoding.compare("chunked", Qt::CaseInsensitive) != 0))
        return CradleService::refusal(
            400, QStringLiteral("bad-length"),
            QStringLiteral("The request's length is not one Content-Length or chunks."));
    const int fields = MHD_get_connection_values(mhd, MHD_HEADER_KIND, nullptr, nullptr);
    const MHD_ConnectionInfo* size = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
    if (fields > int(limits.headers))
        return CradleService::refusal(
            431, QStringLiteral("too-many-headers"),
            QStringLiteral("The request has %1 header fields; the cradle takes %2 at most.")
                .arg(fields)
                .arg(limits.headers));
    if (size && size->header_size > limits.headBytes)
        return CradleService::refusal(
            431, QStringLiteral("head-too-large"),
            QStringLiteral("The request's head has %1 bytes; the cradle takes %2 at most.")
                .arg(size->header_size)
                .arg(limits.headBytes));
    if (std::optional<CradleAnswer> refused = service.checkHead(head)) return refused;
    *bodyLimit = service.bodyLimit(head);
    if (head.length.value_or(0) > *bodyLimit || (head.chunked && *bodyLimit == 0)) {
        CradleAnswer refused = CradleService::refusal(
            413, QStringLiteral("too-large"),
            head.chunked
                ? QStringLiteral("%1 takes no body.").arg(QString::fromUtf8(escapedForLog(head.path)))
                : QStringLiteral("The request's body (%1 bytes) is over the cradle's limit of %2 bytes "
                                 "for it. Nothing was copied.")
                      .arg(*head.length)
                      .arg(*bodyLimit));
        return refused;
    }
    return std::nullopt;
}

} // namespace kv::cradle

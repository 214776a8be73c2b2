#include "cradle/net/Answers.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::cradle {

MHD_Response* responseFor(CradleAnswer& answer, qint64* bytes) {
    MHD_Response* response = nullptr;
    qint64 size = answer.body.size();
    if (!answer.file.isEmpty()) {
        const int fd = ::open(QFile::encodeName(answer.file).constData(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 &&
            (response = MHD_create_response_from_fd64(uint64_t(st.st_size), fd))) {
            size = st.st_size;
        } else {
            if (fd >= 0) ::close(fd);
            answer = cradleFault(answer.device, QStringLiteral("the answer's file cannot be read"));
            size = answer.body.size();
        }
    }
    if (!response)
        response = MHD_create_response_from_buffer(size_t(answer.body.size()), answer.body.data(),
                                                   MHD_RESPMEM_MUST_COPY);
    if (!response) return nullptr;
    if (!answer.contentType.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.constData());
    for (const auto& [name, value] : answer.headers)
        MHD_add_response_header(response, name.constData(), value.constData());
    *bytes = size;
    return response;
}

CradleAnswer cradleFault(qint32 device, const QString& outcome) {
    CradleAnswer a = CradleService::refusal(
        500, QStringLiteral("cradle-fault"),
        QStringLiteral("The cradle failed on its side; nothing was copied. Its log says why."));
    a.device = device;
    a.outcome = QStringLiteral("cradle-fault: ") + outcome;
    return a;
}

QString libraryOutcome(unsigned status) {
    switch (status) {
    case MHD_HTTP_BAD_REQUEST:
        return QStringLiteral("bad-request");
    case MHD_HTTP_URI_TOO_LONG:
    case MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE:
        return QStringLiteral("head-too-large");
    case MHD_HTTP_CONTENT_TOO_LARGE:
        return QStringLiteral("too-large");
    case MHD_HTTP_HTTP_VERSION_NOT_SUPPORTED:
        return QStringLiteral("http-version");
    default:
        return QStringLiteral("http-error");
    }
}

} // namespace kv::cradle

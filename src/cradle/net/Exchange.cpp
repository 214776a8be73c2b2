#include "cradle/net/Exchange.h"

#include "cradle/RequestFolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <QFile>
#include <unistd.h>

namespace kv::cradle {

Exchange::Exchange(Connection& c, QByteArray requestTarget)
    : connection(c), target(std::move(requestTarget)) {
    clock.start();
}

Exchange::~Exchange() {
    if (m_worker.joinable()) m_worker.join();
    closeBody();
}

bool Exchange::openBody(QString* error) {
    m_folder = std::make_unique<RequestFolder>();
    if (!m_folder->isValid()) {
        *error = m_folder->errorString();
        return false;
    }
    m_bodyPath = m_folder->filePath(QStringLiteral("handheld.db"));
    m_bodyFd =
        ::open(QFile::encodeName(m_bodyPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_bodyFd < 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    return true;
}

bool Exchange::writeBody(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(m_bodyFd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

QString Exchange::closeBody() {
    if (m_bodyFd >= 0) ::close(m_bodyFd);
    m_bodyFd = -1;
    return m_bodyPath;
}

void Exchange::startAnswer(std::function<CradleAnswer()> work, std::function<void()> ready) {
    m_worker = std::thread([this, work = std::move(work), ready = std::move(ready)] {
        m_worked = work();
        m_ready.store(true, std::memory_order_release);
        ready();
    });
}

CradleAnswer Exchange::takeAnswer() {
    m_worker.join();
    return std::move(m_worked);
}

} // namespace kv::cradle

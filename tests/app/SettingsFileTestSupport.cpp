#include "SettingsFileTestSupport.h"

#include <QFile>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::test {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

pid_t startChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    int rc = 97;
    try {
        rc = body();
    } catch (...) {
        rc = 98;
    }
    ::_exit(rc);
}

std::optional<int> childExit(pid_t pid, bool wait) {
    int status = 0;
    const pid_t r = pid < 0 ? -1 : ::waitpid(pid, &status, wait ? 0 : WNOHANG);
    if (r == 0) return std::nullopt;
    if (r != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace kv::test

#include "TestDesktop.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::test {

namespace {

constexpr int kStartLimitMs = 30000;

pid_t spawn(const QList<QByteArray>& argv, int keepFd = -1) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // The child: its own process group, so nothing it starts outlives the test.
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    for (int fd = 3; fd < 256; ++fd)
        if (fd != keepFd) ::close(fd);
    std::vector<char*> args;
    for (const QByteArray& a : argv) args.push_back(const_cast<char*>(a.constData()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

bool exited(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

} // namespace

TestDesktop::TestDesktop(int width, int height) {
    if (!startServer(width, height)) return;
    if (!startWindowManager()) {
        stop(m_server);
        m_display = -1;
    }
}

TestDesktop::~TestDesktop() {
    stop(m_manager);
    stop(m_server);
    if (!m_readyFile.isEmpty()) QFile::remove(m_readyFile);
}

bool TestDesktop::startServer(int width, int height) {
    int fds[2];
    if (::pipe(fds) != 0) {
        m_failure = QStringLiteral("no pipe for Xvfb");
        return false;
    }
    // -displayfd: Xvfb takes a free display number and writes it once it accepts connections.
    m_server = spawn({"Xvfb", "-displayfd", QByteArray::number(fds[1]), "-screen", "0",
                      QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24", "-nolisten", "tcp",
                      "-noreset"},
                     fds[1]);
    ::close(fds[1]);
    QByteArray number;
    pollfd p{fds[0], POLLIN, 0};
    while (!number.endsWith('\n') && ::poll(&p, 1, kStartLimitMs) > 0) {
        char c;
        if (::read(fds[0], &c, 1) != 1) break;
        number += c;
    }
    ::close(fds[0]);
    bool ok = false;
    m_display = number.trimmed().toInt(&ok);
    if (!ok) {
        m_display = -1;
        m_failure = QStringLiteral("Xvfb did not start (is the xvfb package installed? ./test installs it)");
        stop(m_server);
        return false;
    }
    return true;
}

bool TestDesktop::startWindowManager() {
    m_readyFile = QDir::temp().filePath(QStringLiteral("kvdesktop-%1-%2.ready").arg(::getpid()).arg(m_display));
    QFile::remove(m_readyFile);
    qputenv("DISPLAY", display().toLocal8Bit());
    // openbox runs the startup command once it manages the screen.
    m_manager = spawn({"openbox", "--sm-disable", "--startup", "touch " + QFile::encodeName(m_readyFile)});
    for (int waited = 0; waited < kStartLimitMs; waited += 20) {
        if (QFile::exists(m_readyFile)) return true;
        if (exited(m_manager)) break;
        QThread::msleep(20);
    }
    m_failure = QStringLiteral("openbox did not start (is the openbox package installed? ./test installs it)");
    stop(m_manager);
    return false;
}

void TestDesktop::stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 5000 && ::waitpid(pid, &status, WNOHANG) == 0; waited += 20)
        QThread::msleep(20);
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    pid = -1;
}

} // namespace kv::test

#include "cradle/ExchangeWorkers.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <QDir>
#include <QFile>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kv::cradle {

namespace {

// The environment of the cradle with the launch string in KVCONTROL_LAUNCH.
std::vector<QByteArray> workerEnvironment(const QByteArray& launch) {
    std::vector<QByteArray> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "KVCONTROL_LAUNCH=", 17) != 0) env.emplace_back(*e);
    if (!launch.isEmpty()) env.push_back("KVCONTROL_LAUNCH=" + launch);
    return env;
}

std::vector<char*> pointers(std::vector<QByteArray>& texts) {
    std::vector<char*> list;
    for (QByteArray& t : texts)
        list.push_back(t.data());
    list.push_back(nullptr);
    return list;
}

// Waits up to `ms` for the process to end; true when it has (it is still to be reaped).
bool endsWithin(pid_t pid, int ms) {
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
        // No pidfd (an old kernel): look every 50 ms.
        for (int waited = 0; waited < ms; waited += 50) {
            siginfo_t info{};
            if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) return true;
            ::usleep(50 * 1000);
        }
        return false;
    }
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, ms);
    } while (ready < 0 && errno == EINTR);
    ::close(fd);
    return ready > 0;
}

QString lastLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    const qint64 size = f.size();
    if (size > 2000) f.seek(size - 2000);
    return QString::fromUtf8(f.readAll()).trimmed().replace(QLatin1Char('\n'), QStringLiteral(" | "));
}

} // namespace

ExchangeWorkers::ExchangeWorkers(ExchangeWorkersOptions options) : m_options(std::move(options)) {}

unsigned ExchangeWorkers::underWay() const {
    std::lock_guard guard(m_mutex);
    return m_underWay;
}

ExchangeWorkers::Outcome ExchangeWorkers::run(qint32 device, const QString& folder) {
    {
        std::unique_lock lock(m_mutex);
        if (!m_placeFree.wait_for(lock, m_options.queueFor, [this] { return m_underWay < m_options.limit; }))
            return Outcome{true, std::nullopt, QString()};
        ++m_underWay;
    }
    struct Slot {
        ExchangeWorkers& w;
        ~Slot() {
            {
                std::lock_guard guard(w.m_mutex);
                --w.m_underWay;
            }
            w.m_placeFree.notify_one();
        }
    } slot{*this};

    std::vector<QByteArray> args{QFile::encodeName(m_options.program)};
    for (const QString& a : m_options.arguments)
        args.push_back(a.toUtf8());
    args.push_back(QFile::encodeName(folder));
    args.push_back("--exchange-device");
    args.push_back(QByteArray::number(device));
    args.push_back("--work-seconds");
    args.push_back(QByteArray::number(qint64(m_options.workBudget.count())));
    std::vector<QByteArray> env = workerEnvironment(m_options.launch);
    std::vector<char*> argv = pointers(args), envp = pointers(env);

    const QByteArray log = QFile::encodeName(QDir(folder).filePath(QStringLiteral("worker.log")));
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    // The cradle blocks its stop signals for the event loop to read; a worker takes them plainly.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, plain;
    sigemptyset(&none);
    sigemptyset(&plain);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE})
        sigaddset(&plain, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &plain);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &files, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0)
        return Outcome{false, std::nullopt,
                       QStringLiteral("cannot start the exchange's process %1: %2")
                           .arg(m_options.program, QString::fromLocal8Bit(std::strerror(spawned)))};

    Outcome outcome;
    outcome.fault = waitFor(pid, folder);
    QFile file(QDir(folder).filePath(QStringLiteral("report.json")));
    if (outcome.fault.isEmpty()) {
        if (!file.open(QIODevice::ReadOnly)) {
            outcome.fault = QStringLiteral("the exchange's process left no report; its log: %1")
                                .arg(lastLines(QString::fromLocal8Bit(log)));
        } else if (!(outcome.report = reportFromFile(file.readAll()))) {
            outcome.fault = QStringLiteral("the exchange's process left a report that cannot be read");
        }
    }
    return outcome;
}

QString ExchangeWorkers::waitFor(long pid, const QString& folder) const {
    const auto p = pid_t(pid);
    const int ms = int(std::min<qint64>(qint64(m_options.within.count()) * 1000, 1 << 30));
    QString overdue;
    if (!endsWithin(p, ms)) {
        // Killed, its ERP transaction rolls back: the documents of its open group are absent.
        ::kill(p, SIGTERM);
        if (!endsWithin(p, 5000)) ::kill(p, SIGKILL);
        overdue = QStringLiteral("the exchange took longer than %1 s and was stopped").arg(m_options.within.count());
    }
    int status = 0;
    while (::waitpid(p, &status, 0) < 0 && errno == EINTR) {
    }
    if (!overdue.isEmpty()) return overdue;
    const QString log = QDir(folder).filePath(QStringLiteral("worker.log"));
    if (WIFSIGNALED(status))
        return QStringLiteral("the exchange's process ended by signal %1; its log: %2")
            .arg(WTERMSIG(status))
            .arg(lastLines(log));
    if (WEXITSTATUS(status) != 0)
        return QStringLiteral("the exchange's process ended with status %1; its log: %2")
            .arg(WEXITSTATUS(status))
            .arg(lastLines(log));
    return QString();
}

} // namespace kv::cradle

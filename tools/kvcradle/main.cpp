#include "app/EscapedError.h"
#include "CliApp.h"
#include "cradle/CradleService.h"
#include "cradle/net/CradleLog.h"
#include "cradle/net/CradleServer.h"
#include "cradle/RequestFolder.h"
#include "ExitCodes.h"
#include "ExchangeWorker.h"
#include "app/LaunchSource.h"
#include "cradle/ExchangeWorkers.h"

#include <csignal>
#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <QSocketNotifier>
#include <QTimer>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace kv;

namespace {

constexpr quint16 kDefaultPort = 8790;

// "ADDRESS:PORT", "[v6]:PORT", "ADDRESS" or ":PORT".
bool parseListen(const QString& text, cradle::CradleServerOptions& o) {
    QString host = text;
    QString port;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0) return false;
        host = text.mid(1, close - 1);
        if (close + 1 < text.size()) {
            if (text.at(close + 1) != QLatin1Char(':')) return false;
            port = text.mid(close + 2);
        }
    } else if (colon >= 0 && text.indexOf(QLatin1Char(':')) == colon) {
        host = text.left(colon);
        port = text.mid(colon + 1);
    }
    if (!host.isEmpty() && !o.address.setAddress(host)) return false;
    if (!port.isEmpty()) {
        bool ok = false;
        const uint n = port.toUInt(&ok);
        if (!ok || n > 65535) return false;
        o.port = quint16(n);
    }
    return true;
}

// The handheld web application's files: installed beside the program, or the build tree's.
QString appFolder() {
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kvcontrol/app");
    if (QFileInfo(installed + QStringLiteral("/index.html")).isFile()) return installed;
#ifdef KV_APP_DIR
    return QStringLiteral(KV_APP_DIR);
#else
    return QString();
#endif
}

} // namespace

int main(int argc, char** argv) {
    if (isExchangeWorker(argc, argv)) return exchangeWorkerMain(argc, argv);
    // SIGTERM (systemd's stop) and Ctrl-C are read from a descriptor by the event loop; blocked
    // before any thread starts, so every thread ignores them.
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvcradle"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        cli::CliApp cli(
            QStringLiteral("kvcradle"),
            QStringLiteral(
                "The network cradle: a handheld application (or curl) syncs over HTTP.\n"
                "POST /sync with \"Authorization: Bearer TOKEN\" and the handheld's SQLite file\n"
                "prepares the sync the program registered and answers with the file after it;\n"
                "POST /sync/ID/done says the handheld has stored it, and only then does the sync\n"
                "count. POST /exchange does a receive and a send for the token's device in one\n"
                "request, with nobody at the program (it needs the ERP's launch string: --launch-file\n"
                "or KVCONTROL_LAUNCH); POST /exchange/ID/done confirms it. GET /status tells whether\n"
                "a sync is awaited. kvctl cradle token N makes a device's token. One line per request\n"
                "and per dropped connection goes to stderr. SIGTERM or Ctrl-C: new syncs are\n"
                "refused, those under way are finished; a second one stops at once."));
        std::string listen = "127.0.0.1:" + std::to_string(kDefaultPort), cert, key, launchFile;
        // Exchanges wait on the ERP more than on this machine: two per core keep both busy.
        unsigned exchanges = std::clamp(2u * unsigned(std::max(1, QThread::idealThreadCount())), 2u, 16u);
        int workSeconds = 120;
        const cradle::CradleNetLimits net;
        double maxMb = 64;
        int idle = int(net.idle.count()), deadline = int(net.deadline.count()), confirmWithin = 60;
        unsigned connections = net.connections, perAddress = net.perAddress, headers = net.headers;
        std::size_t headBytes = net.headBytes;
        CLI::App& a = cli.app();
        a.add_option("--listen", listen,
                     "address and port to listen on (default 127.0.0.1:8790, this machine only; a LAN "
                     "address must be given on purpose, e.g. 0.0.0.0:8790)")
            ->option_text("ADDRESS:PORT");
        a.add_option("--cert", cert, "TLS certificate (PEM); with --key the cradle speaks HTTPS")
            ->option_text("FILE");
        a.add_option("--key", key, "the certificate's private key (PEM)")->option_text("FILE");
        a.add_option("--max-size", maxMb, "largest handheld file accepted, in megabytes (default 64)")
            ->option_text("MB")
            ->check(CLI::Range(0.001, 4096.0));
        a.add_option("--timeout", idle, "seconds a client may stay silent before it is dropped (default 30)")
            ->option_text("SECONDS")
            ->check(CLI::Range(1, 3600));
        a.add_option("--deadline", deadline,
                     "seconds a client has to send a whole request, and again to take its answer, "
                     "however steadily it sends (default 300)")
            ->option_text("SECONDS")
            ->check(CLI::Range(1, 86400));
        a.add_option("--connections", connections,
                     "connections held at once (default 64; fewer when the process may open too few files)")
            ->option_text("N")
            ->check(CLI::Range(1u, 100000u));
        a.add_option("--per-address", perAddress, "connections held at once from one address (default 8)")
            ->option_text("N")
            ->check(CLI::Range(1u, 100000u));
        a.add_option("--head-size", headBytes,
                     "largest request head (request line and headers), in bytes "
                     "(default 16384)")
            ->option_text("BYTES")
            ->check(CLI::Range(std::size_t(1024), std::size_t(1) << 20));
        a.add_option("--headers", headers, "most header fields in one request (default 64)")
            ->option_text("N")
            ->check(CLI::Range(1u, 10000u));
        a.add_option("--confirm-within", confirmWithin,
                     "seconds a handheld has to confirm it stored its answer before the sync is dropped "
                     "(default 60)")
            ->option_text("SECONDS")
            ->check(CLI::Range(1, 86400));
        a.add_option("--exchanges", exchanges,
                     "exchanges run at once; one more waits up to a second for a place, then gets 503 "
                     "with Retry-After (default two per core, at most 16)")
            ->option_text("N")
            ->check(CLI::Range(1u, 256u));
        a.add_option("--launch-file", launchFile,
                     "the ERP's launch string, for exchanges, from an owner-only file (else "
                     "$KVCONTROL_LAUNCH; without one /exchange is refused)")
            ->option_text("FILE");
        a.add_option("--work-seconds", workSeconds,
                     "the most work a handheld's file may ask for, in seconds (default 120)")
            ->option_text("SECONDS")
            ->check(CLI::Range(1, 86400));
        if (const std::optional<int> status = cli.parse(app.arguments().mid(1), out, err)) return *status;
        const ResolvedLaunch launch = resolveLaunch({QString(), cli::fromStd(launchFile)});
        if (!launch.error.isEmpty()) {
            err << "kvcradle: " << launch.error << '\n';
            return cli::exitcode::Failed;
        }

        cradle::CradleServerOptions options;
        if (!parseListen(cli::fromStd(listen), options))
            return cli.usageError(
                a, QStringLiteral("--listen takes ADDRESS:PORT, not \"%1\"").arg(cli::fromStd(listen)), err);
        if (cert.empty() != key.empty())
            return cli.usageError(a, QStringLiteral("--cert and --key go together"), err);
        options.certificate = cli::fromStd(cert);
        options.key = cli::fromStd(key);
        options.limits.connections = connections;
        options.limits.perAddress = perAddress;
        options.limits.headBytes = headBytes;
        options.limits.headers = headers;
        options.limits.deadline = std::chrono::seconds(deadline);
        options.limits.idle = std::chrono::seconds(idle);

        cradle::CradleLog log(STDERR_FILENO);
        if (const int removed = cradle::RequestFolder::removeAbandoned())
            log.say(
                QStringLiteral("kvcradle: removed %1 request folders a stopped cradle left").arg(removed));
        cradle::CradleLimits limits;
        limits.maxBytes = qint64(maxMb * 1024 * 1024);
        limits.confirmWithin = std::chrono::seconds(confirmWithin);
        limits.workBudget = std::chrono::seconds(workSeconds);
        cradle::CradleService service(limits);
        service.setAppFolder(appFolder());
        if (!launch.text.isEmpty()) {
            cradle::ExchangeWorkersOptions workers;
            workers.program = QCoreApplication::applicationFilePath();
            workers.arguments = {QStringLiteral("--exchange-worker")};
            workers.limit = exchanges;
            workers.launch = launch.text.toUtf8();
            workers.within = std::chrono::seconds(deadline);
            workers.workBudget = std::chrono::seconds(workSeconds);
            service.offerExchanges(workers);
        } else {
            log.say(QStringLiteral("kvcradle: exchanges are off: no launch string for the ERP (--launch-file or "
                                   "KVCONTROL_LAUNCH)"));
        }
        cradle::CradleServer server(service, log);
        QString problem;
        if (!server.start(options, &problem)) {
            log.say(QStringLiteral("kvcradle: ") + problem);
            return cli::exitcode::Failed;
        }
        if (server.connectionLimit() < connections || server.perAddressLimit() < perAddress)
            log.say(
                QStringLiteral("kvcradle: holding %1 connections at most, %2 from one address: the process "
                               "may open too few files for more")
                    .arg(server.connectionLimit())
                    .arg(server.perAddressLimit()));
        log.say(
            QStringLiteral("kvcradle: listening on %1%2:%3")
                .arg(options.certificate.isEmpty() ? QStringLiteral("http://") : QStringLiteral("https://"),
                     options.address.protocol() == QAbstractSocket::IPv6Protocol
                         ? QStringLiteral("[%1]").arg(options.address.toString())
                         : options.address.toString())
                .arg(server.port()));

        // The first signal lets the sync under way finish (its answer, its confirmation) while new
        // ones are refused; the cradle stops once nothing is under way. A second stops at once.
        const int signals_ = signalfd(-1, &stopping, SFD_CLOEXEC | SFD_NONBLOCK);
        QSocketNotifier notifier(signals_, QSocketNotifier::Read);
        QTimer settle;
        settle.setInterval(100);
        QObject::connect(&settle, &QTimer::timeout, &app, [&] {
            if (service.idle() && server.quiet()) QCoreApplication::quit();
        });
        QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
            signalfd_siginfo info;
            while (::read(signals_, &info, sizeof info) == sizeof info) {
                if (settle.isActive()) {
                    log.say(QStringLiteral("kvcradle: stopping at once"));
                    ::_exit(cli::exitcode::Cancelled);
                }
                log.say(QStringLiteral("kvcradle: stopping once the sync under way is over"));
                service.stop();
                settle.start();
            }
        });
        QCoreApplication::exec();
        server.stop();
        ::close(signals_);
        log.say(QStringLiteral("kvcradle: stopped"));
        return cli::exitcode::Done;
    } catch (...) {
        return ReportarError(err, std::current_exception(), QStringLiteral("kvcradle"));
    }
}

#include "app/EscapedError.h"
#include "CliApp.h"
#include "cradle/CradleService.h"
#include "cradle/net/CradleServer.h"
#include "ExitCodes.h"

#include <csignal>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
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
    // SIGTERM (systemd's stop) and Ctrl-C end the event loop, so a sync under way finishes and
    // its temporary copy is removed; blocked before any thread starts, so every thread ignores
    // them and the descriptor below gets them.
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
                "The network cradle: a handheld application (or curl) syncs with one HTTP request.\n"
                "POST /sync with \"Authorization: Bearer TOKEN\" and the handheld's SQLite file\n"
                "runs the sync the program registered and answers with the file after it;\n"
                "GET /status tells whether a sync is awaited. kvctl cradle token N makes a\n"
                "device's token. One line per request goes to stderr."));
        std::string listen = "127.0.0.1:" + std::to_string(kDefaultPort), cert, key;
        double maxMb = 64;
        int timeout = 30;
        cli.app()
            .add_option("--listen", listen,
                        "address and port to listen on (default 127.0.0.1:8790, this machine only; a LAN "
                        "address must be given on purpose, e.g. 0.0.0.0:8790)")
            ->option_text("ADDRESS:PORT");
        cli.app()
            .add_option("--cert", cert, "TLS certificate (PEM); with --key the cradle speaks HTTPS")
            ->option_text("FILE");
        cli.app().add_option("--key", key, "the certificate's private key (PEM)")->option_text("FILE");
        cli.app()
            .add_option("--max-size", maxMb, "largest handheld file accepted, in megabytes (default 64)")
            ->option_text("MB")
            ->check(CLI::Range(0.001, 4096.0));
        cli.app()
            .add_option("--timeout", timeout,
                        "seconds a client may stay silent before it is dropped (default 30)")
            ->option_text("SECONDS")
            ->check(CLI::Range(1, 3600));
        if (const std::optional<int> status = cli.parse(app.arguments().mid(1), out, err)) return *status;

        cradle::CradleServerOptions options;
        if (!parseListen(cli::fromStd(listen), options)) {
            err << "kvcradle: --listen takes ADDRESS:PORT, not \"" << cli::fromStd(listen) << "\"\n";
            return cli::exitcode::Usage;
        }
        options.certificate = cli::fromStd(cert);
        options.key = cli::fromStd(key);
        options.stallSeconds = timeout;
        cradle::CradleLimits limits;
        limits.maxBytes = qint64(maxMb * 1024 * 1024);
        cradle::CradleService service(limits);
        service.setAppFolder(appFolder());
        cradle::CradleServer server(service, err);
        QString problem;
        if (!server.start(options, &problem)) {
            err << "kvcradle: " << problem << '\n';
            return cli::exitcode::Failed;
        }
        err << "kvcradle: listening on " << (options.certificate.isEmpty() ? "http://" : "https://")
            << (options.address.protocol() == QAbstractSocket::IPv6Protocol
                    ? QStringLiteral("[%1]").arg(options.address.toString())
                    : options.address.toString())
            << ':' << server.port() << Qt::endl;

        const int signals_ = signalfd(-1, &stopping, SFD_CLOEXEC | SFD_NONBLOCK);
        QSocketNotifier stop(signals_, QSocketNotifier::Read);
        QObject::connect(&stop, &QSocketNotifier::activated, &app, [&] {
            signalfd_siginfo info;
            while (::read(signals_, &info, sizeof info) == sizeof info) {
            }
            err << "kvcradle: stopping" << Qt::endl;
            QCoreApplication::quit();
        });
        const int status = QCoreApplication::exec();
        ::close(signals_);
        return status;
    } catch (...) {
        return ReportarError(err, std::current_exception(), QStringLiteral("kvcradle"));
    }
}

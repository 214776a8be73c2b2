// bench cradle: the sync of a large store (a kverp ERP of about 45 MB exported for a device
// without filters) into an empty handheld, through kvcradle over loopback (kvhandheld hotsync
// --server's client, confirmation included) and as a local file (kvhandheld hotsync's code, in
// process), alternated, five times each; then kvcradle's peak memory (VmHWM) after those syncs,
// one upload at a time, and after ten uploads of the handheld at once. Prints each median, both
// peaks and, as its last line, ratio=R: the network sync's median over the local one's.
// Sizes: KVERP_CRADLE_SIZES (kverp's options).
#include "app/AppHome.h"
#include "cradle/CradleTokens.h"
#include "cradle/HotSync.h"
#include "cradle/net/CradleClient.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace kv;

namespace {

bool run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(-1);
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return true;
    std::fprintf(stderr, "failed: %s %s\n%s", qPrintable(program), qPrintable(args.join(QLatin1Char(' '))),
                 p.readAll().constData());
    return false;
}

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

qint64 peakMb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    static const QRegularExpression hwm(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return hwm.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong() / 1024;
}

// Ten uploads of `body` at once; the statuses they got.
QList<int> parallelUploads(const QString& url, const QByteArray& body, const QByteArray& token) {
    QNetworkAccessManager manager;
    QList<QNetworkReply*> replies;
    int open = 10;
    QEventLoop loop;
    for (int i = 0; i < 10; ++i) {
        QNetworkRequest r{QUrl(url + QStringLiteral("/sync"))};
        r.setRawHeader("Authorization", "Bearer " + token);
        r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/vnd.sqlite3"));
        QNetworkReply* reply = manager.post(r, body);
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
            if (--open == 0) loop.quit();
        });
        replies << reply;
    }
    loop.exec();
    QList<int> statuses;
    for (QNetworkReply* reply : replies) {
        statuses << reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        delete reply;
    }
    return statuses;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir work;
    const QString home = work.path();
    AppHome::set(home);
    const QString erp = home + QStringLiteral("/erp.db");
    const QString launch =
        QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;").arg(erp);
    const QString empty = home + QStringLiteral("/empty.db"), palm = home + QStringLiteral("/palm.db");
    const QString sizes = qEnvironmentVariable(
        "KVERP_CRADLE_SIZES", QStringLiteral("--price-rows 320000 --clients 32000 --articles 16000"));
    std::printf("Making the ERP (%s) and its largest store ...\n", qPrintable(sizes));
    std::fflush(stdout);
    if (!run(bin + QStringLiteral("/kverp"),
             QStringList{QStringLiteral("init"), QStringLiteral("--sqlite"), erp} +
                 sizes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) ||
        !run(bin + QStringLiteral("/kvctl"),
             {QStringLiteral("--home"), home, QStringLiteral("store"), QStringLiteral("init"),
              home + QStringLiteral("/kvpalmsync.mdb")}))
        return 1;
    // Device 1 has no vendor or client codes: its send carries everything.
    if (!run(bin + QStringLiteral("/kvctl"),
             {QStringLiteral("--home"), home, QStringLiteral("--launch"), launch, QStringLiteral("send"),
              QStringLiteral("1"), QStringLiteral("--no-wait")}) ||
        !run(bin + QStringLiteral("/kvctl"),
             {QStringLiteral("--home"), home, QStringLiteral("conduit"), QStringLiteral("register-send")}) ||
        !run(bin + QStringLiteral("/kvhandheld"),
             {QStringLiteral("--home"), home, QStringLiteral("init"), empty}))
        return 1;
    std::printf("ERP: %.1f MB\n", QFileInfo(erp).size() / 1e6);
    const QByteArray token = cradle::CradleTokens().issue(1, true).toLatin1();

    QProcess server;
    server.setReadChannel(QProcess::StandardError);
    server.start(bin + QStringLiteral("/kvcradle"),
                 {QStringLiteral("--home"), home, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                  QStringLiteral("--max-size"), QStringLiteral("1024"), QStringLiteral("--per-address"),
                  QStringLiteral("16")});
    QString url;
    QByteArray said;
    const QRegularExpression listening(QStringLiteral("listening on (http://127.0.0.1:\\d+)"));
    while (url.isEmpty() && server.waitForReadyRead(10000)) {
        said += server.readAllStandardError();
        url = listening.match(QString::fromUtf8(said)).captured(1);
    }
    if (url.isEmpty()) {
        std::fprintf(stderr, "kvcradle did not start: %s\n", said.constData());
        return 1;
    }

    QList<double> local, network;
    qint64 bytes = 0;
    for (int i = 0; i < 5; ++i) {
        for (bool overNetwork : {false, true}) {
            QFile::remove(palm);
            QFile::copy(empty, palm);
            QElapsedTimer t;
            t.start();
            if (overNetwork)
                cradle::CradleClient(QUrl(url)).sync(palm, QString::fromLatin1(token));
            else
                cradle::hotSync(palm);
            (overNetwork ? network : local) << t.nsecsElapsed() / 1e9;
            bytes = QFileInfo(palm).size();
        }
    }
    const qint64 peakOne = peakMb(server.processId());
    QFile synced(palm);
    synced.open(QIODevice::ReadOnly);
    const QList<int> statuses = parallelUploads(url, synced.readAll(), token);
    const qint64 peakTen = peakMb(server.processId());
    // The upload that got its sync leaves it awaiting a confirmation that never comes: the
    // second signal stops the cradle at once.
    server.terminate();
    if (!server.waitForFinished(5000)) server.terminate();
    server.waitForFinished();
    // The cradle's own seconds for each sync's upload, preparation and answer, from its log.
    said += server.readAllStandardError();
    static const QRegularExpression answered(
        QStringLiteral("POST /sync device 1 200 answered .* ([0-9.]+) s\n"));
    QList<double> inServer;
    for (auto m = answered.globalMatch(QString::fromUtf8(said)); m.hasNext();)
        inServer << m.next().captured(1).toDouble();
    QStringList got;
    for (int s : statuses)
        got << QString::number(s);
    std::printf("handheld after the sync: %.1f MB\n", bytes / 1e6);
    std::printf("local file: median %.3f s\n", median(local));
    std::printf("over loopback: median %.3f s, of which in kvcradle (upload, sync, answer) %.3f s\n",
                median(network), inServer.isEmpty() ? 0.0 : median(inServer));
    std::printf(
        "kvcradle peak memory: %lld MB after the syncs one at a time, %lld MB after 10 uploads at once "
        "(answered %s)\n",
        static_cast<long long>(peakOne), static_cast<long long>(peakTen),
        qPrintable(got.join(QLatin1Char(' '))));
    std::printf("ratio=%.2f\n", median(network) / median(local));
    return 0;
}

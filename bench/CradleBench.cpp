// bench cradle: the sync of the demo's largest store (the demo ERP exported for a device without
// filters) into an empty handheld, through kvcradle over loopback and as a local file
// (kvhandheld hotsync's code, in process), alternated, five times each. Prints each median and,
// as its last line, ratio=R: the network sync's median over the local one's.
#include "app/AppHome.h"
#include "app/SettingsFile.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "cradle/CradleTokens.h"
#include "cradle/HotSync.h"
#include "cradle/net/CradleClient.h"
#include "settings/DeviceSettings.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    QTemporaryDir work;
    const QString home = work.path();
    AppHome::set(home);
    const QString erp = home + QStringLiteral("/erp-demo.db");
    const QString launch =
        QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;").arg(erp);
    const QString empty = home + QStringLiteral("/empty.db"), palm = home + QStringLiteral("/palm.db");
    std::printf("Making the demo ERP and its largest store ...\n");
    std::fflush(stdout);
    if (!run(bin + QStringLiteral("/kverp"), {QStringLiteral("init"), QStringLiteral("--sqlite"), erp,
                                              QStringLiteral("--clients"), QStringLiteral("300")}) ||
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
    const QByteArray token = cradle::CradleTokens().issue(1, true).toLatin1();

    QProcess server;
    server.setReadChannel(QProcess::StandardError);
    server.start(bin + QStringLiteral("/kvcradle"),
                 {QStringLiteral("--home"), home, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                  QStringLiteral("--max-size"), QStringLiteral("1024")});
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
    server.terminate();
    server.waitForFinished();
    std::printf("handheld after the sync: %lld bytes\n", static_cast<long long>(bytes));
    std::printf("local file: median %.3f s\n", median(local));
    std::printf("over loopback: median %.3f s\n", median(network));
    std::printf("ratio=%.2f\n", median(network) / median(local));
    return 0;
}

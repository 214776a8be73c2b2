#include "CradleFixture.h"

#include "ErpFixture.h"

#include <csignal>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QUrl>
#include <sys/resource.h>

namespace kv::test {

Cradle::Cradle(const TempHome& home, const QStringList& extra, int maxFiles)
    : m_temp(home.file(QStringLiteral("cradle-tmp"))) {
    QDir().mkpath(m_temp);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), m_temp);
    m_process.setProcessEnvironment(env);
    if (maxFiles > 0)
        m_process.setChildProcessModifier([maxFiles] {
            const rlimit files{rlim_t(maxFiles), rlim_t(maxFiles)};
            ::setrlimit(RLIMIT_NOFILE, &files);
        });
    m_process.start(programPath(QStringLiteral("kvcradle")),
                    QStringList{QStringLiteral("--home"), home.path(), QStringLiteral("--listen"),
                                QStringLiteral("127.0.0.1:0")} +
                        extra);
    QElapsedTimer t;
    t.start();
    const QRegularExpression listening(QStringLiteral("listening on (https?://127.0.0.1:\\d+)"));
    while (t.elapsed() < 10000 && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(200);
        m_log += m_process.readAllStandardError();
        if (const auto m = listening.match(QString::fromUtf8(m_log)); m.hasMatch()) {
            m_url = m.captured(1);
            return;
        }
    }
}

Cradle::~Cradle() {
    if (terminate(10000) < 0) m_process.kill();
    m_process.waitForFinished();
}

quint16 Cradle::port() const {
    return quint16(QUrl(m_url).port());
}

QString Cradle::log() {
    while (m_process.waitForReadyRead(300))
        m_log += m_process.readAllStandardError();
    m_log += m_process.readAllStandardError();
    return QString::fromUtf8(m_log);
}

QStringList Cradle::requestFolders() const {
    return QDir(m_temp).entryList({QStringLiteral("kvcradle-*")}, QDir::Dirs);
}

int Cradle::terminate(int ms) {
    if (m_process.state() != QProcess::NotRunning) m_process.terminate();
    return exitStatus(ms);
}

int Cradle::exitStatus(int ms) {
    if (!m_process.waitForFinished(ms) && m_process.state() != QProcess::NotRunning) return -1;
    m_log += m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void Cradle::signal(int number) {
    ::kill(pid_t(m_process.processId()), number);
}

qint64 Cradle::peakKb() const {
    const QRegularExpression hwm(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return hwm.match(QString::fromLatin1(contents(QStringLiteral("/proc/%1/status").arg(pid()))))
        .captured(1)
        .toLongLong();
}

Reply request(const QString& url, const QByteArray* body, const QByteArray& token, const QString& caCert) {
    QNetworkAccessManager manager;
    QNetworkRequest r{QUrl(url)};
    r.setTransferTimeout(60000);
    if (!token.isEmpty()) r.setRawHeader("Authorization", "Bearer " + token);
    if (!caCert.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(caCert));
        r.setSslConfiguration(tls);
    }
    r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/vnd.sqlite3"));
    QNetworkReply* reply = body ? manager.post(r, *body) : manager.get(r);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Reply out;
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.body = reply->readAll();
    out.syncId = reply->rawHeader("X-Kvcradle-Sync");
    const QJsonObject o = QJsonDocument::fromJson(out.body).object();
    out.error = o.value(QStringLiteral("error")).toString();
    out.message = o.value(QStringLiteral("message")).toString();
    if (out.status == 0) out.message = reply->errorString();
    delete reply;
    return out;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void NetworkCradle::SetUp() {
    makeDemoSite(erpPath, store);
    ASSERT_EQ(
        kvhandheld({QStringLiteral("init"), palm, QStringLiteral("--device"), QStringLiteral("1")}).exitCode,
        0);
    for (int device : {1, 2}) {
        const ToolRun t =
            runTool(QStringLiteral("kvctl"), home,
                    {QStringLiteral("cradle"), QStringLiteral("token"), QString::number(device)});
        ASSERT_EQ(t.exitCode, 0) << t.err.toStdString();
        tokens[device] = t.out.trimmed().toLatin1();
    }
}

ToolRun NetworkCradle::kvhandheld(const QStringList& command) {
    return runTool(QStringLiteral("kvhandheld"), home, command);
}

QString NetworkCradle::launch() const {
    return QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;").arg(erpPath);
}

QStringList NetworkCradle::kvctlArgs(const QStringList& command) const {
    return QStringList{QStringLiteral("--home"), home.path(), QStringLiteral("--launch"), launch()} + command;
}

QString NetworkCradle::withSync(const QStringList& command, const std::function<void()>& sync) {
    QProcess kvctl;
    kvctl.start(programPath(QStringLiteral("kvctl")), kvctlArgs(command));
    QByteArray out;
    EXPECT_TRUE(waitForOutput(kvctl, out, "Del Dispositivo M")) << out.toStdString();
    sync();
    EXPECT_TRUE(kvctl.waitForFinished(60000));
    EXPECT_EQ(kvctl.exitCode(), 0) << kvctl.readAllStandardError().toStdString();
    return QString::fromUtf8(out + kvctl.readAllStandardOutput());
}

QString NetworkCradle::sendThrough(const QString& url) {
    return withSync({QStringLiteral("send"), QStringLiteral("1")}, [&] {
        const ToolRun r = kvhandheld({QStringLiteral("hotsync"), palm, QStringLiteral("--server"), url,
                                      QStringLiteral("--token"), QString::fromLatin1(tokens[1])});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    });
}

} // namespace kv::test

#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <unistd.h>

namespace kv::test {

TempHome::TempHome() : m_previous(qgetenv("KVCONTROL_HOME")) {
    qputenv("KVCONTROL_HOME", m_dir.path().toLocal8Bit());
}

TempHome::~TempHome() {
    if (m_previous.isEmpty()) qunsetenv("KVCONTROL_HOME");
    else qputenv("KVCONTROL_HOME", m_previous);
}

QString TempHome::path() const {
    return m_dir.path();
}

QString TempHome::file(const QString& name) const {
    return m_dir.filePath(name);
}

QString postgresConnInfo() {
    return qEnvironmentVariable("KV_TEST_PG");
}

namespace {
QMap<QString, QString> parseConnInfo(const QString& info) {
    QMap<QString, QString> m;
    for (const QString& part : info.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq > 0) m.insert(part.left(eq), part.mid(eq + 1));
    }
    return m;
}

// Runs one statement on the server's maintenance database.
bool adminExec(const QString& sql) {
    const auto ci = parseConnInfo(postgresConnInfo());
    const QString name = QStringLiteral("kvtest_admin_") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(ci.value(QStringLiteral("host"), QStringLiteral("127.0.0.1")));
        db.setPort(ci.value(QStringLiteral("port"), QStringLiteral("5432")).toInt());
        db.setUserName(ci.value(QStringLiteral("user"), QStringLiteral("postgres")));
        db.setDatabaseName(ci.value(QStringLiteral("dbname"), QStringLiteral("postgres")));
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(sql);
            if (!ok) qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        } else {
            qWarning("cannot reach the PostgreSQL test server: %s", qPrintable(db.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
} // namespace

TempPgDatabase::TempPgDatabase() {
    if (postgresConnInfo().isEmpty()) return;
    const QString name = QStringLiteral("kvtest_%1").arg(QRandomGenerator::global()->generate64(), 0, 16);
    if (adminExec(QStringLiteral("CREATE DATABASE %1").arg(name))) m_name = name;
}

TempPgDatabase::~TempPgDatabase() {
    if (!m_name.isEmpty()) adminExec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
}

QString TempPgDatabase::host() const {
    return parseConnInfo(postgresConnInfo()).value(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
}

int TempPgDatabase::port() const {
    return parseConnInfo(postgresConnInfo()).value(QStringLiteral("port"), QStringLiteral("5432")).toInt();
}

QString TempPgDatabase::user() const {
    return parseConnInfo(postgresConnInfo()).value(QStringLiteral("user"), QStringLiteral("postgres"));
}

QString TempPgDatabase::connInfo() const {
    return QStringLiteral("host=%1 port=%2 user=%3 dbname=%4").arg(host()).arg(port()).arg(user(), m_name);
}

PrivatePgServer::PrivatePgServer() {
    QDir lib(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (versions.isEmpty() || !m_dir.isValid()) return;
    m_bin = lib.filePath(versions.last() + QStringLiteral("/bin"));
    if (::geteuid() == 0) {
        // The server refuses to run as root: the cluster belongs to the postgres user.
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres:postgres"), m_dir.path()});
    }
    if (!run({m_bin + QStringLiteral("/initdb"), QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
              QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-A"), QStringLiteral("trust"),
              QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8")}))
        return;
    for (int attempt = 0; attempt < 20 && !m_port; ++attempt) {
        const int port = 20000 + int(QRandomGenerator::global()->bounded(40000));
        m_port = port;
        if (!start()) m_port = 0;
    }
}

PrivatePgServer::~PrivatePgServer() {
    if (m_port) stop();
}

bool PrivatePgServer::run(const QStringList& command, int timeoutMs) {
    QStringList args = command;
    QString program = args.takeFirst();
    if (::geteuid() == 0) {
        args = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} + args;
        program = QStringLiteral("runuser");
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok) qWarning("%s failed: %s", qPrintable(command.first()), p.readAll().constData());
    return ok;
}

bool PrivatePgServer::start() {
    const bool ok = run({m_bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                QStringLiteral("-l"), m_dir.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-o"),
                QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off").arg(m_port).arg(m_dir.path()),
                QStringLiteral("start")});
    if (!ok) {
        QFile log(m_dir.filePath(QStringLiteral("log")));
        if (log.open(QIODevice::ReadOnly)) qWarning("server log: %s", log.readAll().right(2000).constData());
    }
    return ok;
}

bool PrivatePgServer::stop() {
    return run({m_bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

QString PrivatePgServer::connInfo(const QString& dbname) const {
    return QStringLiteral("host=127.0.0.1 port=%1 user=postgres dbname=%2").arg(m_port).arg(dbname);
}

bool PrivatePgServer::createDatabase(const QString& name) {
    return run({m_bin + QStringLiteral("/createdb"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-U"), QStringLiteral("postgres"), name});
}

QString programPath(const QString& name) {
    QString dir = qEnvironmentVariable("KV_BIN_DIR");
    if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath();
    return QDir(dir).filePath(name);
}

ToolRun runTool(const QString& name, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start(programPath(name), args);
    p.closeWriteChannel();
    ToolRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.crashed = true;
    }
    r.crashed = r.crashed || p.exitStatus() != QProcess::NormalExit;
    r.exitCode = r.crashed ? -1 : p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

ToolRun runTool(const QString& name, const TempHome& home, const QStringList& args, int timeoutMs) {
    return runTool(name, QStringList{QStringLiteral("--home"), home.path()} + args, timeoutMs);
}

bool waitForOutput(QProcess& process, QByteArray& seen, const QByteArray& text) {
    QElapsedTimer t;
    t.start();
    while (!seen.contains(text) && t.elapsed() < 10000 && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(200);
        seen += process.readAllStandardOutput();
    }
    seen += process.readAllStandardOutput();
    return seen.contains(text);
}

} // namespace kv::test

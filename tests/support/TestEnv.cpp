#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

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

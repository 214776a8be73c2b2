// bench exchange: a fleet of K stand-in handhelds (default 30) that sync themselves at once
// through one kvcradle (POST /exchange, by `kvhandheld exchange`), each with 20 documents made by
// `kvhandheld capture`, their devices filtered like the demo's (a route, a client list, or none).
// Baseline in the same run: the same K round trips done one after another the way the console
// does them (`kvctl receive N` and `kvctl send N`, `kvhandheld hotsync` pressing the cradle).
// Prints exchanges per minute, p50 and p95 latency, documents per second, kvcradle's and its
// workers' peak memory, and as its last line ratio=R: the fleet's time over the sequential
// round trips'. Fails when any captured document is not in the ERP exactly once.
//   kvbench_exchange [--handhelds K] [--pg CONNINFO]  (PostgreSQL measured first, then SQLite)
#include "app/AppHome.h"
#include "cradle/CradleTokens.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <thread>

using namespace kv;

namespace {

constexpr int kDocumentsEach = 20; // 5 of each type

QString g_bin;

QString tool(const char* name) {
    return g_bin + QLatin1Char('/') + QLatin1String(name);
}

// Runs a tool to its end; its output, or nullopt (said on stderr) when it failed.
std::optional<QByteArray> run(const QString& program, const QStringList& args,
                              const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(-1);
    const QByteArray said = p.readAll();
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return said;
    std::fprintf(stderr, "failed: %s %s\n%s", qPrintable(program), qPrintable(args.join(QLatin1Char(' '))),
                 said.constData());
    return std::nullopt;
}

double percentile(QList<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[qMin(v.size() - 1, qsizetype(p * double(v.size())))];
}

qint64 statusKb(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    const QRegularExpression re(QLatin1String(field) + QStringLiteral(":\\s+(\\d+) kB"));
    return re.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

// The processes whose parent is `pid` (kvcradle's exchange workers).
QList<qint64> children(qint64 pid) {
    QList<qint64> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 child = entry.toLongLong(&number);
        if (!number) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid) found << child;
    }
    return found;
}

// kvcradle's workers watched while the fleet runs: the largest peak of one, and the most
// resident memory they held together at one look.
struct WorkerWatch {
    std::atomic<bool> stop{false};
    qint64 largestKb = 0;
    qint64 togetherKb = 0;
    std::thread thread;
    explicit WorkerWatch(qint64 cradle) {
        thread = std::thread([this, cradle] {
            while (!stop.load()) {
                qint64 sum = 0;
                for (qint64 w : children(cradle)) {
                    largestKb = qMax(largestKb, statusKb(w, "VmHWM"));
                    sum += statusKb(w, "VmRSS");
                }
                togetherKb = qMax(togetherKb, sum);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~WorkerWatch() {
        stop = true;
        thread.join();
    }
};

// The demo's kinds of device, in turn: a route, a client list, everything.
QString settingsFile(int devices) {
    QString text = QStringLiteral("[General]\nBaseDeDatos=kvpalmsync.mdb\n\n");
    for (int n = 1; n <= devices; ++n) {
        text += QStringLiteral("[PARAMETROS PALM Nº %1]\nNOMBRE=Palm %1\n").arg(n);
        if (n % 3 == 1) text += QStringLiteral("REPARTO=%1\n").arg((n / 3) % 5 + 1);
        if (n % 3 == 2)
            text += QStringLiteral("CLIENTE=%1,%2,%3\n")
                        .arg(n % 300 + 1, 6, 10, QLatin1Char('0'))
                        .arg((n * 7) % 300 + 1, 6, 10, QLatin1Char('0'))
                        .arg((n * 13) % 300 + 1, 6, 10, QLatin1Char('0'));
        text += QLatin1Char('\n');
    }
    return text;
}

struct Erp {
    QString name;   // "sqlite" or "postgresql"
    QString launch; // the launch string
    QStringList kverp; // kverp init's ERP options
    QString driver;
    QString conn; // the database for the check: a file, or a libpq conninfo
};

// A waiting kvctl command synced by the cradle button; false when either failed.
bool consoleSync(const QString& home, const Erp& erp, const QString& command, int device, const QString& palm) {
    QProcess wait;
    wait.setProcessChannelMode(QProcess::MergedChannels);
    wait.start(tool("kvctl"), {QStringLiteral("--home"), home, QStringLiteral("--launch"), erp.launch, command,
                               QString::number(device)});
    QByteArray said;
    for (int i = 0; i < 6000 && !said.contains("Esperando Conexi") && wait.state() != QProcess::NotRunning; ++i) {
        wait.waitForReadyRead(50);
        said += wait.readAll();
    }
    const bool pressed = run(tool("kvhandheld"), {QStringLiteral("--home"), home, QStringLiteral("hotsync"), palm}).has_value();
    wait.waitForFinished(-1);
    if (wait.exitCode() != 0 || !pressed) {
        std::fprintf(stderr, "kvctl %s %d failed:\n%s%s", qPrintable(command), device, said.constData(),
                     wait.readAll().constData());
        return false;
    }
    return true;
}

bool capture(const QString& home, const QString& palm, int seed) {
    return run(tool("kvhandheld"),
               {QStringLiteral("--home"), home, QStringLiteral("capture"), palm, QStringLiteral("--orders"),
                QStringLiteral("5"), QStringLiteral("--deliveries"), QStringLiteral("5"), QStringLiteral("--quotes"),
                QStringLiteral("5"), QStringLiteral("--work-orders"), QStringLiteral("5"), QStringLiteral("--seed"),
                QString::number(seed)})
        .has_value();
}

// The document keys a handheld holds.
QStringList keysOn(const QString& palm) {
    QStringList keys;
    const auto dumped = run(tool("kvhandheld"), {QStringLiteral("dump"), palm, QStringLiteral("MV_CPTE")});
    if (!dumped) return keys;
    const QList<QByteArray> lines = dumped->split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty()) keys << QString::fromUtf8(lines[i].split('\t').first());
    return keys;
}

// The ERP opened for the bench's own statements, as connection `name`; false, said, when it cannot be.
bool openErp(const Erp& erp, const QString& name) {
    QSqlDatabase db = QSqlDatabase::addDatabase(erp.driver, name);
    if (erp.driver == QLatin1String("QSQLITE")) {
        db.setDatabaseName(erp.conn);
    } else {
        for (const QString& part : erp.conn.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString key = part.section(QLatin1Char('='), 0, 0), value = part.section(QLatin1Char('='), 1);
            if (key == QLatin1String("host")) db.setHostName(value);
            if (key == QLatin1String("port")) db.setPort(value.toInt());
            if (key == QLatin1String("user")) db.setUserName(value);
            if (key == QLatin1String("dbname")) db.setDatabaseName(value);
        }
    }
    if (db.open()) return true;
    std::fprintf(stderr, "cannot open the ERP: %s\n", qPrintable(db.lastError().text()));
    return false;
}

// The ERP's count of devices, so that the fleet's and the console's are all known to it.
bool setDevices(const Erp& erp, int devices) {
    bool ok = openErp(erp, QStringLiteral("devices"));
    if (ok) {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("devices")));
        q.prepare(QStringLiteral("UPDATE ta_configuracion SET VALOR = ? WHERE CLAVE = 'GM_CANT_DISPOSITIVOS'"));
        q.addBindValue(QString::number(devices));
        ok = q.exec() && q.numRowsAffected() == 1;
        if (!ok) std::fprintf(stderr, "cannot set the ERP's device count: %s\n", qPrintable(q.lastError().text()));
    }
    QSqlDatabase::database(QStringLiteral("devices")).close();
    QSqlDatabase::removeDatabase(QStringLiteral("devices"));
    return ok;
}

// How many of `keys` the ERP holds other than exactly once.
int notExactlyOnce(const Erp& erp, const QStringList& keys) {
    int wrong = 0;
    if (!openErp(erp, QStringLiteral("check"))) return int(keys.size());
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("check")));
        q.prepare(QStringLiteral("SELECT count(*) FROM V_MV_CPTE WHERE trim(TC) = ? AND IDCOMPROBANTE = ?"));
        for (const QString& key : keys) {
            q.addBindValue(key.left(2));
            q.addBindValue(key.mid(2));
            const bool once = q.exec() && q.next() && q.value(0).toInt() == 1;
            if (!once) {
                ++wrong;
                std::fprintf(stderr, "  %s: %s times in the ERP\n", qPrintable(key),
                             q.isValid() ? qPrintable(q.value(0).toString()) : "?");
            }
        }
    }
    QSqlDatabase::database(QStringLiteral("check")).close();
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return wrong;
}

// One ERP's figures; the ratio, or a negative number when the run failed.
double measure(const Erp& erp, int handhelds) {
    QTemporaryDir work;
    const QString home = work.path();
    AppHome::set(home);
    const QStringList inHome{QStringLiteral("--home"), home};
    std::printf("%s ERP: making it, %d handhelds with their first data ...\n", qPrintable(erp.name), handhelds);
    std::fflush(stdout);
    QFile settings(home + QStringLiteral("/CN000pr.INI"));
    // Devices 1 to K are the fleet, K + 1 to 2K the console's: each numbers its documents at a
    // branch of its own.
    if (!settings.open(QIODevice::WriteOnly) || settings.write(settingsFile(2 * handhelds).toUtf8()) < 0) return -1;
    settings.close();
    if (!run(tool("kverp"), QStringList{QStringLiteral("init")} + erp.kverp + QStringList{QStringLiteral("--clients"), QStringLiteral("300")}) ||
        !run(tool("kvctl"), inHome + QStringList{QStringLiteral("store"), QStringLiteral("init"), home + QStringLiteral("/kvpalmsync.mdb")}) ||
        !setDevices(erp, 2 * handhelds))
        return -1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QMap<int, QString> tokens;
    for (int n = 1; n <= handhelds; ++n) tokens[n] = cradle::CradleTokens().issue(n, true);

    QProcess cradle;
    QProcessEnvironment withErp = env;
    withErp.insert(QStringLiteral("KVCONTROL_LAUNCH"), erp.launch);
    cradle.setProcessEnvironment(withErp);
    cradle.setReadChannel(QProcess::StandardError);
    // All K at once against the cradle's own bound on exchanges (its default): beyond it a handheld
    // is turned away and tries again, as kvhandheld exchange does by itself. Only the connections from one address are let through, since
    // the whole fleet comes from 127.0.0.1 here.
    cradle.start(tool("kvcradle"), inHome + QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                                        QStringLiteral("--per-address"), QString::number(handhelds)});
    QString url;
    QByteArray said;
    const QRegularExpression listening(QStringLiteral("listening on (http://127.0.0.1:\\d+)"));
    while (url.isEmpty() && cradle.waitForReadyRead(10000)) {
        said += cradle.readAllStandardError();
        url = listening.match(QString::fromUtf8(said)).captured(1);
    }
    if (url.isEmpty()) {
        std::fprintf(stderr, "kvcradle did not start: %s\n", said.constData());
        return -1;
    }
    const auto exchange = [&](int n, const QString& palm) {
        QProcess* p = new QProcess;
        QProcessEnvironment e = env;
        e.insert(QStringLiteral("KVCRADLE_TOKEN"), tokens[n]);
        p->setProcessEnvironment(e);
        p->start(tool("kvhandheld"), inHome + QStringList{QStringLiteral("exchange"), palm, QStringLiteral("--server"), url,
                                                          QStringLiteral("--format"), QStringLiteral("json")});
        return p;
    };
    const auto palm = [&](const char* set, int n) { return home + QStringLiteral("/%1%2.db").arg(QLatin1String(set)).arg(n); };

    // Every handheld gets its first data and its documents: the fleet's by an exchange, the
    // baseline's by a send; each device's documents numbered in a range of its own.
    QStringList captured;
    for (int n = 1; n <= handhelds; ++n) {
        const int console = handhelds + n;
        for (const auto& [set, device] : {std::pair{"fleet", n}, std::pair{"console", console}})
            if (!run(tool("kvhandheld"), inHome + QStringList{QStringLiteral("init"), palm(set, n), QStringLiteral("--device"),
                                                              QString::number(device)}))
                return -1;
        std::unique_ptr<QProcess> first(exchange(n, palm("fleet", n)));
        first->waitForFinished(-1);
        if (first->exitCode() != 0 || !consoleSync(home, erp, QStringLiteral("send"), console, palm("console", n))) {
            std::fprintf(stderr, "device %d's first data failed: %s\n", n, first->readAllStandardError().constData());
            return -1;
        }
        if (!capture(home, palm("fleet", n), n) || !capture(home, palm("console", n), console)) return -1;
        captured << keysOn(palm("fleet", n)) << keysOn(palm("console", n));
    }

    // The baseline: K round trips one after another, documents home then fresh data out.
    QElapsedTimer clock;
    clock.start();
    for (int n = 1; n <= handhelds; ++n)
        if (!consoleSync(home, erp, QStringLiteral("receive"), handhelds + n, palm("console", n)) ||
            !consoleSync(home, erp, QStringLiteral("send"), handhelds + n, palm("console", n)))
            return -1;
    const double sequential = clock.nsecsElapsed() / 1e9;

    // The fleet, all at once.
    QList<double> latencies;
    qint64 imported = 0, refused = 0;
    bool failed = false;
    {
        WorkerWatch watch(cradle.processId());
        QList<std::pair<QProcess*, QElapsedTimer>> fleet;
        clock.restart();
        for (int n = 1; n <= handhelds; ++n) {
            QElapsedTimer t;
            t.start();
            fleet.append({exchange(n, palm("fleet", n)), t});
        }
        // A handheld turned away as busy tries again by itself when the cradle says (Retry-After).
        for (auto& [p, t] : fleet) {
            p->waitForFinished(-1);
            latencies << t.nsecsElapsed() / 1e9;
            const QJsonObject report = QJsonDocument::fromJson(p->readAllStandardOutput()).object();
            if (p->exitCode() != 0) {
                failed = true;
                std::fprintf(stderr, "an exchange failed: %s\n", p->readAllStandardError().constData());
            }
            imported += report.value(QStringLiteral("imported")).toArray().size() +
                        report.value(QStringLiteral("existing")).toArray().size();
            refused += report.value(QStringLiteral("refused")).toArray().size();
            delete p;
        }
        const double whole = clock.nsecsElapsed() / 1e9;
        watch.stop = true;
        std::printf("%s ERP, %d handhelds of %d documents each at once:\n", qPrintable(erp.name), handhelds, kDocumentsEach);
        std::printf("  whole fleet %.2f s: %.1f exchanges per minute, latency p50 %.2f s, p95 %.2f s\n", whole,
                    handhelds * 60.0 / whole, percentile(latencies, 0.5), percentile(latencies, 0.95));
        std::printf("  documents: %lld into the ERP, %lld refused, %.1f per second\n", static_cast<long long>(imported),
                    static_cast<long long>(refused), imported / whole);
        std::printf("  peak memory: kvcradle %lld MB; its workers: %lld MB the largest, %lld MB together at most\n",
                    static_cast<long long>(statusKb(cradle.processId(), "VmHWM") / 1024),
                    static_cast<long long>(watch.largestKb / 1024), static_cast<long long>(watch.togetherKb / 1024));
        std::printf("  the console's way, one after another (receive + send each): %.2f s\n", sequential);
        std::printf("  ratio_%s=%.2f\n", qPrintable(erp.name), whole / sequential);
        cradle.terminate();
        if (!cradle.waitForFinished(30000)) cradle.kill();
        const int wrong = notExactlyOnce(erp, captured);
        if (wrong > 0 || failed) {
            std::fprintf(stderr, "%s ERP: %d of %lld captured documents are not in the ERP exactly once\n",
                         qPrintable(erp.name), wrong, static_cast<long long>(captured.size()));
            return -1;
        }
        std::printf("  every one of the %lld captured documents is in the ERP exactly once\n",
                    static_cast<long long>(captured.size()));
        return whole / sequential;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    g_bin = QCoreApplication::applicationDirPath();
    int handhelds = 30;
    QString pg;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--handhelds")) handhelds = qMax(1, args[i + 1].toInt());
        if (args[i] == QLatin1String("--pg")) pg = args[i + 1];
    }
    QTemporaryDir erpFolder;
    QList<Erp> erps;
    if (!pg.isEmpty()) {
        QString host, port, user, db;
        for (const QString& part : pg.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString key = part.section(QLatin1Char('='), 0, 0), value = part.section(QLatin1Char('='), 1);
            if (key == QLatin1String("host")) host = value;
            if (key == QLatin1String("port")) port = value;
            if (key == QLatin1String("user")) user = value;
            if (key == QLatin1String("dbname")) db = value;
        }
        erps.append({QStringLiteral("postgresql"),
                     QStringLiteral("@Motor=postgresql;@Server=%1,%2;@DbName=%3;@Usuario=%4;@Password=;").arg(host, port, db, user),
                     {QStringLiteral("--pg"), pg}, QStringLiteral("QPSQL"), pg});
    } else {
        std::printf("PostgreSQL: skipped (no --pg)\n");
    }
    const QString file = erpFolder.filePath(QStringLiteral("erp.db"));
    erps.append({QStringLiteral("sqlite"), QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;").arg(file),
                 {QStringLiteral("--sqlite"), file}, QStringLiteral("QSQLITE"), file});
    double ratio = -1;
    for (const Erp& erp : erps) {
        ratio = measure(erp, handhelds);
        if (ratio < 0) return 1;
        std::printf("\n");
    }
    std::printf("ratio=%.2f\n", ratio);
    return 0;
}

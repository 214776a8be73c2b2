// kvbench export: times the send direction's export of a large ERP into an empty local sync
// store, step by step, and compares it with SQLite copying the same rows by itself.
//
//   kvbench export --sqlite ERP_FILE --work DIR
//   kvbench export --pg CONNINFO --baseline ERP_FILE --work DIR
//   (--rounds N: how many times each copy runs, 3 by default; medians are shown)
//
// With --sqlite the ERP file is also the baseline's source; with --pg the baseline copies the
// same rows from an SQLite ERP made with the same sizes and seed. The last line is
// "ratio=R" (SQLite ERP) or "ratio_postgresql=R": the export's time over the baseline's.

#include "DemoErp.h"
#include "app/Operator.h"
#include "data/Connection.h"
#include "data/Dialect.h"
#include "export/ExportRunner.h"
#include "export/ExportTasks.h"
#include "progress/StepProgress.h"
#include "store/StoreFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>

using namespace kv;

namespace {

QTextStream out(stdout);

double peakMegabytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0; // kilobytes on Linux
}

QString grouped(qint64 n) {
    QString s = QString::number(n);
    for (int i = int(s.size()) - 3; i > 0; i -= 3) s.insert(i, QLatin1Char(','));
    return s;
}

// Reads a file once so both copies start from the same warm page cache.
void warm(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    while (!f.read(1 << 20).isEmpty()) {
    }
}

void freshStore(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    createStore(path);
}

// Nobody watches a benchmark: the step list is timed, not printed.
class QuietOperator : public Operator {
    class Quiet : public StatusWindow {
    public:
        void open(const QString&, bool) override {}
        void offerCancel(bool) override {}
        bool showTexts(const QString&, const QString&, const QString&) override { return false; }
        void close() override {}
    };

public:
    int messageBox(const QString&, int, const QString&) override { return mb::Ok; }
    int errorPrompt(const QString&, int, const QString&) override { return mb::Abort; }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFile(const QString&, const QString&) override { return std::nullopt; }
    bool connectionDialog(ConnectionValues&) override { return false; }
    StatusWindow& statusWindow() override { return m_status; }
    void showStepProgress(StepProgress&) override {}
    void listLookup(LookupSession&) override {}
    void processEvents() override {}

private:
    Quiet m_status;
};

struct StepTime {
    qint64 rows = 0;
    double seconds = 0;
};

// The export as the send runs it, with each step's time taken from the step list's changes.
QList<StepTime> timeExport(Connection& erp, const QString& store, double& total, bool& ok) {
    StepProgress& progress = exportProgress();
    QList<QElapsedTimer> started(exportSteps().size());
    QList<StepTime> times(exportSteps().size());
    QObject context;
    QObject::connect(&progress, &StepProgress::lineChanged, &context, [&](int i) {
        if (i < 0 || i >= times.size()) return;
        const int state = progress.lines().at(i).state;
        if (state == 2 && !started[i].isValid()) started[i].start();
        else if (state != 2 && started[i].isValid()) times[i].seconds = double(started[i].nsecsElapsed()) / 1e9;
    });
    QElapsedTimer t;
    t.start();
    const QList<StepOutcome> outcomes = EjecutarExportacion(store, QString(), QString(), erp);
    total = double(t.nsecsElapsed()) / 1e9;
    ok = failedSteps(outcomes).isEmpty();
    for (int i = 0; i < outcomes.size(); ++i) {
        times[i].rows = outcomes[i].rows;
        if (!outcomes[i].error.isEmpty())
            out << "  " << exportSteps()[i].description << " failed: " << outcomes[i].error << Qt::endl;
    }
    return times;
}

bool exec(sqlite3* db, const QString& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    out << "baseline: " << QString::fromUtf8(message) << "\n  in: " << sql << Qt::endl;
    sqlite3_free(message);
    return false;
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// SQLite copying the same rows itself: the ERP file attached to an empty store, one
// INSERT ... SELECT per copy step over the step's own source statement and columns, each in
// one transaction.
double timeBaseline(const QString& erpFile, const QString& store, qint64& rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(store).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    static const QRegularExpression from(QStringLiteral("\\bFROM\\s+\"?([A-Za-z_][A-Za-z0-9_]*)\"?"),
                                         QRegularExpression::CaseInsensitiveOption);
    QElapsedTimer t;
    t.start();
    bool ok = exec(db, QStringLiteral("ATTACH DATABASE '%1' AS erp").arg(QString(erpFile).replace(QLatin1Char('\''), QStringLiteral("''"))));
    rows = 0;
    for (const ExportStep& step : exportSteps()) {
        if (!ok || step.destination.isEmpty()) continue;
        QString source = dialect::toSqlite(sourceStatement(step, QString(), QString()));
        source.replace(from, QStringLiteral("FROM erp.\"\\1\""));
        QStringList destination, columns;
        for (const ColumnCopy& c : step.columns) {
            destination << quoted(c.destination);
            columns << quoted(c.source);
        }
        ok = exec(db, QStringLiteral("BEGIN")) &&
             exec(db, QStringLiteral("INSERT INTO main.%1 (%2) SELECT %3 FROM (%4)")
                          .arg(quoted(step.destination), destination.join(QLatin1Char(',')), columns.join(QLatin1Char(',')), source)) &&
             exec(db, QStringLiteral("COMMIT"));
        rows += sqlite3_changes64(db);
    }
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    sqlite3_close(db);
    return ok ? seconds : -1;
}

int usage() {
    std::fputs("usage: kvbench export (--sqlite ERP_FILE | --pg CONNINFO --baseline ERP_FILE) --work DIR [--rounds N]\n", stderr);
    return 2;
}

int exportBench(const QStringList& args) {
    QString sqliteErp, pg, baselineErp, work;
    int rounds = 3;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        const QString& k = args[i];
        const QString& v = args[i + 1];
        if (k == QLatin1String("--sqlite")) sqliteErp = v;
        else if (k == QLatin1String("--pg")) pg = v;
        else if (k == QLatin1String("--baseline")) baselineErp = v;
        else if (k == QLatin1String("--work")) work = v;
        else if (k == QLatin1String("--rounds")) rounds = qMax(1, v.toInt());
        else return usage();
    }
    if (args.size() % 2 || work.isEmpty() || sqliteErp.isEmpty() == pg.isEmpty()) return usage();
    if (baselineErp.isEmpty()) baselineErp = sqliteErp;
    if (baselineErp.isEmpty()) return usage();
    QDir().mkpath(work);
    const QString store = QDir(work).filePath(QStringLiteral("store-export.mdb"));
    const QString baselineStore = QDir(work).filePath(QStringLiteral("store-baseline.mdb"));

    const erp::Target target = pg.isEmpty() ? erp::Target::sqlite(sqliteErp) : erp::Target::postgres(pg);
    const QString engine = pg.isEmpty() ? QStringLiteral("sqlite") : QStringLiteral("postgresql");
    Connection erp;
    erp::openErp(erp, target);
    warm(baselineErp);

    out << "export, " << engine << " ERP (" << target.describe() << ") into an empty store; " << rounds
        << " rounds, each the export then the baseline, medians shown" << Qt::endl;
    // Disks and neighbours make single timings noisy: alternate the two copies and take medians.
    QList<QPair<double, QList<StepTime>>> exports;
    QList<double> baselines;
    qint64 baselineRows = 0;
    for (int round = 0; round < rounds; ++round) {
        freshStore(store);
        freshStore(baselineStore);
        double total = 0;
        bool ok = false;
        const QList<StepTime> times = timeExport(erp, store, total, ok);
        if (!ok) {
            out << "the export failed" << Qt::endl;
            return 1;
        }
        exports << qMakePair(total, times);
        const double baseline = timeBaseline(baselineErp, baselineStore, baselineRows);
        if (baseline <= 0) return 1;
        baselines << baseline;
    }
    const double peak = peakMegabytes();
    std::sort(exports.begin(), exports.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::sort(baselines.begin(), baselines.end());
    const double total = exports.at(rounds / 2).first;
    const QList<StepTime>& times = exports.at(rounds / 2).second;
    const double baseline = baselines.at(rounds / 2);

    qint64 rows = 0;
    out << QStringLiteral("  %1 %2 %3 %4").arg(QStringLiteral("step"), -16).arg(QStringLiteral("rows"), 10)
               .arg(QStringLiteral("seconds"), 9).arg(QStringLiteral("rows/s"), 12)
        << Qt::endl;
    for (int i = 0; i < times.size(); ++i) {
        const StepTime& s = times[i];
        rows += s.rows;
        out << QStringLiteral("  %1 %2 %3 %4")
                   .arg(exportSteps()[i].description, -16)
                   .arg(grouped(s.rows), 10)
                   .arg(s.seconds, 9, 'f', 3)
                   .arg(s.rows && s.seconds > 0 ? grouped(qint64(s.rows / s.seconds)) : QStringLiteral("-"), 12)
            << Qt::endl;
    }
    out << QStringLiteral("  %1 %2 %3 %4").arg(QStringLiteral("total"), -16).arg(grouped(rows), 10).arg(total, 9, 'f', 3)
               .arg(grouped(qint64(rows / total)), 12)
        << Qt::endl;
    QStringList all;
    for (const auto& e : exports) all << QString::number(e.first, 'f', 2);
    out << "export times (s): " << all.join(QStringLiteral(", ")) << Qt::endl;
    out << QStringLiteral("peak memory: %1 MB (ru_maxrss)").arg(peak, 0, 'f', 1) << Qt::endl;
    all.clear();
    for (double b : baselines) all << QString::number(b, 'f', 2);
    out << QStringLiteral("baseline, SQLite's own copy (ATTACH + INSERT ... SELECT): %1 rows in %2 s, %3 rows/s (times: %4)")
               .arg(grouped(baselineRows))
               .arg(baseline, 0, 'f', 3)
               .arg(grouped(qint64(baselineRows / baseline)))
               .arg(all.join(QStringLiteral(", ")))
        << Qt::endl;
    if (baselineRows != rows) out << "warning: the baseline copied " << baselineRows << " rows, the export " << rows << Qt::endl;
    out << (pg.isEmpty() ? QStringLiteral("ratio=") : QStringLiteral("ratio_postgresql="))
        << QString::number(total / baseline, 'f', 2) << Qt::endl;
    QFile::remove(store);
    QFile::remove(baselineStore);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QuietOperator quiet;
    setOperator(&quiet);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) != QLatin1String("export")) return usage();
    try {
        return exportBench(args.mid(1));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvbench: %s\n", e.what());
    } catch (...) {
        std::fputs("kvbench: the export could not start (see above)\n", stderr);
    }
    return 1;
}

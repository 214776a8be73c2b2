#include "DemoErp.h"

#include "app/RunTimeError.h"
#include "data/Connection.h"
#include "ErpWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace kv::erp {

namespace {

const QString kSource = QStringLiteral("kverp");
constexpr int kDefaultLists = 6;
constexpr qint64 kProgressEvery = 100000;

[[noreturn]] void invalid(const QString& message) {
    throw RunTimeError(erperr::InvalidOptions, message, kSource);
}

int orDefault(int value, int fallback) {
    return value < 0 ? fallback : value;
}

// Every object and index name, as a database that already holds one of them would clash.
QStringList allNames() {
    QStringList names;
    for (const ErpObject& o : erpObjects()) {
        names << o.name;
        for (int i = 0; i < o.indexes.size(); ++i)
            names << o.indexName(i);
    }
    return names;
}

Summary build(ErpWriter& writer, Engine engine, const SampleData& data, const Progress& progress) {
    QElapsedTimer clock;
    clock.start();
    auto say = [&](const QString& line) {
        if (progress) progress(line);
    };
    Summary summary;
    summary.plan = data.plan();
    say(QStringLiteral("creating %1 objects").arg(erpObjects().size()));
    for (const ErpObject& o : erpObjects())
        if (!o.isView()) writer.execute(o.createStatement(engine));

    qint64 priceRows = 0;
    for (const ErpObject& o : erpObjects()) {
        if (o.isView()) continue;
        qint64 rows = 0;
        if (o.rows) {
            const qint64 started = clock.elapsed();
            writer.beginRows(o);
            o.rows(data, [&](const Row& row) {
                writer.addRow(row);
                if (++rows % kProgressEvery == 0) say(QStringLiteral("%1: %2 rows").arg(o.name).arg(rows));
            });
            writer.endRows();
            say(QStringLiteral("%1: %2 rows (%3 s)")
                    .arg(o.name)
                    .arg(rows)
                    .arg((clock.elapsed() - started) / 1000.0, 0, 'f', 1));
        }
        if (o.name == QLatin1String("MA_PRECIOS")) priceRows = rows; // one row of V_MA_Precios each
        summary.objects.append({o.name, false, rows, o.purpose});
    }

    say(QStringLiteral("indexes and views"));
    for (const ErpObject& o : erpObjects())
        for (const QString& statement : o.indexStatements())
            writer.execute(statement);
    for (const ErpObject& o : erpObjects()) {
        if (!o.isView()) continue;
        writer.execute(o.createStatement(engine));
        summary.objects.append({o.name, true, priceRows, o.purpose});
    }
    writer.commit();
    summary.seconds = clock.elapsed() / 1000.0;
    say(QStringLiteral("done in %1 s").arg(summary.seconds, 0, 'f', 1));
    return summary;
}

// The SQLite file under construction, beside its final name: removed unless moved into place.
class PendingFile {
public:
    explicit PendingFile(const QString& target) {
        const QFileInfo info(target);
        // mkstemp makes it owner-only, which suits a file holding the users' passwords.
        m_path = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                   QStringLiteral(".kverp-XXXXXX"));
        const int fd = ::mkstemp(m_path.data());
        if (fd < 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            m_path.clear();
            throw RunTimeError(
                erperr::CannotConnect,
                QStringLiteral("Cannot write in the folder %1: %2").arg(info.absolutePath(), reason),
                kSource);
        }
        ::close(fd);
    }
    ~PendingFile() {
        if (m_path.isEmpty()) return;
        ::unlink(m_path.constData());
        ::unlink((m_path + "-journal").constData());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    QString path() const { return QFile::decodeName(m_path); }

    // Gives the file its final name: replacing what is there when asked to (one atomic step),
    // otherwise only when the name is still free.
    void moveTo(const QString& target, bool replace) {
        const QByteArray to = QFile::encodeName(target);
        int rc = 0;
        if (replace) {
            rc = std::rename(m_path.constData(), to.constData());
        } else {
            rc = ::renameat2(AT_FDCWD, m_path.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
            if (rc != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
                rc = ::link(m_path.constData(), to.constData()); // fails the same way on a taken name
                if (rc == 0) return;                             // the pending name goes with the destructor
            }
        }
        if (rc != 0) {
            if (errno == EEXIST) throwExists(target);
            throw RunTimeError(erperr::CannotConnect,
                               QStringLiteral("Cannot create %1: %2")
                                   .arg(target, QString::fromLocal8Bit(std::strerror(errno))),
                               kSource);
        }
        m_path.clear();
    }

    [[noreturn]] static void throwExists(const QString& target) {
        throw RunTimeError(erperr::AlreadyExists,
                           QStringLiteral("%1 already exists; give --force to replace it").arg(target),
                           kSource);
    }

private:
    QByteArray m_path;
};

Summary createOnSqlite(const QString& file, const Options& options, const SampleData& data,
                       const Progress& progress) {
    const QString target = QFileInfo(file).absoluteFilePath();
    const QFileInfo info(target);
    if (info.isDir()) invalid(QStringLiteral("%1 is a folder").arg(target));
    if (info.exists() && !options.force) PendingFile::throwExists(target);
    if (!info.absoluteDir().exists())
        throw RunTimeError(erperr::CannotConnect,
                           QStringLiteral("The folder %1 does not exist").arg(info.absolutePath()), kSource);
    PendingFile pending(target);
    Summary summary;
    {
        auto writer = openSqliteWriter(pending.path());
        summary = build(*writer, Engine::Sqlite, data, progress);
    }
    pending.moveTo(target, options.force);
    return summary;
}

Summary createOnPostgres(const QString& connInfo, const SampleData& data, const Progress& progress) {
    const ConnInfo info = parseConnInfo(connInfo);
    auto writer = openPostgresWriter(info);
    const QStringList existing = writer->existingObjects(allNames());
    if (!existing.isEmpty()) {
        QString names = existing.mid(0, 5).join(QStringLiteral(", "));
        if (existing.size() > 5) names += QStringLiteral(" and %1 more").arg(existing.size() - 5);
        throw RunTimeError(
            erperr::ObjectsExist,
            QStringLiteral("The database %1 already holds ERP objects (%2); kverp creates them only "
                           "in a database without them")
                .arg(info.describe(), names),
            kSource);
    }
    return build(*writer, Engine::PostgreSql, data, progress);
}

} // namespace

Plan planFor(const Options& o) {
    Plan p;
    p.seed = o.seed;
    p.clients = orDefault(o.clients, 300);
    p.vendors = orDefault(o.vendors, 5);
    p.documents = p.clients == 0 ? 0 : orDefault(o.documents, 12);
    if (o.priceRows < 0) {
        p.articles = orDefault(o.articles, 200);
        p.priceLists = kDefaultLists;
        p.priceRows = qint64(p.articles) * kDefaultLists;
    } else if (o.articles < 0) {
        p.priceLists = kDefaultLists;
        p.priceRows = o.priceRows;
        p.articles = int((o.priceRows + kDefaultLists - 1) / kDefaultLists);
    } else {
        p.articles = o.articles;
        p.priceRows = o.priceRows;
        if (p.articles == 0 && p.priceRows > 0) invalid(QStringLiteral("price rows need articles to price"));
        p.priceLists = p.articles == 0 ? kDefaultLists
                                       : int(qMax<qint64>(1, (p.priceRows + p.articles - 1) / p.articles));
    }
    if (p.clients > 10000000 || p.articles > 10000000 || p.priceRows > 100000000)
        invalid(QStringLiteral("at most 10,000,000 clients and articles and 100,000,000 price rows"));
    if (p.vendors > 9999) invalid(QStringLiteral("at most 9999 vendors (vendor codes have four characters)"));
    if (p.priceLists > 9999)
        invalid(
            QStringLiteral("%1 price rows over %2 articles need %3 price lists; price list codes have four "
                           "characters (at most 9999)")
                .arg(p.priceRows)
                .arg(p.articles)
                .arg(p.priceLists));
    p.suppliers = qMax(10, p.clients / 10);
    p.contacts = qMax(10, p.clients / 3);
    p.maintenances = qMax(10, p.clients / 5);
    return p;
}

Summary createDemoErp(const Target& target, const Options& options, const Progress& progress) {
    const SampleData data(planFor(options));
    switch (target.engine) {
    case Engine::Sqlite:
        return createOnSqlite(target.location, options, data, progress);
    case Engine::PostgreSql:
        return createOnPostgres(target.location, data, progress);
    default:
        invalid(QStringLiteral("the demo ERP is made on SQLite or PostgreSQL"));
    }
}

QString Target::describe() const {
    return engine == Engine::PostgreSql ? parseConnInfo(location).describe()
                                        : QFileInfo(location).absoluteFilePath();
}

QString connectionString(const Target& target) {
    if (target.engine == Engine::PostgreSql) {
        const ConnInfo ci = parseConnInfo(target.location);
        const QString server = ci.port.isEmpty() ? ci.host : ci.host + QLatin1Char(',') + ci.port;
        return QStringLiteral("PROVIDER=SQLOLEDB;Server=%1;Database =%2;UId=%3;Pwd=%4;")
            .arg(server, ci.dbname, ci.user, ci.password);
    }
    return QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source =%1;")
        .arg(QFileInfo(target.location).absoluteFilePath());
}

void openErp(Connection& connection, const Target& target) {
    connection.setEngine(target.engine == Engine::PostgreSql ? Engine::PostgreSql : Engine::Sqlite);
    connection.open(connectionString(target));
}

} // namespace kv::erp

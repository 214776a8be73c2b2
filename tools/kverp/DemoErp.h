#pragma once

// The demo ERP database: every ERP object this program reads or writes, with realistic sample
// rows made from a seed, on SQLite (a file) or PostgreSQL (a database on a server). Other
// modules' tests make one in process:
//
//     const auto target = kv::erp::Target::sqlite(dir.filePath("erp.db"));
//     kv::erp::createDemoErp(target, {.clients = 50});
//     kv::Connection erp;
//     kv::erp::openErp(erp, target);
//
// V_MA_Precios is a view over TA_LISTAS (one row per price list) and MA_PRECIOS (one row per
// article and list); add price rows there. Every other object is a plain, writable table.

#include "data/Engine.h"
#include "SampleData.h"

#include <functional>
#include <QString>
#include <QStringList>

namespace kv {
class Connection;
}

namespace kv::erp {

// Error numbers of the RunTimeError thrown by createDemoErp.
namespace erperr {
constexpr long InvalidOptions = 5;
constexpr long AlreadyExists = 58;          // the file exists and replacing it was not asked for
constexpr long ObjectsExist = 3010;         // the PostgreSQL database holds ERP objects already
constexpr long CannotConnect = -2147467259; // no such server or database, or a file not writable
constexpr long Refused = -2147217900;       // the engine refused a statement
} // namespace erperr

// Sizes: a negative value takes the default. Price rows are made article by article, each
// article in every list, until there are that many; with only the price rows given the
// articles are the price rows divided among 6 lists, with only the articles given each is in
// 6 lists, and with both the lists are as many as it takes (price rows / articles, rounded up).
struct Options {
    int clients = -1;      // 300
    int articles = -1;     // 200
    qint64 priceRows = -1; // articles x 6
    int vendors = -1;      // 5
    int documents = -1;    // 12 documents entered at the office, with their lines
    quint64 seed = 1;
    bool force = false; // replace an existing SQLite file (a PostgreSQL database is never cleared)
};

// The sizes resolved; throws RunTimeError InvalidOptions for sizes that cannot be made.
Plan planFor(const Options& options);

// A libpq connection string ("host=... port=... user=... dbname=... password=...").
struct ConnInfo {
    QString host;
    QString port;
    QString dbname;
    QString user;
    QString password;
    QStringList options; // any other keyword, as key='value', passed on to the driver

    bool hasOption(const QString& key) const;
    // The same without the password, for messages.
    QString describe() const;
};
// Throws RunTimeError InvalidOptions when the text is not a list of key=value pairs.
ConnInfo parseConnInfo(const QString& text);

struct Target {
    Engine engine = Engine::Sqlite; // Sqlite or PostgreSql
    QString location;               // the file, or the connection string

    static Target sqlite(const QString& path) { return {Engine::Sqlite, path}; }
    static Target postgres(const QString& connInfo) { return {Engine::PostgreSql, connInfo}; }
    QString describe() const;
};

struct ObjectSummary {
    QString name;
    bool view = false;
    qint64 rows = 0;
    QString purpose;
};

struct Summary {
    Plan plan;
    QList<ObjectSummary> objects;
    double seconds = 0;
};

// Called with a line of progress: per object, and every 100,000 rows of a long one.
using Progress = std::function<void(const QString&)>;

// Creates the objects and their rows in one transaction: on failure nothing is left behind
// (an SQLite file is built beside its final name and moved into place when complete).
// Refuses an existing SQLite file unless options.force, and a PostgreSQL database that holds
// any of the objects. Throws RunTimeError (erperr numbers).
Summary createDemoErp(const Target& target, const Options& options = {}, const Progress& progress = {});

// The connection string the record-set layer opens the target with.
QString connectionString(const Target& target);
// Opens `connection` on the target with the engine set as the target needs.
void openErp(Connection& connection, const Target& target);

} // namespace kv::erp

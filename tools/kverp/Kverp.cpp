#include "Kverp.h"

#include "app/RunTimeError.h"
#include "CliApp.h"
#include "DemoErp.h"

#include <functional>
#include <limits>
#include <optional>

namespace kv::erp {

namespace {

QString padded(const QString& s, int width) {
    return s.leftJustified(width);
}

void printSummary(QTextStream& out, const Target& target, const Summary& s) {
    out << "Created the demo ERP in " << target.describe() << " ("
        << (target.engine == Engine::PostgreSql ? "PostgreSQL" : "SQLite") << ", seed " << s.plan.seed << ", "
        << QString::number(s.seconds, 'f', 1) << " s):\n";
    for (const ObjectSummary& o : s.objects)
        out << "  " << padded(o.name, 26) << ' ' << QString::number(o.rows).rightJustified(9)
            << (o.view ? " view " : " rows ") << o.purpose << '\n';
    QString cs = connectionString(target);
    const qsizetype pwd = cs.indexOf(QStringLiteral(";Pwd="));
    if (pwd >= 0 && !cs.endsWith(QStringLiteral(";Pwd=;")))
        cs = cs.left(pwd) + QStringLiteral(";Pwd=<password>;");
    out << "Record-set connection: " << cs << '\n';
    out.flush();
}

} // namespace

int runKverp(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    cli::CliApp cli(QStringLiteral("kverp"),
                    QStringLiteral("Makes a demo ERP database with every object the control module reads or writes\n"
                                   "and realistic sample data: the same seed always gives the same rows.\n"
                                   "Progress goes to stderr, the list of objects made to stdout."));
    cli.app().require_subcommand(1);
    CLI::App* init = cli.command(QStringLiteral("init"), QStringLiteral("make the demo ERP database"));
    std::string sqlite, pg, clients, articles, priceRows, vendors, documents, seed;
    bool force = false;
    // Sizes are read as text and checked here, so a wrong one is named with what it takes.
    init->add_option("--sqlite", sqlite, "an SQLite file; an existing file is refused unless --force")->type_name("FILE");
    init->add_option("--pg", pg,
                     "a PostgreSQL database, as \"host=H port=P user=U dbname=D password=W\"; refused when it "
                     "already holds any of the objects")
        ->type_name("CONNINFO");
    init->add_flag("--force", force, "replace an existing SQLite file (a PostgreSQL database is never cleared)");
    init->add_option("--clients", clients, "clients (default 300)")->type_name("N");
    init->add_option("--articles", articles, "articles (default 200, or price rows / 6)")->type_name("N");
    init->add_option("--price-rows", priceRows,
                     "rows of V_MA_Precios (default articles x 6): each article in every list, with as many "
                     "lists as price rows / articles takes")
        ->type_name("N");
    init->add_option("--vendors", vendors, "vendors (default 5)")->type_name("N");
    init->add_option("--documents", documents, "documents already entered at the office (default 12)")->type_name("N");
    init->add_option("--seed", seed, "seed of the sample data (default 1)")->type_name("N");
    if (const std::optional<int> status = cli.parse(arguments, out, err)) return *status;
    auto usage = [&](const QString& message) { return cli.usageError(*init, message, err); };

    if (!sqlite.empty() && !pg.empty()) return usage(QStringLiteral("give one of --sqlite and --pg, once"));
    if (sqlite.empty() && pg.empty()) return usage(QStringLiteral("give --sqlite FILE or --pg CONNINFO"));
    const QString location = cli::fromStd(sqlite.empty() ? pg : sqlite);
    if (location.trimmed().isEmpty()) return usage(QStringLiteral("%1 needs a value").arg(sqlite.empty() ? "--pg" : "--sqlite"));
    const Target target = pg.empty() ? Target::sqlite(location) : Target::postgres(location);

    Options options;
    options.force = force;
    if (!seed.empty()) {
        bool ok = false;
        options.seed = cli::fromStd(seed).toULongLong(&ok);
        if (!ok) return usage(QStringLiteral("--seed takes a whole number, not \"%1\"").arg(cli::fromStd(seed)));
    }
    struct Size {
        const char* name;
        const std::string& text;
        qint64 max;
        std::function<void(qint64)> set;
    };
    const Size sizes[] = {
        {"--clients", clients, std::numeric_limits<int>::max(), [&](qint64 n) { options.clients = int(n); }},
        {"--articles", articles, std::numeric_limits<int>::max(), [&](qint64 n) { options.articles = int(n); }},
        {"--price-rows", priceRows, std::numeric_limits<qint64>::max(), [&](qint64 n) { options.priceRows = n; }},
        {"--vendors", vendors, std::numeric_limits<int>::max(), [&](qint64 n) { options.vendors = int(n); }},
        {"--documents", documents, std::numeric_limits<int>::max(), [&](qint64 n) { options.documents = int(n); }},
    };
    for (const Size& size : sizes) {
        if (size.text.empty()) continue;
        bool ok = false;
        const qint64 number = cli::fromStd(size.text).toLongLong(&ok);
        if (!ok || number < 0 || number > size.max)
            return usage(QStringLiteral("%1 takes a whole number of 0 or more, not \"%2\"")
                             .arg(QLatin1String(size.name), cli::fromStd(size.text)));
        size.set(number);
    }

    try {
        const Summary summary = createDemoErp(target, options, [&](const QString& line) {
            err << "kverp: " << line << '\n';
            err.flush();
        });
        printSummary(out, target, summary);
        return 0;
    } catch (const RunTimeError& e) {
        err << "kverp: " << e.description() << '\n';
        err.flush();
        return e.number() == erperr::InvalidOptions ? 2 : 1;
    }
}

} // namespace kv::erp

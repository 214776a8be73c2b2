#include "Kverp.h"

#include "app/RunTimeError.h"
#include "DemoErp.h"

#include <limits>
#include <optional>

namespace kv::erp {

namespace {

void printHelp(QTextStream& out) {
    out << "Usage: kverp init (--sqlite FILE | --pg CONNINFO) [--clients N] [--articles N] [--price-rows N]\n"
           "                  [--vendors N] [--documents N] [--seed N] [--force]\n"
           "       kverp --help\n"
           "\n"
           "Makes a demo ERP database with every object the control module reads or writes and\n"
           "realistic sample data: the same seed always gives the same rows.\n"
           "\n"
           "  --sqlite FILE      an SQLite file; an existing file is refused unless --force\n"
           "  --force            replace an existing SQLite file (a PostgreSQL database is never cleared)\n"
           "  --pg CONNINFO      a PostgreSQL database, as \"host=H port=P user=U dbname=D password=W\";\n"
           "                     refused when it already holds any of the objects\n"
           "  --clients N        clients (default 300)\n"
           "  --articles N       articles (default 200, or price rows / 6)\n"
           "  --price-rows N     rows of V_MA_Precios (default articles x 6): each article in every\n"
           "                     list, with as many lists as price rows / articles takes\n"
           "  --vendors N        vendors (default 5)\n"
           "  --documents N      documents already entered at the office (default 12)\n"
           "  --seed N           seed of the sample data (default 1)\n"
           "  -h, --help         this help\n"
           "\n"
           "Progress goes to stderr, the list of objects made to stdout.\n"
           "Exit status: 0 done, 1 failed (reason on stderr), 2 wrong arguments.\n";
    out.flush();
}

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
    auto usage = [&](const QString& message) {
        err << "kverp: " << message << " (see kverp --help)\n";
        err.flush();
        return 2;
    };
    if (arguments.contains(QStringLiteral("-h")) || arguments.contains(QStringLiteral("--help"))) {
        printHelp(out);
        return 0;
    }
    if (arguments.isEmpty()) {
        printHelp(err);
        return 2;
    }
    if (arguments.first() != QLatin1String("init"))
        return usage(QStringLiteral("unknown command \"%1\"").arg(arguments.first()));

    Options options;
    std::optional<Target> target;
    static const QStringList valued = {QStringLiteral("--sqlite"),     QStringLiteral("--pg"),
                                       QStringLiteral("--clients"),    QStringLiteral("--articles"),
                                       QStringLiteral("--price-rows"), QStringLiteral("--vendors"),
                                       QStringLiteral("--documents"),  QStringLiteral("--seed")};
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--force")) {
            options.force = true;
            continue;
        }
        if (!valued.contains(a))
            return usage(a.startsWith(QLatin1String("-"))
                             ? QStringLiteral("unknown option %1").arg(a)
                             : QStringLiteral("unexpected argument \"%1\"").arg(a));
        if (i + 1 >= arguments.size()) return usage(QStringLiteral("%1 needs a value").arg(a));
        const QString value = arguments.at(++i);
        if (a == QLatin1String("--sqlite") || a == QLatin1String("--pg")) {
            if (target) return usage(QStringLiteral("give one of --sqlite and --pg, once"));
            if (value.trimmed().isEmpty()) return usage(QStringLiteral("%1 needs a value").arg(a));
            target = a == QLatin1String("--pg") ? Target::postgres(value) : Target::sqlite(value);
            continue;
        }
        bool ok = false;
        if (a == QLatin1String("--seed")) {
            options.seed = value.toULongLong(&ok);
            if (!ok) return usage(QStringLiteral("--seed takes a whole number, not \"%1\"").arg(value));
            continue;
        }
        const qint64 number = value.toLongLong(&ok);
        if (!ok || number < 0 ||
            (a != QLatin1String("--price-rows") && number > std::numeric_limits<int>::max()))
            return usage(QStringLiteral("%1 takes a whole number of 0 or more, not \"%2\"").arg(a, value));
        if (a == QLatin1String("--price-rows"))
            options.priceRows = number;
        else if (a == QLatin1String("--clients"))
            options.clients = int(number);
        else if (a == QLatin1String("--articles"))
            options.articles = int(number);
        else if (a == QLatin1String("--vendors"))
            options.vendors = int(number);
        else
            options.documents = int(number);
    }
    if (!target) return usage(QStringLiteral("give --sqlite FILE or --pg CONNINFO"));

    try {
        const Summary summary = createDemoErp(*target, options, [&](const QString& line) {
            err << "kverp: " << line << '\n';
            err.flush();
        });
        printSummary(out, *target, summary);
        return 0;
    } catch (const RunTimeError& e) {
        err << "kverp: " << e.description() << '\n';
        err.flush();
        return e.number() == erperr::InvalidOptions ? 2 : 1;
    }
}

} // namespace kv::erp

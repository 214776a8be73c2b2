#include "Kvhandheld.h"

#include "app/AppHome.h"
#include "app/Clock.h"
#include "app/RunTimeError.h"
#include "Capture.h"
#include "cradle/HandheldDevice.h"
#include "cradle/HotSync.h"
#include "cradle/net/CradleClient.h"
#include "cradle/SqliteFile.h"
#include "Dump.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <functional>
#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace kv::handheld {

using cradle::directionText;
using cradle::hotSync;
using cradle::SyncResult;
using cradle::TableCopy;

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Invocation {
    QStringList files;             // positional arguments
    QMap<QString, quint32> values; // numeric options given
    QMap<QString, QString> texts;  // text options given
    QTextStream& out;
    QTextStream& err;
};

struct Command {
    QString name;
    QString arguments;
    QString summary;
    QStringList options; // each takes a non-negative whole number
    int positional = 1;
    std::function<int(Invocation&)> run;
    QStringList textOptions = {}; // each takes a text
};

int init(Invocation& in) {
    const QString path = QFileInfo(in.files.at(0)).absoluteFilePath();
    const qint32 device = qint32(in.values.value(QStringLiteral("--device")));
    if (in.values.contains(QStringLiteral("--device")) && device < 1) {
        in.err << "kvhandheld init: --device needs a device number from 1\n";
        return kUsage;
    }
    try {
        createStore(path);
    } catch (const RunTimeError& e) {
        if (e.number() != storeerr::FileAlreadyExists) throw;
        throw RunTimeError(e.number(),
                           QStringLiteral("%1 already exists; a handheld is never created over an "
                                          "existing file.")
                               .arg(path));
    }
    if (device > 0) {
        try {
            cradle::recordHandheldDevice(cradle::Database(path, QStringLiteral("handheld")), device);
        } catch (const RunTimeError&) {
            QFile::remove(path); // a handheld is made whole or not at all
            throw;
        }
    }
    in.out << "Created the handheld " << path << " with " << storeTables().size() << " empty tables";
    if (device > 0) in.out << ", device " << device;
    in.out << ".\n";
    return 0;
}

// The same sync through the network cradle: the file goes to kvcradle and its answer replaces it.
int hotsyncOverNetwork(Invocation& in) {
    const QString server = in.texts.value(QStringLiteral("--server"));
    const QString token = in.texts.value(QStringLiteral("--token"), qEnvironmentVariable("KVCRADLE_TOKEN"));
    if (token.isEmpty() || in.values.contains(QStringLiteral("--hold"))) {
        in.err << "kvhandheld hotsync: --server needs --token T (or $KVCRADLE_TOKEN), and takes no --hold\n";
        return kUsage;
    }
    const QString path = QFileInfo(in.files.at(0)).absoluteFilePath();
    const auto r = cradle::CradleClient(QUrl(server), in.texts.value(QStringLiteral("--cacert"))).sync(path, token);
    in.out << "Synchronised the handheld " << path << " through the cradle at " << server << ": " << r.sent
           << " bytes sent, " << r.received << " bytes back.\n";
    return 0;
}

int hotsync(Invocation& in) {
    if (in.texts.contains(QStringLiteral("--server"))) return hotsyncOverNetwork(in);
    const SyncResult r = hotSync(in.files.at(0), int(in.values.value(QStringLiteral("--hold"))),
                                 [&](const QString& text) { in.out << text << Qt::endl; });
    in.out << "Synchronised the handheld " << r.handheld << " with the local sync store " << r.store << ":\n";
    for (const TableCopy& c : r.copies)
        in.out << "  " << c.table.leftJustified(16) << ' ' << directionText(c.transferCode).leftJustified(16)
               << ' ' << QString::number(c.rows).rightJustified(8) << " rows\n";
    for (const TableCopy& c : r.copies)
        if (c.kept > 0)
            in.out << "  " << c.table << ": kept " << c.kept
                   << " rows the store does not hold (captured since the last receive)\n";
    if (!r.note.isEmpty()) in.out << r.note << '\n';
    in.out << r.copies.size() << " tables copied, " << r.untouched << " left untouched.\n";
    return 0;
}

int capture(Invocation& in) {
    CaptureRequest request;
    const auto& v = in.values;
    const bool anyCount =
        v.contains(QStringLiteral("--orders")) || v.contains(QStringLiteral("--deliveries")) ||
        v.contains(QStringLiteral("--quotes")) || v.contains(QStringLiteral("--work-orders"));
    const int fallback = anyCount ? 0 : 1;
    request.orders = int(v.value(QStringLiteral("--orders"), fallback));
    request.deliveries = int(v.value(QStringLiteral("--deliveries"), fallback));
    request.quotes = int(v.value(QStringLiteral("--quotes"), fallback));
    request.workOrders = int(v.value(QStringLiteral("--work-orders"), fallback));
    request.seed = v.value(QStringLiteral("--seed"), 1);
    const QList<CapturedDocument> docs = handheld::capture(in.files.at(0), request, Clock::today());
    in.out << "Captured " << docs.size() << " documents on the handheld "
           << QFileInfo(in.files.at(0)).absoluteFilePath() << ":\n";
    for (const CapturedDocument& d : docs)
        in.out << "  " << d.key << "  client " << d.client.leftJustified(15) << ' '
               << QString::number(d.items).rightJustified(2)
               << (d.items == 1 ? " line   total " : " lines  total ") << QString::number(d.total, 'f', 2)
               << '\n';
    return 0;
}

int dump(Invocation& in) {
    dumpTable(in.files.at(0), in.files.at(1), in.out);
    return 0;
}

QList<Command> commands() {
    return {
        {QStringLiteral("init"),
         QStringLiteral("FILE [--device N]"),
         QStringLiteral(
             "create a handheld: an SQLite file with the sixteen tables of the local sync store, all "
             "empty (refuses an existing file); --device records the device number N it is, so a "
             "sync the program waits for on another device refuses it"),
         {QStringLiteral("--device")},
         1,
         init},
        {QStringLiteral("hotsync"),
         QStringLiteral("FILE [--hold SECONDS] [--server URL --token T [--cacert PEM]]"),
         QStringLiteral(
             "press the cradle's sync button: with the conduit KVGMovil registered and enabled, copy "
             "each table it carries in its registered direction (4: store -> handheld, 5: handheld "
             "-> store, 0: untouched) between FILE and the local sync store the settings file names; "
             "with 4 the handheld's documents the store does not hold stay on it; "
             "both files change together or not at all; --hold keeps the sync under way SECONDS "
             "more after the copy, before it completes; with --server the same sync runs in kvcradle at URL, "
             "as the device token T says, and its answer replaces FILE (--cacert trusts a self-signed "
             "certificate)"),
         {QStringLiteral("--hold")},
         1,
         hotsync,
         {QStringLiteral("--server"), QStringLiteral("--token"), QStringLiteral("--cacert")}},
        {QStringLiteral("capture"),
         QStringLiteral("FILE [--orders N] [--deliveries N] [--quotes N] [--work-orders N] [--seed N]"),
         QStringLiteral("record documents as the person with the handheld would: orders (NP), delivery notes "
                        "(RM) and quotes (PR) with article lines priced from the client's price list, work "
                        "orders (OT) with task lines; one of each when no count is given; the same --seed "
                        "(default 1) on the same handheld records the same documents; needs the clients a "
                        "send brings"),
         {QStringLiteral("--orders"), QStringLiteral("--deliveries"), QStringLiteral("--quotes"),
          QStringLiteral("--work-orders"), QStringLiteral("--seed")},
         1,
         capture},
        {QStringLiteral("dump"),
         QStringLiteral("FILE TABLE"),
         QStringLiteral("print a table tab-separated: a line of column names, then the rows in key order; "
                        "Null is \\N, and a backslash, tab, line feed or carriage return in a text is \\\\, "
                        "\\t, \\n or \\r"),
         {},
         2,
         dump},
    };
}

// Wraps the summary to the width of a terminal, indented under the command.
QString wrapped(const QString& text, int indent, int width = 100) {
    QString out, line;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
            out += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
}

void printHelp(QTextStream& out) {
    out << "Usage: kvhandheld [--home DIR] COMMAND ...\n"
           "\n"
           "A field handheld and its cradle, for trying the control module without one: the handheld is an\n"
           "SQLite file holding the tables of the local sync store.\n"
           "\n"
           "Options:\n"
           "  --home DIR   application folder (default $KVCONTROL_HOME, else $XDG_DATA_HOME/kvcontrol or\n"
           "               ~/.local/share/kvcontrol); its settings file names the local sync store, and\n"
           "               it holds the conduit registry and the sync lock\n"
           "  -h, --help   this help (COMMAND --help: that command's)\n"
           "\n"
           "Commands:\n";
    for (const Command& c : commands())
        out << "  " << c.name << ' ' << c.arguments << '\n' << wrapped(c.summary, 6);
    out << "\nExit status: 0 when the command did its job, 1 when it failed or was refused (reason on\n"
           "stderr), 2 for wrong usage.\n";
    out.flush();
}

// Splits a command's arguments into files and numeric options; false (with a message) on a
// mistake.
bool parse(const Command& c, const QStringList& args, Invocation& in) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (!a.startsWith(QLatin1String("--"))) {
            in.files << a;
            continue;
        }
        if (c.textOptions.contains(a) && i + 1 < args.size()) {
            in.texts.insert(a, args.at(++i));
            continue;
        }
        if (!c.options.contains(a)) {
            in.err << "kvhandheld " << c.name << ": unknown option " << a << " (see kvhandheld " << c.name
                   << " --help)\n";
            return false;
        }
        bool ok = false;
        const quint32 n = i + 1 < args.size() ? args.at(i + 1).toUInt(&ok) : 0;
        if (!ok) {
            in.err << "kvhandheld " << c.name << ": " << a << " needs a whole number, not \""
                   << (i + 1 < args.size() ? args.at(i + 1) : QString()) << "\"\n";
            return false;
        }
        in.values.insert(a, n);
        ++i;
    }
    if (in.files.size() != c.positional) {
        in.err << "kvhandheld " << c.name << ": usage: kvhandheld " << c.name << ' ' << c.arguments << '\n';
        return false;
    }
    return true;
}

} // namespace

int runKvhandheld(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    int i = 0;
    for (; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            printHelp(out);
            return 0;
        }
        if (a != QLatin1String("--home")) break;
        if (++i >= arguments.size()) {
            err << "kvhandheld: --home needs a folder\n";
            return kUsage;
        }
        AppHome::set(arguments.at(i));
    }
    if (i >= arguments.size()) {
        printHelp(err);
        return kUsage;
    }
    const QString name = arguments.at(i);
    const QStringList args = arguments.mid(i + 1);
    for (const Command& c : commands()) {
        if (c.name != name) continue;
        if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
            out << "Usage: kvhandheld [--home DIR] " << c.name << ' ' << c.arguments << '\n'
                << wrapped(c.summary, 2);
            return 0;
        }
        Invocation in{{}, {}, {}, out, err};
        if (!parse(c, args, in)) return kUsage;
        try {
            const int status = c.run(in);
            out.flush();
            return status;
        } catch (const RunTimeError& e) {
            out.flush();
            err << "kvhandheld " << c.name << ": " << e.description() << '\n';
            err.flush();
            return kFailed;
        }
    }
    err << "kvhandheld: unknown command \"" << name << "\" (see kvhandheld --help)\n";
    return kUsage;
}

} // namespace kv::handheld

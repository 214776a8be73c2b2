#include "Kvhandheld.h"

#include "app/Clock.h"
#include "app/RunTimeError.h"
#include "Capture.h"
#include "CliApp.h"
#include "ExitCodes.h"
#include "cradle/HandheldDevice.h"
#include "cradle/HotSync.h"
#include "cradle/net/CradleClient.h"
#include "cradle/SqliteFile.h"
#include "Dump.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace kv::handheld {

using cradle::directionText;
using cradle::hotSync;
using cradle::SyncResult;
using cradle::TableCopy;
namespace exitcode = cli::exitcode;

namespace {

// What a command works with once its line is read.
struct Invocation {
    QTextStream& out;
    QTextStream& err;
    bool quiet;
    const cli::CliApp& cli;
    const CLI::App& command;

    // "kvhandheld CMD: WHY" and the command's usage line; returns the usage exit status.
    int usage(const QString& why) const { return cli.usageError(command, why, err); }
};

// One kvhandheld command: its name and summary, its arguments and options declared on its CLI11
// command, and run() returning the exit status. Numeric options are read as text and checked
// here, so a wrong one is named with what it takes.
class HandheldCommand {
public:
    virtual ~HandheldCommand() = default;
    virtual QString name() const = 0;
    virtual QString summary() const = 0;
    virtual void define(CLI::App& command) = 0;
    virtual int run(Invocation& in) = 0;

    // A whole number of 0 or more given for `option`; false, with the reason, otherwise.
    bool number(Invocation& in, const char* option, const std::string& text, quint32* value) const {
        if (text.empty()) return true;
        bool ok = false;
        *value = cli::fromStd(text).toUInt(&ok);
        if (!ok) in.usage(QStringLiteral("%1 needs a whole number, not \"%2\"").arg(QLatin1String(option), cli::fromStd(text)));
        return ok;
    }

protected:
    void defineFile(CLI::App& command, const char* what = "the handheld's file") {
        cli::argument(command, "FILE", m_file, what)->required();
    }
    // kvcradle's address and the certificate to trust for it, as every command that speaks to it takes them.
    CLI::Option* defineServer(CLI::App& command, const char* what) {
        command.add_option("--cacert", m_cacert, "trust this certificate (PEM) for a self-signed kvcradle")
            ->type_name("PEM");
        return command.add_option("--server", m_server, what)->type_name("URL");
    }
    cradle::CradleClient client() const { return cradle::CradleClient(QUrl(cli::fromStd(m_server)), cli::fromStd(m_cacert)); }
    static CLI::Option* numberOption(CLI::App& command, const char* option, std::string& text, const char* what) {
        return command.add_option(option, text, what)->type_name("N");
    }
    std::string m_file;
    std::string m_server, m_cacert;
};

class Init : public HandheldCommand {
public:
    QString name() const override { return QStringLiteral("init"); }
    QString summary() const override {
        return QStringLiteral(
            "create a handheld: an SQLite file with the sixteen tables of the local sync store, all "
            "empty (refuses an existing file); --device records the device number N it is, so a "
            "sync the program waits for on another device refuses it");
    }
    void define(CLI::App& command) override {
        defineFile(command, "the handheld's file; it must not exist");
        numberOption(command, "--device", m_device, "the device number the handheld is, from 1");
    }
    int run(Invocation& in) override {
        quint32 device = 0;
        if (!number(in, "--device", m_device, &device)) return exitcode::Usage;
        if (!m_device.empty() && device < 1) return in.usage(QStringLiteral("--device needs a device number from 1"));
        const QString path = QFileInfo(cli::fromStd(m_file)).absoluteFilePath();
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
                cradle::recordHandheldDevice(cradle::Database(path, QStringLiteral("handheld")), qint32(device));
            } catch (const RunTimeError&) {
                QFile::remove(path); // a handheld is made whole or not at all
                throw;
            }
        }
        in.out << "Created the handheld " << path << " with " << storeTables().size() << " empty tables";
        if (device > 0) in.out << ", device " << device;
        in.out << ".\n";
        return exitcode::Done;
    }

private:
    std::string m_device;
};

class Hotsync : public HandheldCommand {
public:
    QString name() const override { return QStringLiteral("hotsync"); }
    QString summary() const override {
        return QStringLiteral(
            "press the cradle's sync button: with the conduit KVGMovil registered and enabled, copy "
            "each table it carries in its registered direction (4: store -> handheld, 5: handheld "
            "-> store, 0: untouched) between FILE and the local sync store the settings file names; "
            "with 4 the handheld's documents the store does not hold stay on it; "
            "both files change together or not at all");
    }
    void define(CLI::App& command) override {
        defineFile(command);
        command.add_option("--hold", m_hold, "keep the sync under way SECONDS more after the copy, before it completes")
            ->type_name("SECONDS");
        defineServer(command, "run the same sync in kvcradle at URL; its answer replaces FILE");
        numberOption(command, "--work-seconds", m_work,
                     "refuse the handheld, changing nothing, when its file asks for more than SECONDS of "
                     "work (default 120)")
            ->type_name("SECONDS");
        command.add_option("--token", m_token, "the device's token for kvcradle (else $KVCRADLE_TOKEN)")
            ->type_name("T");
    }
    int run(Invocation& in) override {
        if (!m_server.empty()) return overNetwork(in);
        if (!m_token.empty() || !m_cacert.empty())
            return in.usage(QStringLiteral("--token and --cacert go with --server URL"));
        quint32 hold = 0;
        quint32 work = quint32(cradle::kDefaultWorkBudget.count());
        if (!number(in, "--hold", m_hold, &hold) || !number(in, "--work-seconds", m_work, &work))
            return exitcode::Usage;
        if (work < 1) {
            in.err << "kvhandheld hotsync: --work-seconds needs a number of seconds from 1\n";
            return exitcode::Usage;
        }
        const SyncResult r = hotSync(
            cli::fromStd(m_file), int(hold),
            [&](const QString& text) {
                if (!in.quiet) in.out << text << Qt::endl;
            },
            0, std::chrono::seconds(work));
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
        return exitcode::Done;
    }

private:
    // The same sync through the network cradle: the file goes to kvcradle and its answer replaces it.
    int overNetwork(Invocation& in) {
        const QString server = cli::fromStd(m_server);
        const QString token = m_token.empty() ? qEnvironmentVariable("KVCRADLE_TOKEN") : cli::fromStd(m_token);
        if (token.isEmpty() || !m_hold.empty() || !m_work.empty())
            return in.usage(QStringLiteral("--server needs --token T (or $KVCRADLE_TOKEN), and takes no --hold "
                                           "or --work-seconds (kvcradle keeps its own budget)"));
        const QString path = QFileInfo(cli::fromStd(m_file)).absoluteFilePath();
        const auto r = client().sync(path, token);
        in.out << "Synchronised the handheld " << path << " through the cradle at " << server << ": " << r.sent
               << " bytes sent, " << r.received << " bytes back.\n";
        return exitcode::Done;
    }

    std::string m_hold, m_work, m_token;
};

class ExchangeCommand : public HandheldCommand {
public:
    QString name() const override { return QStringLiteral("exchange"); }
    QString summary() const override {
        return QStringLiteral(
            "sync the handheld by itself through kvcradle at URL, with no operator: its documents go "
            "into the ERP and the device's fresh data comes back in the answer, which replaces FILE "
            "atomically before the exchange is confirmed; the documents the ERP refused stay on it. "
            "The device's token is read from $KVCRADLE_TOKEN. Prints the report: documents sent, "
            "imported, found in the ERP already, refused (key and reason), tables updated");
    }
    void define(CLI::App& command) override {
        defineFile(command);
        defineServer(command, "kvcradle's address, e.g. http://127.0.0.1:8790")->required();
        command.add_option("--format", m_format, "text (default) or json: the report as one JSON object")
            ->type_name("FORMAT");
    }
    int run(Invocation& in) override {
        const QString format = cli::fromStd(m_format);
        if (!format.isEmpty() && format != QLatin1String("text") && format != QLatin1String("json"))
            return in.usage(QStringLiteral("--format takes text or json, not \"%1\"").arg(format));
        // Never on the command line, where ps shows it to every user of the machine.
        const QString token = qEnvironmentVariable("KVCRADLE_TOKEN");
        if (token.isEmpty())
            return in.usage(QStringLiteral("the device's token goes in $KVCRADLE_TOKEN (kvctl cradle token N "
                                           "prints it), and it is not set"));
        const QString path = QFileInfo(cli::fromStd(m_file)).absoluteFilePath();
        const cradle::ExchangeReceipt r = client().exchange(path, token);
        if (format == QLatin1String("json")) {
            in.out << QJsonDocument(r.toJson()).toJson(QJsonDocument::Compact) << '\n';
            return exitcode::Done;
        }
        in.out << "Exchanged the handheld " << path << " with the cradle at " << cli::fromStd(m_server)
               << " (exchange " << r.id << ", device " << r.device << "):\n";
        const auto line = [&](const char* what, qint64 n) {
            in.out << "  " << QString::fromLatin1(what).leftJustified(20) << QString::number(n).rightJustified(8) << '\n';
        };
        line("documents sent", r.documents);
        line("imported", r.imported.size());
        line("existing", r.existing.size());
        line("refused", r.refused.size());
        for (const cradle::ExchangeReceipt::Refused& d : r.refused) in.out << "    " << d.key << "  " << d.reason << '\n';
        line("tables updated", r.tables.size());
        for (const cradle::ExchangeReceipt::Table& t : r.tables)
            in.out << "    " << t.table.leftJustified(18) << QString::number(t.rows).rightJustified(8) << " rows\n";
        return exitcode::Done;
    }

private:
    std::string m_format;
};

class Capture : public HandheldCommand {
public:
    QString name() const override { return QStringLiteral("capture"); }
    QString summary() const override {
        return QStringLiteral(
            "record documents as the person with the handheld would: orders (NP), delivery notes "
            "(RM) and quotes (PR) with article lines priced from the client's price list, work "
            "orders (OT) with task lines; one of each when no count is given; the same --seed "
            "(default 1) on the same handheld records the same documents; needs the clients a "
            "send brings");
    }
    void define(CLI::App& command) override {
        defineFile(command);
        for (Count& c : m_counts) numberOption(command, c.option, c.text, c.what);
        numberOption(command, "--seed", m_seed, "seed of the documents (default 1)");
    }
    int run(Invocation& in) override {
        bool anyCount = false;
        for (Count& c : m_counts) {
            if (!number(in, c.option, c.text, &c.value)) return exitcode::Usage;
            anyCount = anyCount || !c.text.empty();
        }
        quint32 seed = 1;
        if (!number(in, "--seed", m_seed, &seed)) return exitcode::Usage;
        // One of each when no count is given.
        auto count = [&](int i) { return int(m_counts[i].text.empty() ? (anyCount ? 0 : 1) : m_counts[i].value); };
        CaptureRequest request;
        request.orders = count(0);
        request.deliveries = count(1);
        request.quotes = count(2);
        request.workOrders = count(3);
        request.seed = seed;
        const QString file = cli::fromStd(m_file);
        const QList<CapturedDocument> docs = handheld::capture(file, request, Clock::today());
        in.out << "Captured " << docs.size() << " documents on the handheld " << QFileInfo(file).absoluteFilePath()
               << ":\n";
        for (const CapturedDocument& d : docs)
            in.out << "  " << d.key << "  client " << d.client.leftJustified(15) << ' '
                   << QString::number(d.items).rightJustified(2)
                   << (d.items == 1 ? " line   total " : " lines  total ") << QString::number(d.total, 'f', 2)
                   << '\n';
        return exitcode::Done;
    }

private:
    struct Count {
        const char* option;
        const char* what;
        std::string text;
        quint32 value = 0;
    };
    Count m_counts[4] = {{"--orders", "orders (NP)", {}},
                         {"--deliveries", "delivery notes (RM)", {}},
                         {"--quotes", "quotes (PR)", {}},
                         {"--work-orders", "work orders (OT)", {}}};
    std::string m_seed;
};

class Dump : public HandheldCommand {
public:
    QString name() const override { return QStringLiteral("dump"); }
    QString summary() const override {
        return QStringLiteral("print a table tab-separated: a line of column names, then the rows in key order; "
                              "Null is \\N, and a backslash, tab, line feed or carriage return in a text is "
                              "\\\\, \\t, \\n or \\r");
    }
    void define(CLI::App& command) override {
        defineFile(command);
        cli::argument(command, "TABLE", m_table, "one of the handheld's tables")->required();
    }
    int run(Invocation& in) override {
        dumpTable(cli::fromStd(m_file), cli::fromStd(m_table), in.out);
        return exitcode::Done;
    }

private:
    std::string m_table;
};

} // namespace

int runKvhandheld(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    cli::CliApp cli(QStringLiteral("kvhandheld"),
                    QStringLiteral("A field handheld and its cradle, for trying the control module without one: the\n"
                                   "handheld is an SQLite file holding the tables of the local sync store. The\n"
                                   "application folder's settings file names the local sync store, and the folder\n"
                                   "holds the conduit registry and the sync lock."));
    cli.app().require_subcommand(1);
    bool quiet = false;
    cli.app().add_flag("-q,--quiet", quiet, "no progress lines (a sync's steps): errors and results only");
    std::vector<std::unique_ptr<HandheldCommand>> commands;
    commands.push_back(std::make_unique<Init>());
    commands.push_back(std::make_unique<Hotsync>());
    commands.push_back(std::make_unique<ExchangeCommand>());
    commands.push_back(std::make_unique<Capture>());
    commands.push_back(std::make_unique<Dump>());
    std::vector<std::pair<CLI::App*, HandheldCommand*>> byApp;
    for (const auto& c : commands) {
        CLI::App* sub = cli.command(c->name(), c->summary());
        c->define(*sub);
        byApp.emplace_back(sub, c.get());
    }
    if (const std::optional<int> status = cli.parse(arguments, out, err)) return *status;

    for (const auto& [sub, command] : byApp) {
        if (!sub->parsed()) continue;
        Invocation in{out, err, quiet, cli, *sub};
        try {
            const int status = command->run(in);
            out.flush();
            err.flush();
            return status;
        } catch (const RunTimeError& e) {
            out.flush();
            err << "kvhandheld " << command->name() << ": " << e.description() << '\n';
            err.flush();
            return exitcode::Failed;
        }
    }
    return exitcode::Usage;
}

} // namespace kv::handheld

#include "app/RunTimeError.h"
#include "Command.h"
#include "console/SendPreview.h"
#include "ErpSession.h"
#include "history/HistoryFormats.h"
#include "history/JobHistory.h"

#include <QRegularExpression>

namespace kv::cli {

namespace {

class History : public Command {
public:
    QStringList words() const override { return {QStringLiteral("history")}; }
    QString arguments() const override { return QStringLiteral("[N] [--since YYYY-MM-DD] [--format text|tsv|json]"); }
    QString summary() const override {
        return QStringLiteral(
            "print the sends and receives recorded, one a line (device N only, from a day on)");
    }
    int execute(const QStringList& args, Context& ctx) override {
        history::Filter filter;
        QString format = QStringLiteral("text");
        for (int i = 0; i < args.size(); ++i) {
            const QString& a = args.at(i);
            if (a == QLatin1String("--format")) {
                if (i + 1 >= args.size()) return usage(ctx, QStringLiteral("--format takes text, tsv or json"));
                format = args.at(++i);
                if (!QStringList{QStringLiteral("text"), QStringLiteral("tsv"), QStringLiteral("json")}.contains(format))
                    return usage(ctx, QStringLiteral("--format takes text, tsv or json, not \"%1\"").arg(format));
            } else if (a == QLatin1String("--since")) {
                if (filter.since || i + 1 >= args.size())
                    return usage(ctx, QStringLiteral("--since takes one date"));
                filter.since = dateArgument(args.at(++i));
                if (!filter.since)
                    return usage(ctx,
                                 QStringLiteral("\"%1\" is no date; write it as YYYY-MM-DD").arg(args.at(i)));
            } else if (!filter.device) {
                bool ok = false;
                const int n = a.toInt(&ok);
                if (!ok || n < 1) return usage(ctx, QStringLiteral("\"%1\" is no device number").arg(a));
                filter.device = n;
            } else {
                return usage(ctx, QStringLiteral("unexpected \"%1\"").arg(a));
            }
        }
        try {
            const QList<history::Record> records = history::readHistory(filter);
            if (format == QLatin1String("json")) ctx.out << QString::fromUtf8(history::historyJson(records));
            else if (format == QLatin1String("tsv")) ctx.out << history::historyTsv(records);
            else
                for (const history::Record& r : records) ctx.out << history::historyLine(r) << '\n';
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl history: the history cannot be read: " << e.description() << '\n';
            return 1;
        }
        return 0;
    }

private:
    static std::optional<QDate> dateArgument(const QString& text) {
        static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (!shape.match(text).hasMatch() || !d.isValid()) return std::nullopt;
        return d;
    }
    static int usage(Context& ctx, const QString& why) {
        ctx.err << "kvctl history: " << why << " (usage: kvctl history [N] [--since YYYY-MM-DD] [--format text|tsv|json])\n";
        return 2;
    }
};

class Preview : public Command {
public:
    QStringList words() const override { return {QStringLiteral("preview")}; }
    QString arguments() const override { return QStringLiteral("N"); }
    QString summary() const override {
        return QStringLiteral(
            "print the rows each master table would receive in device N's send, and its price "
            "lists, without exporting");
    }
    int execute(const QStringList& args, Context& ctx) override {
        if (args.size() != 1) {
            ctx.err << "kvctl preview: give one device number\n";
            return 2;
        }
        if (!startSession(ctx, false)) return 1;
        const int device = deviceArgument(args, ctx, QStringLiteral("preview"));
        if (!device) return 2;
        try {
            const SendPreview p = previewDevice(device);
            for (const TableCount& t : p.tables)
                ctx.out << t.table << '\t' << t.rows << '\n';
            ctx.out << "price lists: "
                    << (p.priceLists.isEmpty() ? QStringLiteral("none")
                                               : p.priceLists.join(QStringLiteral(", ")))
                    << '\n';
            // The rows the send would refuse, one a line as its step would name them.
            for (const QString& r : p.refusals)
                for (const QString& line : r.split(QLatin1Char('\n'))) ctx.out << "refused: " << line << '\n';
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl preview: the ERP refused a count: " << e.description() << '\n';
            return 1;
        }
        return 0;
    }
};

} // namespace

std::unique_ptr<Command> makeHistory() {
    return std::make_unique<History>();
}

std::unique_ptr<Command> makePreview() {
    return std::make_unique<Preview>();
}

} // namespace kv::cli

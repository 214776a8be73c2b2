#include "app/RunTimeError.h"
#include "Command.h"
#include "console/SendPreview.h"
#include "ErpSession.h"
#include "history/HistoryFormats.h"
#include "history/JobHistory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace kv::cli {

namespace {

class History : public Command {
public:
    QStringList words() const override { return {QStringLiteral("history")}; }
    QString summary() const override {
        return QStringLiteral(
            "print the sends, receives and exchanges recorded, one a line (device N only, from a day on)");
    }
    void define(CLI::App& command) override {
        argument(command, "N", m_device, "only device N");
        command.add_option("--device", m_deviceOption, "only device N (as N alone)")->type_name("N");
        command.add_option("--since", m_since, "only from that day on")->type_name("YYYY-MM-DD");
        m_format.define(command);
    }
    int execute(Context& ctx) override {
        history::Filter filter;
        const QString format = m_format.value(ctx);
        if (format.isEmpty()) return exitcode::Usage;
        if (!m_since.empty()) {
            filter.since = dateArgument(fromStd(m_since));
            if (!filter.since)
                return ctx.usage(QStringLiteral("\"%1\" is no date; write it as YYYY-MM-DD").arg(fromStd(m_since)));
        }
        if (!m_device.empty() && !m_deviceOption.empty() && m_device != m_deviceOption)
            return ctx.usage(QStringLiteral("device %1 or device %2: give one")
                                 .arg(fromStd(m_device), fromStd(m_deviceOption)));
        if (const std::string& device = m_device.empty() ? m_deviceOption : m_device; !device.empty()) {
            bool ok = false;
            const int n = fromStd(device).toInt(&ok);
            if (!ok || n < 1) return ctx.usage(QStringLiteral("\"%1\" is no device number").arg(fromStd(device)));
            filter.device = n;
        }
        try {
            const QList<history::Record> records = history::readHistory(filter);
            if (format == QLatin1String("json")) ctx.out << QString::fromUtf8(history::historyJson(records));
            else if (format == QLatin1String("tsv")) ctx.out << history::historyTsv(records);
            else
                for (const history::Record& r : records) ctx.out << history::historyLine(r) << '\n';
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl history: the history cannot be read: " << e.description() << '\n';
            return exitcode::Failed;
        }
        return exitcode::Done;
    }

private:
    static std::optional<QDate> dateArgument(const QString& text) {
        static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (!shape.match(text).hasMatch() || !d.isValid()) return std::nullopt;
        return d;
    }
    std::string m_device, m_deviceOption, m_since;
    FormatOption m_format{{QStringLiteral("text"), QStringLiteral("tsv"), QStringLiteral("json")}, {}};
};

class Preview : public Command {
public:
    QStringList words() const override { return {QStringLiteral("preview")}; }
    QString summary() const override {
        return QStringLiteral(
            "print the rows each master table would receive in device N's send, and its price "
            "lists, without exporting");
    }
    void define(CLI::App& command) override {
        defineDevice(command, m_device);
        m_format.define(command);
    }
    int execute(Context& ctx) override {
        const QString format = m_format.value(ctx);
        if (format.isEmpty()) return exitcode::Usage;
        if (!startSession(ctx, false)) return exitcode::Failed;
        const int device = deviceArgument(m_device, ctx);
        if (!device) return exitcode::Usage;
        try {
            const SendPreview p = previewDevice(device);
            if (format == QLatin1String("json")) {
                QJsonArray tables;
                for (const TableCount& t : p.tables) tables.append(QJsonObject{{"table", t.table}, {"rows", t.rows}});
                QStringList refused;
                for (const QString& r : p.refusals) refused << r.split(QLatin1Char('\n'));
                ctx.out << QString::fromUtf8(QJsonDocument(QJsonObject{{"device", device},
                                                                       {"tables", tables},
                                                                       {"priceLists", QJsonArray::fromStringList(p.priceLists)},
                                                                       {"refused", QJsonArray::fromStringList(refused)}})
                                                 .toJson());
                return exitcode::Done;
            }
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
            return exitcode::Failed;
        }
        return exitcode::Done;
    }

private:
    std::string m_device;
    FormatOption m_format{{QStringLiteral("text"), QStringLiteral("json")}, {}};
};

} // namespace

std::unique_ptr<Command> makeHistory() {
    return std::make_unique<History>();
}

std::unique_ptr<Command> makePreview() {
    return std::make_unique<Preview>();
}

} // namespace kv::cli

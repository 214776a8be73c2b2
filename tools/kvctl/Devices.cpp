#include "Command.h"
#include "ErpSession.h"

#include "app/Cfg.h"
#include "app/RunTimeError.h"
#include "history/JobHistory.h"
#include "settings/DeviceSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

namespace kv::cli {

namespace {

// What a device's last sync moved: documents into the ERP, master rows out to it, documents
// the ERP refused.
struct Moved {
    qint64 in = 0, out = 0, refused = 0;
};

Moved moved(const history::Record& r) {
    Moved m{r.imported.value_or(0), 0, r.refused.size()};
    for (const history::TableRows& t : r.tables)
        if (!t.failed) m.out += t.rows;
    return m;
}

QDateTime syncTime(const history::Record& r) {
    return r.endedAt.isValid() ? r.endedAt : r.startedAt;
}

QJsonValue lastSyncJson(const history::Record* r) {
    if (!r) return QJsonValue(QJsonValue::Null);
    const Moved m = moved(*r);
    return QJsonObject{{"when", syncTime(*r).toString(Qt::ISODate)},
                       {"direction", history::directionWord(r->direction)},
                       {"outcome", history::outcomeWord(r->outcome)},
                       {"documentsIn", m.in},
                       {"rowsOut", m.out},
                       {"refused", m.refused},
                       {"detail", r->detail}};
}

// "2026-12-11 17:05:00 exchange done: 3 documents in, 120 rows out, 1 refused (detail)"
QString lastSyncLine(const history::Record& r) {
    const Moved m = moved(r);
    QString line = QStringLiteral("%1 %2 %3: %4 documents in, %5 rows out, %6 refused")
                       .arg(syncTime(r).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            history::directionWord(r.direction), history::outcomeWord(r.outcome))
                       .arg(m.in)
                       .arg(m.out)
                       .arg(m.refused);
    if (!r.detail.isEmpty()) {
        QString detail = r.detail; // on the device's one line
        for (const QChar c : {QLatin1Char('\t'), QLatin1Char('\r'), QLatin1Char('\n')}) detail.replace(c, QLatin1Char(' '));
        line += QStringLiteral(" (") + detail + QLatin1Char(')');
    }
    return line;
}

class Devices : public Command {
public:
    QStringList words() const override { return {QStringLiteral("devices")}; }
    QString summary() const override {
        return QStringLiteral("list the handhelds: number, a tab, display name, and a tab and the last sync once there "
                              "was one");
    }
    void define(CLI::App& command) override { m_format.define(command); }
    int execute(Context& ctx) override {
        const QString format = m_format.value(ctx);
        if (format.isEmpty()) return exitcode::Usage;
        if (!startSession(ctx, false)) return exitcode::Failed;
        QMap<int, history::Record> last;
        try {
            for (const history::Record& r : history::lastSyncs()) last.insert(r.device, r);
        } catch (const RunTimeError& e) {
            ctx.err << "kvctl devices: the history cannot be read: " << e.description() << '\n';
            return exitcode::Failed;
        }
        const int count = deviceCount();
        if (const QString notice = deviceLimitNotice(count); !notice.isEmpty())
            ctx.err << "kvctl devices: " << QString(notice).replace(QLatin1Char('\r'), QLatin1Char(' ')) << '\n';
        QJsonArray all;
        for (int n = 1, shown = shownDevices(count); n <= shown; ++n) {
            const QString name = settings::deviceDisplayName(n); // read before its line is begun
            const auto found = last.constFind(n);
            const history::Record* r = found == last.constEnd() ? nullptr : &*found;
            if (format == QLatin1String("json")) {
                all.append(QJsonObject{{"device", n}, {"name", name}, {"lastSync", lastSyncJson(r)}});
                continue;
            }
            ctx.out << n << '\t' << name;
            if (r) ctx.out << '\t' << lastSyncLine(*r);
            ctx.out << '\n';
        }
        if (format == QLatin1String("json")) ctx.out << QString::fromUtf8(QJsonDocument(all).toJson());
        return exitcode::Done;
    }

private:
    FormatOption m_format{{QStringLiteral("text"), QStringLiteral("json")}, {}};
};
} // namespace

std::unique_ptr<Command> makeDevices() {
    return std::make_unique<Devices>();
}

} // namespace kv::cli

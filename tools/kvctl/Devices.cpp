#include "Command.h"
#include "ErpSession.h"

#include "app/Cfg.h"
#include "settings/DeviceSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kv::cli {

namespace {
class Devices : public Command {
public:
    QStringList words() const override { return {QStringLiteral("devices")}; }
    QString summary() const override { return QStringLiteral("list the handhelds: number, a tab, display name"); }
    void define(CLI::App& command) override { m_format.define(command); }
    int execute(Context& ctx) override {
        const QString format = m_format.value(ctx);
        if (format.isEmpty()) return exitcode::Usage;
        if (!startSession(ctx, false)) return exitcode::Failed;
        const int count = deviceCount();
        if (const QString notice = deviceLimitNotice(count); !notice.isEmpty())
            ctx.err << "kvctl devices: " << QString(notice).replace(QLatin1Char('\r'), QLatin1Char(' ')) << '\n';
        QJsonArray all;
        for (int n = 1, shown = shownDevices(count); n <= shown; ++n) {
            const QString name = settings::deviceDisplayName(n); // read before its line is begun
            if (format == QLatin1String("json")) all.append(QJsonObject{{"device", n}, {"name", name}});
            else ctx.out << n << '\t' << name << '\n';
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

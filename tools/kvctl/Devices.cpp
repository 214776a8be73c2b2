#include "Command.h"
#include "ErpSession.h"

#include "app/Cfg.h"
#include "settings/DeviceSettings.h"

namespace kv::cli {

namespace {
class Devices : public Command {
public:
    QStringList words() const override { return {QStringLiteral("devices")}; }
    QString summary() const override { return QStringLiteral("list the handhelds: number, a tab, display name"); }
    int execute(const QStringList& args, Context& ctx) override {
        if (!args.isEmpty()) {
            ctx.err << "kvctl devices: takes no arguments\n";
            return 2;
        }
        if (!startSession(ctx, false)) return 1;
        const int count = deviceCount();
        if (const QString notice = deviceLimitNotice(count); !notice.isEmpty())
            ctx.err << "kvctl devices: " << QString(notice).replace(QLatin1Char('\r'), QLatin1Char(' ')) << '\n';
        for (int n = 1, shown = shownDevices(count); n <= shown; ++n) {
            const QString name = settings::deviceDisplayName(n); // read before its line is begun
            ctx.out << n << '\t' << name << '\n';
        }
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeDevices() {
    return std::make_unique<Devices>();
}

} // namespace kv::cli

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
        for (int n = 1; n <= count; ++n) ctx.out << n << '\t' << settings::deviceDisplayName(n) << '\n';
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeDevices() {
    return std::make_unique<Devices>();
}

} // namespace kv::cli

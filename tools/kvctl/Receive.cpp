#include "Command.h"
#include "ErpSession.h"

#include "sync/SyncRun.h"

namespace kv::cli {

namespace {
class Receive : public Command {
public:
    QStringList words() const override { return {QStringLiteral("receive")}; }
    QString arguments() const override { return QStringLiteral("N [--timeout SECONDS]"); }
    QString summary() const override {
        return QStringLiteral(
            "wait for device N's sync and import its documents into the ERP (Ctrl-C cancels "
            "before the sync; --timeout: when no sync began in SECONDS)");
    }
    int execute(const QStringList& arguments, Context& ctx) override {
        QStringList args = arguments;
        if (!takeTimeout(args, ctx, QStringLiteral("receive"))) return 2;
        if (args.size() != 1) {
            ctx.err << "kvctl receive: give one device number (and optionally --timeout SECONDS)\n";
            return 2;
        }
        if (!startSession(ctx, true)) return 1;
        const int device = deviceArgument(args, ctx, QStringLiteral("receive"));
        if (!device) return 2;
        switch (ActualizaDatos_KVControl(device, true)) {
        case RunOutcome::Imported: return 0;
        case RunOutcome::ConnectionFailed: ctx.err << "kvctl receive: no ERP connection\n"; return 1;
        case RunOutcome::Cancelled: ctx.err << "kvctl receive: cancelled before the sync began\n"; return 3;
        case RunOutcome::Left: ctx.err << "kvctl receive: left through the error treatment\n"; return 1;
        case RunOutcome::Busy:
            sayBusy(ctx, QStringLiteral("receive"));
            return 1;
        }
        return 1;
    }
};
} // namespace

std::unique_ptr<Command> makeReceive() {
    return std::make_unique<Receive>();
}

} // namespace kv::cli

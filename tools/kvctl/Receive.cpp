#include "app/Interruption.h"
#include "Command.h"
#include "ErpSession.h"

#include "sync/SyncRun.h"

namespace kv::cli {

namespace {
class Receive : public Command {
public:
    QStringList words() const override { return {QStringLiteral("receive")}; }
    QString summary() const override {
        return QStringLiteral(
            "wait for device N's sync and import its documents into the ERP (Ctrl-C cancels)");
    }
    void define(CLI::App& command) override {
        defineDevice(command, m_device);
        m_timeout.define(command);
    }
    int execute(Context& ctx) override {
        const interruption::CatchSignals signals;
        if (!m_timeout.apply(ctx)) return exitcode::Usage;
        if (!startSession(ctx, true)) return exitcode::Failed;
        const int device = deviceArgument(m_device, ctx);
        if (!device) return exitcode::Usage;
        switch (ActualizaDatos_KVControl(device, true)) {
        case RunOutcome::Imported: return exitcode::Done;
        case RunOutcome::ConnectionFailed: ctx.err << "kvctl receive: no ERP connection\n"; return exitcode::Failed;
        case RunOutcome::Cancelled:
            ctx.err << "kvctl receive: cancelled before the sync began\n";
            return exitcode::Cancelled;
        case RunOutcome::Left:
            ctx.err << "kvctl receive: left through the error treatment\n";
            return exitcode::Failed;
        case RunOutcome::Busy:
            sayBusy(ctx, QStringLiteral("receive"));
            return exitcode::Failed;
        }
        return exitcode::Failed;
    }

private:
    std::string m_device;
    TimeoutOption m_timeout;
};
} // namespace

std::unique_ptr<Command> makeReceive() {
    return std::make_unique<Receive>();
}

} // namespace kv::cli

#include "Command.h"
#include "console/ExportFilters.h"
#include "console/SendCommand.h"
#include "ErpSession.h"

namespace kv::cli {

namespace {

class Filters : public Command {
public:
    QStringList words() const override { return {QStringLiteral("filters")}; }
    QString summary() const override {
        return QStringLiteral("print device N's client filter, then its price-list filter, as built");
    }
    void define(CLI::App& command) override { defineDevice(command, m_device); }
    int execute(Context& ctx) override {
        if (!startSession(ctx, false)) return exitcode::Failed;
        const int device = deviceArgument(m_device, ctx, QStringLiteral("filters"));
        if (!device) return exitcode::Usage;
        const ExportFilters f = buildExportFilters(device);
        ctx.out << f.client << '\n' << f.priceList << '\n';
        return exitcode::Done;
    }

private:
    std::string m_device;
};

class Send : public Command {
public:
    QStringList words() const override { return {QStringLiteral("send")}; }
    QString summary() const override {
        return QStringLiteral("export device N's data into the local sync store, then wait for its sync "
                              "(Ctrl-C cancels before the sync)");
    }
    void define(CLI::App& command) override {
        defineDevice(command, m_device);
        command.add_flag("--no-wait", m_noWait, "stop after the export");
        m_timeout.define(command, "cancel the wait when no sync began in SECONDS");
    }
    int execute(Context& ctx) override {
        if (!m_timeout.apply(ctx)) return exitcode::Usage;
        if (!startSession(ctx, true)) return exitcode::Failed;
        const int device = deviceArgument(m_device, ctx, QStringLiteral("send"));
        if (!device) return exitcode::Usage;
        const SendResult r = EnviarDatosPalm(device, !m_noWait);
        if (r.busy) {
            sayBusy(ctx, QStringLiteral("send"));
            return exitcode::Failed;
        }
        if (!r.exported) {
            ctx.err << "kvctl send: export steps failed: " << r.failedSteps.join(QStringLiteral(", ")) << '\n';
            return exitcode::Failed;
        }
        if (!m_noWait && !r.synced) {
            ctx.err << "kvctl send: the sync was cancelled before it began\n";
            return exitcode::Cancelled;
        }
        return exitcode::Done;
    }

private:
    std::string m_device;
    bool m_noWait = false;
    TimeoutOption m_timeout;
};

} // namespace

std::unique_ptr<Command> makeFilters() {
    return std::make_unique<Filters>();
}

std::unique_ptr<Command> makeSend() {
    return std::make_unique<Send>();
}

} // namespace kv::cli

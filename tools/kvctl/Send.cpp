#include "app/Interruption.h"
#include "Command.h"
#include "console/ExportFilters.h"
#include "console/SendCommand.h"
#include "ErpSession.h"
#include "export/ExportTasks.h"

namespace kv::cli {

namespace {

// Each failed step with its reason, then the list: --quiet hides the step lines on stdout, never these.
void sayStepFailures(Context& ctx, const SendResult& r) {
    for (int i = 0; i < r.steps.size() && i < exportSteps().size(); ++i) {
        const StepOutcome& o = r.steps.at(i);
        if (o.executionResult != 1) continue;
        QString why = o.error.isEmpty() ? QStringLiteral("no reason was given") : o.error;
        ctx.err << "kvctl send: " << exportSteps().at(i).description << ": "
                << why.replace(QLatin1Char('\n'), QStringLiteral("\n  ")) << '\n';
    }
    ctx.err << "kvctl send: export steps failed: " << r.failedSteps.join(QStringLiteral(", ")) << '\n';
}

class Filters : public Command {
public:
    QStringList words() const override { return {QStringLiteral("filters")}; }
    QString summary() const override {
        return QStringLiteral("print device N's client filter, then its price-list filter, as built");
    }
    void define(CLI::App& command) override { defineDevice(command, m_device); }
    int execute(Context& ctx) override {
        if (!startSession(ctx, false)) return exitcode::Failed;
        const int device = deviceArgument(m_device, ctx);
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
                              "(Ctrl-C cancels)");
    }
    void define(CLI::App& command) override {
        defineDevice(command, m_device);
        command.add_flag("--no-wait", m_noWait,
                         "stop after the export, leaving the conduit registered for device N: its next sync "
                         "takes the export and is recorded in the history");
        m_timeout.define(command);
    }
    int execute(Context& ctx) override {
        const interruption::CatchSignals signals;
        if (!m_timeout.apply(ctx)) return exitcode::Usage;
        if (!startSession(ctx, true)) return exitcode::Failed;
        const int device = deviceArgument(m_device, ctx);
        if (!device) return exitcode::Usage;
        const SendResult r = EnviarDatosPalm(device, !m_noWait);
        if (r.busy) {
            sayBusy(ctx, QStringLiteral("send"));
            return exitcode::Failed;
        }
        if (!r.exported) {
            sayStepFailures(ctx, r);
            return exitcode::Failed;
        }
        if (m_noWait) {
            if (!ctx.quiet)
                ctx.out << "The conduit stays registered for device " << device
                        << ": its next sync (kvhandheld hotsync or kvcradle) takes this export.\n";
            return exitcode::Done;
        }
        if (!r.synced) {
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

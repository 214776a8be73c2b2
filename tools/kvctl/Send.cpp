#include "Command.h"
#include "console/ExportFilters.h"
#include "console/SendCommand.h"
#include "ErpSession.h"

namespace kv::cli {

namespace {

class Filters : public Command {
public:
    QStringList words() const override { return {QStringLiteral("filters")}; }
    QString arguments() const override { return QStringLiteral("N"); }
    QString summary() const override {
        return QStringLiteral("print device N's client filter, then its price-list filter, as built");
    }
    int execute(const QStringList& args, Context& ctx) override {
        if (args.size() != 1) {
            ctx.err << "kvctl filters: give one device number\n";
            return 2;
        }
        if (!startSession(ctx, false)) return 1;
        const int device = deviceArgument(args, ctx, QStringLiteral("filters"));
        if (!device) return 2;
        const ExportFilters f = buildExportFilters(device);
        ctx.out << f.client << '\n' << f.priceList << '\n';
        return 0;
    }
};

class Send : public Command {
public:
    QStringList words() const override { return {QStringLiteral("send")}; }
    QString arguments() const override { return QStringLiteral("N [--no-wait] [--timeout SECONDS]"); }
    QString summary() const override {
        return QStringLiteral("export device N's data into the local sync store, then wait for its sync "
                              "(--no-wait: stop after the export; --timeout: cancel the wait when no sync "
                              "began in SECONDS)");
    }
    int execute(const QStringList& args, Context& ctx) override {
        QStringList rest = args;
        const bool noWait = rest.removeAll(QStringLiteral("--no-wait")) > 0;
        if (!takeTimeout(rest, ctx, QStringLiteral("send"))) return 2;
        if (rest.size() != 1) {
            ctx.err << "kvctl send: give one device number (and optionally --no-wait or --timeout SECONDS)\n";
            return 2;
        }
        if (!startSession(ctx, true)) return 1;
        const int device = deviceArgument(rest, ctx, QStringLiteral("send"));
        if (!device) return 2;
        const SendResult r = EnviarDatosPalm(device, !noWait);
        if (r.busy) {
            sayBusy(ctx, QStringLiteral("send"));
            return 1;
        }
        if (!r.exported) {
            ctx.err << "kvctl send: export steps failed: " << r.failedSteps.join(QStringLiteral(", ")) << '\n';
            return 1;
        }
        if (!noWait && !r.synced) {
            ctx.err << "kvctl send: the sync was cancelled before it began\n";
            return 3;
        }
        return 0;
    }
};

} // namespace

std::unique_ptr<Command> makeFilters() {
    return std::make_unique<Filters>();
}

std::unique_ptr<Command> makeSend() {
    return std::make_unique<Send>();
}

} // namespace kv::cli
